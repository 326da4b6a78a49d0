#include "host/suites/keyframe_suite.h"

#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

// Every flag the host knows; a call that names anything else is refused.
constexpr AEGP_DynStreamFlags kKnownDynamicFlags =
    AEGP_DynStreamFlag_ACTIVE_EYEBALL | AEGP_DynStreamFlag_HIDDEN | AEGP_DynStreamFlag_DISABLED |
    AEGP_DynStreamFlag_ELIDED | AEGP_DynStreamFlag_SHOWN_WHEN_EMPTY | AEGP_DynStreamFlag_SKIP_REVEAL_WHEN_UNHIDDEN;

EffectStream* streamOf(HostState& state, AEGP_StreamRefH streamH) {
    EffectStreamRef* ref = findEffectStream(state, streamH);
    return ref != nullptr ? &ref->instance->streams[ref->position] : nullptr;
}

A_Err getStreamNumKFs(AEGP_StreamRefH streamH, A_long* countPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        if (stream == nullptr || countPL == nullptr) return A_Err_PARAMETER;
        *countPL = static_cast<A_long>(stream->keyframes.size());
        return A_Err_NONE;
    });
}

// A new keyframe takes the value the stream has at that time and the host's default interpolation for the
// stream (linear in time; an auto-Bézier path for a spatial point), as the host's own insertion does. The
// value at that time stays; the curve on either side may bend to pass smoothly through the new key.
A_Err insertKeyframe(AEGP_StreamRefH streamH, AEGP_LTimeMode /*timeMode*/, const A_Time* timePT,
                     AEGP_KeyframeIndex* indexP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        double seconds = 0.0;
        if (stream == nullptr || indexP == nullptr || !secondsOf(timePT, seconds)) return A_Err_PARAMETER;
        if (!stream->canVary) return A_Err_PARAMETER;
        AEGP_StreamVal current = streamValueAt(*stream, seconds);
        if (stream->keyframes.empty()) {
            stream->keyframes.push_back(Keyframe<AEGP_StreamVal>{seconds, current});
            *indexP = 0;
            return A_Err_NONE;
        }
        *indexP = setStreamValueAt(*stream, seconds, current);
        return A_Err_NONE;
    });
}

// A new value keeps the key's interpolation and eases.
A_Err setKeyframeValue(AEGP_StreamRefH streamH, AEGP_KeyframeIndex index, const AEGP_StreamValue2* valueP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        if (stream == nullptr || valueP == nullptr || index < 0) return A_Err_PARAMETER;
        if (static_cast<size_t>(index) >= stream->keyframes.size()) return A_Err_PARAMETER;
        stream->keyframes[static_cast<size_t>(index)].value = valueP->val;
        return A_Err_NONE;
    });
}

A_Err getDynamicStreamFlags(AEGP_StreamRefH streamH, AEGP_DynStreamFlags* flagsP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        if (stream == nullptr || flagsP == nullptr) return A_Err_PARAMETER;
        *flagsP = stream->dynamicFlags;
        return A_Err_NONE;
    });
}

// One flag per call, as the host requires.
A_Err setDynamicStreamFlag(AEGP_StreamRefH streamH, AEGP_DynStreamFlags oneFlag, A_Boolean /*undoable*/,
                           A_Boolean set) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        bool single = oneFlag != 0 && (oneFlag & (oneFlag - 1)) == 0;
        if (stream == nullptr || !single || (oneFlag & ~kKnownDynamicFlags) != 0) return A_Err_PARAMETER;
        stream->dynamicFlags = set != 0 ? (stream->dynamicFlags | oneFlag) : (stream->dynamicFlags & ~oneFlag);
        return A_Err_NONE;
    });
}

}  // namespace

const AEGP_KeyframeSuite4& keyframeSuite4() {
    static const AEGP_KeyframeSuite4 suite{getStreamNumKFs, insertKeyframe, setKeyframeValue};
    return suite;
}

const AEGP_DynamicStreamSuite4& dynamicStreamSuite4() {
    static const AEGP_DynamicStreamSuite4 suite{getDynamicStreamFlags, setDynamicStreamFlag};
    return suite;
}

}  // namespace zephrin::host
