// Effect instances as the host keeps them: one per effect applied to a layer, with one parameter stream
// per registered parameter at its position (position 0 is the layer the effect is applied to). Streams
// hold a value or keyframes, an expression and the dynamic flags the timeline shows; the suites
// answer from them and the effect's commands see them as PF_ParamDef values at the command's time.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/composition.h"
#include "sdk/AE_Effect.h"
#include "sdk/AE_GeneralPlug.h"
#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin::host {

struct EffectStream {
    PF_ParamType paramType = PF_Param_RESERVED;
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    AEGP_StreamVal value{};
    std::vector<Keyframe<AEGP_StreamVal>> keyframes;  // ascending time
    AEGP_DynStreamFlags dynamicFlags = 0;
    bool canVary = true;  // false for parameters flagged PF_ParamFlag_CANNOT_TIME_VARY and no-data streams
    std::u16string expression;
    bool expressionOn = false;
};

// What PF_UpdateParamUI last told the host about one parameter's control.
struct ParamUiState {
    bool updated = false;
    PF_ParamUIFlags uiFlags = 0;
    std::string label;
    std::string choices;  // popups: the "|"-separated choices; buttons: the button text
    A_short uiWidth = 0, uiHeight = 0;
};

struct EffectInstance {
    const Composition* comp = nullptr;  // identity: the composition and layer the effect is applied to
    size_t layerPosition = 0;
    size_t effectIndex = 0;  // among the layer's effects, 0 first
    AEGP_InstalledEffectKey installedKey = 0;
    std::string matchName;
    bool active = true;
    uintptr_t effectRef = 0;  // the PF_ProgPtr the effect's commands carry
    std::vector<EffectStream> streams;  // by parameter position
    std::vector<ParamUiState> ui;       // by parameter position

    // What the effect's commands did, for tests and the command line.
    std::vector<PF_ParamIndex> checkouts;  // every checkout_param, in order
    int32_t checkedOut = 0;                // checked out and not yet checked in
    int32_t copies = 0;                    // PF_COPY calls
    int32_t refreshRequests = 0;           // commands that answered PF_OutFlag_REFRESH_UI
    int32_t rerenderRequests = 0;          // commands that answered PF_OutFlag_FORCE_RERENDER
};

// How the host types a parameter's stream: one-dimensional for sliders, popups, checkboxes and angles;
// spatial three-dimensional for 3D points, spatial two-dimensional for 2D points; colour; layer id;
// no value for groups, buttons and custom controls.
AEGP_StreamType streamTypeForParam(PF_ParamType type);

// A new stream for a registered definition, holding its default: `dephault`, or its `value` when
// `useValue` (a project saved before the parameter existed, for PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS).
EffectStream streamForParam(const PF_ParamDef& def, bool useValue);

// The stream's value at `seconds`: held before the first key and after the last; between keys as the
// host evaluates keyframes (keyframe_curve.h, spatial points along their path like a layer's position)
// for numbers, points and colours, held for layer ids and for popups and checkboxes (whole choices).
AEGP_StreamVal streamValueAt(const EffectStream& stream, double seconds);

// Sets the value of a stream without keyframes, or inserts/replaces the keyframe at `seconds` when it has
// some: a new keyframe has the host's default interpolation, a replaced one keeps its own. Returns the
// keyframe's index, or -1 when the plain value was set.
int32_t setStreamValueAt(EffectStream& stream, double seconds, const AEGP_StreamVal& value);

// The parameter value a command sees: `registered` with its value member taken from the stream at
// `seconds`. Layer parameters carry the referenced layer's id in `value`-less form (the host checks out
// pixels separately), so they are returned as registered.
PF_ParamDef paramAt(const PF_ParamDef& registered, const EffectStream& stream, double seconds);

// The stream value a parameter definition holds (its `value` members), for writing changed parameters back.
AEGP_StreamVal streamValueOfParam(const PF_ParamDef& def);

// The stream value of a definition's registered default (its `dephault` members).
AEGP_StreamVal streamDefaultOfParam(const PF_ParamDef& def);

// A colour parameter's 8-bit pixel as a stream colour (0..1) and back.
AEGP_ColorVal colorOfPixel(const PF_Pixel& pixel);
PF_Pixel pixelOfColor(const AEGP_ColorVal& color);

}  // namespace zephrin::host
