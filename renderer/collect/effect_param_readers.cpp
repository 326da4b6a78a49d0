#include "renderer/collect/effect_param_readers.h"

#include <algorithm>
#include <cmath>

namespace zephrin {

namespace {

// Holds one stream handle and one value handle and gives both back, whatever happens.
struct StreamRead {
    const EffectStreamReader& reader;
    AEGP_StreamRefH stream = nullptr;
    AEGP_StreamValue2 value{};
    bool valueHeld = false;

    ~StreamRead() {
        if (valueHeld) reader.streams.AEGP_DisposeStreamValue(&value);
        if (stream != nullptr) reader.streams.AEGP_DisposeStream(stream);
    }
};

// Reads the stream at `position` when its type passes `accepts`; the value and type come back.
template <typename Accepts>
bool readStream(const EffectStreamReader& reader, int32_t position, Accepts accepts, AEGP_StreamVal& out,
                AEGP_StreamType& type) {
    if (reader.effect == nullptr || position < 0 || position >= reader.parameterCount) return false;
    StreamRead read{reader};
    if (reader.streams.AEGP_GetNewEffectStreamByIndex(reader.pluginId, reader.effect, position, &read.stream) !=
            A_Err_NONE ||
        read.stream == nullptr) {
        read.stream = nullptr;
        return false;
    }
    type = AEGP_StreamType_NO_DATA;
    if (reader.streams.AEGP_GetStreamType(read.stream, &type) != A_Err_NONE || !accepts(type)) return false;
    if (reader.streams.AEGP_GetNewStreamValue(reader.pluginId, read.stream, AEGP_LTimeMode_CompTime, &reader.time,
                                              kEffectReadPreExpression, &read.value) != A_Err_NONE) {
        return false;
    }
    read.valueHeld = true;
    out = read.value.val;
    return true;
}

uint8_t colorByte(double component) {
    if (!std::isfinite(component)) return 0;
    return static_cast<uint8_t>(std::clamp(component * 255.0, 0.0, 255.0) + 0.5);
}

// Rounds half up and clamps without ever converting a value an int32 cannot hold.
int32_t roundClamped(double value, int32_t low, int32_t high) {
    const double shifted = std::clamp(value + 0.5, static_cast<double>(low), static_cast<double>(high) + 0.5);
    return std::clamp(static_cast<int32_t>(std::trunc(shifted)), low, high);
}

}  // namespace

EffectStreamReader openEffectStreams(HostSuites& suites, AEGP_PluginID pluginId, AEGP_EffectRefH effect,
                                     const A_Time& time) {
    EffectStreamReader reader{suites.acquire<AEGP_StreamSuite11>(kAEGPStreamSuite, kAEGPStreamSuiteVersion11), pluginId,
                              effect, time, 0};
    A_long count = 0;
    if (effect != nullptr && reader.streams.AEGP_GetEffectNumParamStreams(effect, &count) == A_Err_NONE) {
        reader.parameterCount = std::max<A_long>(count, 0);
    }
    return reader;
}

double readNumber(const EffectStreamReader& reader, int32_t position, double fallback) {
    AEGP_StreamVal value{};
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    if (!readStream(
            reader, position, [](AEGP_StreamType t) { return t == AEGP_StreamType_OneD; }, value, type)) {
        return fallback;
    }
    return value.one_d;
}

double repairFixedPoint(double value, double fallback) {
    if (!std::isfinite(value)) return fallback;
    if (std::fabs(value) > kFixedPointMinimum) {
        const double quotient = value / kFixedPointScale;
        const double whole = std::round(quotient);
        if (std::fabs(quotient - whole) <= kFixedPointWholeTolerance) return whole;
    }
    return value;
}

double readNumberFixedRepaired(const EffectStreamReader& reader, int32_t position, double fallback) {
    return repairFixedPoint(readNumber(reader, position, fallback), fallback);
}

bool readPoint(const EffectStreamReader& reader, int32_t position, Vec3& point) {
    AEGP_StreamVal value{};
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    const auto spatial = [](AEGP_StreamType t) {
        return t == AEGP_StreamType_TwoD || t == AEGP_StreamType_TwoD_SPATIAL || t == AEGP_StreamType_ThreeD ||
               t == AEGP_StreamType_ThreeD_SPATIAL;
    };
    if (!readStream(reader, position, spatial, value, type)) return false;
    if (type == AEGP_StreamType_TwoD || type == AEGP_StreamType_TwoD_SPATIAL) {
        point.x = value.two_d.x;
        point.y = value.two_d.y;
    } else {
        point = Vec3{value.three_d.x, value.three_d.y, value.three_d.z};
    }
    return true;
}

int32_t readLayerId(const EffectStreamReader& reader, int32_t position, int32_t fallback) {
    AEGP_StreamVal value{};
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    if (!readStream(
            reader, position, [](AEGP_StreamType t) { return t == AEGP_StreamType_LAYER_ID; }, value, type)) {
        return fallback;
    }
    return value.layer_id;
}

int32_t readLayerIndexParam(const EffectStreamReader& reader, int32_t position) {
    AEGP_StreamVal value{};
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    const auto accepts = [](AEGP_StreamType t) { return t == AEGP_StreamType_LAYER_ID || t == AEGP_StreamType_OneD; };
    if (!readStream(reader, position, accepts, value, type)) return 0;
    if (type == AEGP_StreamType_LAYER_ID) return value.layer_id;
    if (!std::isfinite(value.one_d)) return 0;
    const double rounded = std::floor(value.one_d + 0.5);
    return static_cast<int32_t>(std::clamp(rounded, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

PackedColor readColor(const EffectStreamReader& reader, int32_t position, PackedColor fallback) {
    AEGP_StreamVal value{};
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    if (!readStream(
            reader, position, [](AEGP_StreamType t) { return t == AEGP_StreamType_COLOR; }, value, type)) {
        return fallback;
    }
    return packColor(255, colorByte(value.color.redF), colorByte(value.color.greenF), colorByte(value.color.blueF));
}

bool readBool(const EffectStreamReader& reader, int32_t position, bool fallback) {
    return readNumber(reader, position, fallback ? 1.0 : 0.0) >= 0.5;
}

int32_t readInt(const EffectStreamReader& reader, int32_t position, int32_t current, int32_t low, int32_t high) {
    const double value = readNumber(reader, position, static_cast<double>(current));
    if (!std::isfinite(value)) return current;
    return roundClamped(value, low, high);
}

double readClamped(const EffectStreamReader& reader, int32_t position, double current, double low, double high) {
    const double value = readNumber(reader, position, current);
    if (!std::isfinite(value)) return current;
    return std::clamp(value, low, high);
}

}  // namespace zephrin
