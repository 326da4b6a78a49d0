#include "host/suites/effect_stream_suite.h"

#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

EffectStream* streamOf(HostState& state, AEGP_StreamRefH streamH) {
    EffectStreamRef* ref = findEffectStream(state, streamH);
    if (ref == nullptr) return nullptr;
    return &ref->instance->streams[ref->position];
}

// Writes come from an effect under the id the host granted it; anything else is not a plug-in's write.
bool isWriter(const HostState& state, AEGP_PluginID pluginId) {
    return pluginId != 0 && (pluginId == state.effectPluginId || isKnownPlugin(state, pluginId));
}

}  // namespace

A_Err getNewEffectStreamByIndex(AEGP_PluginID /*pluginId*/, AEGP_EffectRefH effectH, A_long paramIndex,
                                AEGP_StreamRefH* streamPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (streamPH != nullptr) *streamPH = nullptr;
        EffectRefRecord* effect = findEffectRef(state, effectH);
        if (effect == nullptr || streamPH == nullptr || paramIndex < 0) return A_Err_PARAMETER;
        EffectInstance& instance = *effect->instance;
        if (static_cast<size_t>(paramIndex) >= instance.streams.size()) return A_Err_PARAMETER;
        *streamPH = toHandle<AEGP_StreamRefH>(lendEffectStream(state, instance, static_cast<size_t>(paramIndex)));
        return A_Err_NONE;
    });
}

A_Err disposeStream(AEGP_StreamRefH streamH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (findEffectStream(state, streamH) == nullptr) return A_Err_PARAMETER;
        state.effectStreams.erase(handleValue(streamH));
        ++state.accounting.streamsReturned;
        return A_Err_NONE;
    });
}

A_Err getStreamType(AEGP_StreamRefH streamH, AEGP_StreamType* typeP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        if (stream == nullptr || typeP == nullptr) return A_Err_PARAMETER;
        *typeP = stream->type;
        return A_Err_NONE;
    });
}

A_Err canVaryOverTime(AEGP_StreamRefH streamH, A_Boolean* canVaryPB) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        if (stream == nullptr || canVaryPB == nullptr) return A_Err_PARAMETER;
        *canVaryPB = stream->canVary ? 1 : 0;
        return A_Err_NONE;
    });
}

// Layers start at composition time 0 in this host, so layer time and composition time coincide.
A_Err getNewStreamValue(AEGP_PluginID /*pluginId*/, AEGP_StreamRefH streamH, AEGP_LTimeMode /*timeMode*/,
                        const A_Time* timePT, A_Boolean /*preExpression*/, AEGP_StreamValue2* valueP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        double seconds = 0.0;
        if (stream == nullptr || valueP == nullptr || !secondsOf(timePT, seconds)) return A_Err_PARAMETER;
        if (stream->type == AEGP_StreamType_NO_DATA) return A_Err_PARAMETER;
        valueP->streamH = streamH;
        valueP->val = streamValueAt(*stream, seconds);
        state.lentStreamValues.insert(handleValue(streamH));
        ++state.accounting.streamValuesLent;
        return A_Err_NONE;
    });
}

// A value may come back after its stream: it is matched by the stream handle it names, not by a live stream.
A_Err disposeStreamValue(AEGP_StreamValue2* valueP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (valueP == nullptr) return A_Err_PARAMETER;
        auto it = state.lentStreamValues.find(handleValue(valueP->streamH));
        if (it == state.lentStreamValues.end()) {
            ++state.accounting.badHandles;
            return A_Err_PARAMETER;
        }
        state.lentStreamValues.erase(it);
        ++state.accounting.streamValuesReturned;
        return A_Err_NONE;
    });
}

// A keyframed stream takes new values only as keyframes, and a stream hidden from the timeline takes
// none until it is shown again, as in the host.
A_Err setStreamValue(AEGP_PluginID pluginId, AEGP_StreamRefH streamH, AEGP_StreamValue2* valueP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        if (stream == nullptr || valueP == nullptr || !isWriter(state, pluginId)) return A_Err_PARAMETER;
        if (stream->type == AEGP_StreamType_NO_DATA || !stream->keyframes.empty()) return A_Err_PARAMETER;
        if ((stream->dynamicFlags & AEGP_DynStreamFlag_HIDDEN) != 0) return A_Err_PARAMETER;
        stream->value = valueP->val;
        return A_Err_NONE;
    });
}

A_Err setExpressionState(AEGP_PluginID pluginId, AEGP_StreamRefH streamH, A_Boolean enabled) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        if (stream == nullptr || !isWriter(state, pluginId) || !stream->canVary) return A_Err_PARAMETER;
        stream->expressionOn = enabled != 0;
        return A_Err_NONE;
    });
}

A_Err setExpression(AEGP_PluginID pluginId, AEGP_StreamRefH streamH, const A_UTF16Char* expression) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectStream* stream = streamOf(state, streamH);
        if (stream == nullptr || expression == nullptr || !isWriter(state, pluginId) || !stream->canVary) {
            return A_Err_PARAMETER;
        }
        std::u16string text;
        for (size_t i = 0; i < kMaxExpressionUnits && expression[i] != 0; ++i) {
            text.push_back(static_cast<char16_t>(expression[i]));
        }
        stream->expression = std::move(text);
        return A_Err_NONE;
    });
}

A_Err getEffectNumParamStreams(AEGP_EffectRefH effectH, A_long* countPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectRefRecord* effect = findEffectRef(state, effectH);
        if (effect == nullptr || countPL == nullptr) return A_Err_PARAMETER;
        *countPL = static_cast<A_long>(effect->instance->streams.size());
        return A_Err_NONE;
    });
}

}  // namespace zephrin::host
