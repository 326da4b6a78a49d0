// What the plug-ins borrowed from the host and gave back. The host counts, the tests compare: a frame
// that returns less than it borrowed leaks, one that returns more (or returns a stranger) is a bad handle.
#pragma once

#include <cstdint>
#include <string>

namespace zephrin::host {

struct HandleAccounting {
    int64_t worldsLent = 0;      // textures from AEGP_RenderLayerPlus and worlds from World AEGP_New
    int64_t worldsReturned = 0;  // AEGP_DisposeTexture and World AEGP_Dispose that were accepted
    int64_t suitesAcquired = 0;
    int64_t suitesReleased = 0;
    int64_t badHandles = 0;        // non-null handles the host does not know: never lent, already returned
    int64_t memHandlesLent = 0;    // Memory suite handles, including those the host fills for a caller
    int64_t memHandlesFreed = 0;
    int64_t effectsLent = 0;  // AEGP_EffectRefH from the Effect and PF Interface suites, AEGP_DisposeEffect
    int64_t effectsReturned = 0;
    int64_t streamsLent = 0;  // effect parameter streams, AEGP_DisposeStream
    int64_t streamsReturned = 0;
    int64_t streamValuesLent = 0;  // AEGP_GetNewStreamValue, AEGP_DisposeStreamValue
    int64_t streamValuesReturned = 0;
};

// The counts that happened between two snapshots of running totals.
HandleAccounting accountingSince(const HandleAccounting& before, const HandleAccounting& after);

// Everything lent was returned, every suite released, and no bad handle was seen.
bool isBalanced(const HandleAccounting& counts);

// "worlds 3/3 suites 12/12 mem 1/1 effects 2/2 streams 9/9 values 9/9 bad 0": for failure messages and the command line.
std::string describeAccounting(const HandleAccounting& counts);

}  // namespace zephrin::host
