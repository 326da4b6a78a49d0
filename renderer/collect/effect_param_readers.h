// Readers of one effect's parameter streams by position, at the frame's composition time. A position
// the effect does not have, a host error or a stream of another type gives the caller's default:
// reading a parameter never fails a frame.
#pragma once

#include <cstdint>

#include "common/host_suites.h"
#include "common/vec3.h"
#include "renderer/scene/bend_controls.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

// Effect parameters are read after expressions are applied.
constexpr A_Boolean kEffectReadPreExpression = 0;
// A 16.16 fixed-point angle seen as a plain number is larger than this and a multiple of 65536.
constexpr double kFixedPointMinimum = 10000.0;
constexpr double kFixedPointScale = 65536.0;
constexpr double kFixedPointWholeTolerance = 1e-4;

// One effect instance being read: the suites and the instance, for one frame time.
struct EffectStreamReader {
    const AEGP_StreamSuite11& streams;
    AEGP_PluginID pluginId = 0;
    AEGP_EffectRefH effect = nullptr;
    A_Time time{0, 1};
    A_long parameterCount = 0;  // including the input layer at position 0
};

// Acquires the Stream suite and asks the effect how many parameter streams it has (0 when it will not say).
EffectStreamReader openEffectStreams(HostSuites& suites, AEGP_PluginID pluginId, AEGP_EffectRefH effect,
                                     const A_Time& time);

double readNumber(const EffectStreamReader& reader, int32_t position, double fallback);
double readNumberFixedRepaired(const EffectStreamReader& reader, int32_t position, double fallback);
// Two-dimensional streams set x and y and leave z; three-dimensional ones set all three.
bool readPoint(const EffectStreamReader& reader, int32_t position, Vec3& point);
int32_t readLayerId(const EffectStreamReader& reader, int32_t position, int32_t fallback);
// A layer-id stream gives the id, a number stream its value rounded half up; otherwise 0.
int32_t readLayerIndexParam(const EffectStreamReader& reader, int32_t position);
PackedColor readColor(const EffectStreamReader& reader, int32_t position, PackedColor fallback);
bool readBool(const EffectStreamReader& reader, int32_t position, bool fallback);
// Rounded half up and clamped; an unreadable or non-finite value keeps `current`.
int32_t readInt(const EffectStreamReader& reader, int32_t position, int32_t current, int32_t low, int32_t high);
// Clamped; an unreadable or non-finite value keeps `current`.
double readClamped(const EffectStreamReader& reader, int32_t position, double current, double low, double high);

// The 16.16 repair on its own: a non-finite value gives the fallback.
double repairFixedPoint(double value, double fallback);

}  // namespace zephrin
