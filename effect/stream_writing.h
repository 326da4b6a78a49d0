// The one way the effect writes a parameter back to the host: through its AEGP stream, as a keyframe
// when the stream is animated and as its value otherwise, so that every edit is a real, undoable change
// of the project, hidden parameters included. Callers change the command's parameter array as well;
// a write that fails is logged and leaves that in-memory change as the fallback.
#pragma once

#include "effect/effect_call.h"
#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin {

struct StreamSuites {
    const AEGP_PFInterfaceSuite1& pfInterface;
    const AEGP_StreamSuite11& stream;
    const AEGP_KeyframeSuite4& keyframe;
    const AEGP_DynamicStreamSuite4& dynamicStream;
    const AEGP_EffectSuite4& effect;
};

StreamSuites streamSuites(HostSuites& suites);

// The command's effect and its stream at one position, given back to the host with the scope.
struct EffectStream {
    EffectStream(const StreamSuites& suites, AEGP_PluginID pluginId, PF_ProgPtr effectRef, int position);
    ~EffectStream();
    EffectStream(const EffectStream&) = delete;
    EffectStream& operator=(const EffectStream&) = delete;

    bool ok() const { return effect != nullptr && stream != nullptr; }

    const StreamSuites& suites;
    AEGP_EffectRefH effect = nullptr;
    AEGP_StreamRefH stream = nullptr;
    A_Err effectErr = A_Err_NONE;
    A_Err streamErr = A_Err_NONE;
};

// The keyframe-or-value decision. True when the value reached the stream.
bool writeStream(const StreamSuites& suites, AEGP_PluginID pluginId, AEGP_StreamRefH stream,
                 const AEGP_StreamValue2& value, const A_Time& time, const char* reason);

// One-dimensional parameters: "Point Count", "Close Endpoints", "Loop Move Speed", "Generated State",
// "Shape", the mirrored common controls (angles in degrees, popups by choice, checkboxes 0 or 1).
bool writeOneD(EffectCall& call, int position, double value, const char* reason);

// "Point n", "Point n Rotation" and "Curve Handle".
bool writePoint(EffectCall& call, int position, const A_FloatPoint3& point, const char* reason);

// Writes the point the parameter array holds at the position, marking it changed when asked.
bool writePointParam(EffectCall& call, int position, const char* reason, bool markChangedValue);

// A layer parameter's stream set to the layer (0 for none), read back and logged. False when the
// position holds no layer stream or the value did not reach it.
bool writeLayerStream(EffectCall& call, int position, AEGP_LayerIDVal layerId, const char* reason);
// The layer a layer parameter's stream holds at the command's time; 0 for none or when unreadable.
AEGP_LayerIDVal readLayerStream(EffectCall& call, int position);

// Puts the point into the parameter array (marked changed) and writes it.
bool storePointParam(EffectCall& call, int position, const A_FloatPoint3& value, const char* reason);

// Puts a number into a popup, checkbox or float slider of the parameter array (marked changed) and
// writes it.
bool storeOneD(EffectCall& call, int position, double value, const char* reason);

// Empties and switches off the expressions of the first count point and rotation streams, so that
// values written next take effect. Returns the first host error.
PF_Err clearPointExpressions(EffectCall& call, int count);

}  // namespace zephrin
