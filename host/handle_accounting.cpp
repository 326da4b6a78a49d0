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
    d.effectsLent = after.effectsLent - before.effectsLent;
    d.effectsReturned = after.effectsReturned - before.effectsReturned;
    d.streamsLent = after.streamsLent - before.streamsLent;
    d.streamsReturned = after.streamsReturned - before.streamsReturned;
    d.streamValuesLent = after.streamValuesLent - before.streamValuesLent;
    d.streamValuesReturned = after.streamValuesReturned - before.streamValuesReturned;
    return d;
}

bool isBalanced(const HandleAccounting& counts) {
    return counts.worldsLent == counts.worldsReturned && counts.suitesAcquired == counts.suitesReleased &&
           counts.memHandlesLent == counts.memHandlesFreed && counts.effectsLent == counts.effectsReturned &&
           counts.streamsLent == counts.streamsReturned && counts.streamValuesLent == counts.streamValuesReturned &&
           counts.badHandles == 0;
}

std::string describeAccounting(const HandleAccounting& counts) {
    return "worlds " + std::to_string(counts.worldsReturned) + "/" + std::to_string(counts.worldsLent) +
           " suites " + std::to_string(counts.suitesReleased) + "/" + std::to_string(counts.suitesAcquired) +
           " mem " + std::to_string(counts.memHandlesFreed) + "/" + std::to_string(counts.memHandlesLent) +
           " effects " + std::to_string(counts.effectsReturned) + "/" + std::to_string(counts.effectsLent) +
           " streams " + std::to_string(counts.streamsReturned) + "/" + std::to_string(counts.streamsLent) +
           " values " + std::to_string(counts.streamValuesReturned) + "/" + std::to_string(counts.streamValuesLent) +
           " bad " + std::to_string(counts.badHandles);
}

}  // namespace zephrin::host
