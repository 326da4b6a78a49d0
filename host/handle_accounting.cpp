#include "host/handle_accounting.h"

namespace zephrin::host {

HandleAccounting accountingSince(const HandleAccounting& before, const HandleAccounting& after) {
    HandleAccounting d;
    d.worldsLent = after.worldsLent - before.worldsLent;
    d.worldsReturned = after.worldsReturned - before.worldsReturned;
    d.suitesAcquired = after.suitesAcquired - before.suitesAcquired;
    d.suitesReleased = after.suitesReleased - before.suitesReleased;
    d.badHandles = after.badHandles - before.badHandles;
    d.memHandlesLent = after.memHandlesLent - before.memHandlesLent;
    d.memHandlesFreed = after.memHandlesFreed - before.memHandlesFreed;
    return d;
}

bool isBalanced(const HandleAccounting& counts) {
    return counts.worldsLent == counts.worldsReturned && counts.suitesAcquired == counts.suitesReleased &&
           counts.memHandlesLent == counts.memHandlesFreed && counts.badHandles == 0;
}

std::string describeAccounting(const HandleAccounting& counts) {
    return "worlds " + std::to_string(counts.worldsReturned) + "/" + std::to_string(counts.worldsLent) +
           " suites " + std::to_string(counts.suitesReleased) + "/" + std::to_string(counts.suitesAcquired) +
           " mem " + std::to_string(counts.memHandlesFreed) + "/" + std::to_string(counts.memHandlesLent) +
           " bad " + std::to_string(counts.badHandles);
}

}  // namespace zephrin::host
