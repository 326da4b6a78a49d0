#include "host/scene_file_json.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

namespace zephrin::host::scenejson {

std::string formatNumber(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

namespace {

// A misspelt key is at most this many letters away from the key that was meant.
constexpr std::size_t kMaxSuggestionDistance = 2;

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            std::size_t substitute = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitute});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Where the parser is: one entry per open object (its latest key) or array (its current element).
struct ParseFrame {
    bool isArray = false;
    std::size_t index = 0;
    std::string key;
    std::set<std::string> keys;
};

std::string framePath(const std::vector<ParseFrame>& frames) {
    std::string path;
    for (const ParseFrame& f : frames) path = f.isArray ? elementPath(path, f.index) : memberPath(path, f.key);
    return path;
}

// Refused while parsing, before the document exists: writing, comparing or copying a value walks it
// recursively, and a few ten thousand levels overflow the stack.
void refuseDeepNesting(const std::string& fileName, const std::vector<ParseFrame>& frames) {
    if (frames.size() < kMaxNestingDepth) return;
    fail(fileName, framePath(frames),
         "nested more than " + std::to_string(kMaxNestingDepth) + " lists or objects deep");
}

// The text after nlohmann's "[json.exception...] parse error at ", which starts with the line and column.
std::string parseErrorDetail(const std::string& what) {
    static constexpr std::string_view kLead = "parse error at ";
    std::size_t at = what.find(kLead);
    return at == std::string::npos ? what : what.substr(at + kLead.size());
}

std::string quotedToken(const std::string& what) {
    std::size_t open = what.find('\'');
    std::size_t close = what.rfind('\'');
    if (open == std::string::npos || close <= open) return {};
    return what.substr(open + 1, close - open - 1);
}

}  // namespace

void fail(const std::string& fileName, const std::string& path, const std::string& message) {
    throw SceneFileError(path.empty() ? fileName + ": " + message : fileName + ": " + path + ": " + message);
}

std::string memberPath(const std::string& parent, std::string_view key) {
    return parent.empty() ? std::string(key) : parent + "." + std::string(key);
}

std::string elementPath(const std::string& parent, std::size_t index) {
    return parent + "[" + std::to_string(index) + "]";
}

Json parseDocument(const std::string& fileName, const std::string& text) {
    std::vector<ParseFrame> frames;
    Json::parser_callback_t track = [&](int, Json::parse_event_t event, Json& parsed) {
        auto advance = [&frames] {
            if (!frames.empty() && frames.back().isArray) ++frames.back().index;
        };
        switch (event) {
            case Json::parse_event_t::object_start:
                refuseDeepNesting(fileName, frames);
                frames.push_back(ParseFrame{});
                break;
            case Json::parse_event_t::array_start:
                refuseDeepNesting(fileName, frames);
                frames.push_back(ParseFrame{true, 0, {}, {}});
                break;
            case Json::parse_event_t::key: {
                ParseFrame& f = frames.back();
                f.key = parsed.get<std::string>();
                // nlohmann keeps the last of two equal keys; a pasted duplicate would silently win.
                if (!f.keys.insert(f.key).second) fail(fileName, framePath(frames), "key given twice");
                break;
            }
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                frames.pop_back();
                advance();
                break;
            case Json::parse_event_t::value:
                advance();
                break;
        }
        return true;
    };
    try {
        return Json::parse(text, track, true, false);
    } catch (const Json::parse_error& e) {
        fail(fileName, {}, "not valid JSON at " + parseErrorDetail(e.what()));
    } catch (const Json::out_of_range& e) {
        // A number beyond a double's range would become infinite.
        fail(fileName, framePath(frames), "number out of range (" + quotedToken(e.what()) + ")");
    }
}

void Reader::fail(const std::string& path, const std::string& message) const {
    scenejson::fail(fileName, path, message);
}

void Reader::expectKeys(const Json& object, const std::string& path,
                        std::initializer_list<std::string_view> allowed) const {
    expectKeys(object, path, std::span<const std::string_view>(allowed.begin(), allowed.size()));
}

void Reader::expectKeys(const Json& object, const std::string& path, std::span<const std::string_view> allowed) const {
    if (!object.is_object()) fail(path, "expected an object");
    for (const auto& [key, value] : object.items()) {
        if (std::find(allowed.begin(), allowed.end(), key) != allowed.end()) continue;
        std::string_view closest;
        std::size_t best = kMaxSuggestionDistance + 1;
        for (std::string_view candidate : allowed) {
            std::size_t d = editDistance(key, candidate);
            if (d < best) {
                best = d;
                closest = candidate;
            }
        }
        fail(memberPath(path, key),
             closest.empty() ? "unknown key" : "unknown key (did you mean \"" + std::string(closest) + "\"?)");
    }
}

const Json& Reader::require(const Json& object, const std::string& path, std::string_view key) const {
    auto it = object.find(key);
    if (it == object.end()) fail(path, "missing \"" + std::string(key) + "\"");
    return *it;
}

double Reader::number(const Json& value, const std::string& path) const {
    if (!value.is_number()) fail(path, "expected a number");
    double v = value.get<double>();
    if (!std::isfinite(v)) fail(path, "expected a finite number");
    return v;
}

double Reader::positiveNumber(const Json& value, const std::string& path) const {
    double v = number(value, path);
    if (!(v > 0.0)) fail(path, "expected a number above 0");
    return v;
}

int32_t Reader::wholeNumber(const Json& value, const std::string& path, int32_t min, int32_t max) const {
    std::string expected = "expected a whole number from " + std::to_string(min) + " to " + std::to_string(max);
    if (!value.is_number()) fail(path, expected);
    double v = value.get<double>();
    if (!(v >= min && v <= max) || v != std::floor(v)) fail(path, expected);
    return static_cast<int32_t>(v);
}

bool Reader::boolean(const Json& value, const std::string& path) const {
    if (!value.is_boolean()) fail(path, "expected true or false");
    return value.get<bool>();
}

std::string Reader::string(const Json& value, const std::string& path) const {
    if (!value.is_string()) fail(path, "expected a string");
    return value.get<std::string>();
}

double Reader::numberOrBoolean(const Json& value, const std::string& path) const {
    if (value.is_boolean()) return value.get<bool>() ? 1.0 : 0.0;
    if (!value.is_number()) fail(path, "expected true, false or a number");
    return number(value, path);
}

namespace {

template <std::size_t N>
std::array<double, N> numbers(const Reader& reader, const Json& value, const std::string& path) {
    std::string expected = "expected " + std::to_string(N) + " numbers";
    if (!value.is_array() || value.size() != N) reader.fail(path, expected);
    std::array<double, N> r{};
    for (std::size_t i = 0; i < N; ++i) {
        if (!value[i].is_number()) reader.fail(path, expected);
        r[i] = reader.number(value[i], elementPath(path, i));
    }
    return r;
}

}  // namespace

Vec3d Reader::vec3(const Json& value, const std::string& path) const { return numbers<3>(*this, value, path); }
Color3 Reader::color3(const Json& value, const std::string& path) const { return numbers<3>(*this, value, path); }
Color4 Reader::color4(const Json& value, const std::string& path) const { return numbers<4>(*this, value, path); }

std::vector<Reader::KeyedValue> Reader::keyedValues(const Json& value, const std::string& path) const {
    if (!value.is_object()) return {KeyedValue{false, 0.0, &value, path}};
    expectKeys(value, path, {"keyframes"});
    const std::string keysPath = memberPath(path, "keyframes");
    const Json& keys = require(value, path, "keyframes");
    if (!keys.is_array() || keys.empty()) fail(keysPath, "expected a list of [time, value] pairs");
    std::vector<KeyedValue> result;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string keyPath = elementPath(keysPath, i);
        const Json& key = keys[i];
        if (!key.is_array() || key.size() != 2) fail(keyPath, "expected [time, value]");
        double time = number(key[0], elementPath(keyPath, 0));
        if (!result.empty() && !(time > result.back().time)) {
            fail(keyPath, "keyframe times must ascend (" + formatNumber(time) + " after " +
                              formatNumber(result.back().time) + ")");
        }
        result.push_back(KeyedValue{true, time, &key[1], elementPath(keyPath, 1)});
    }
    return result;
}

template <typename T, typename ReadValue>
Animated<T> Reader::animated(const Json& value, const std::string& path, ReadValue readValue) const {
    Animated<T> result;
    for (const KeyedValue& keyed : keyedValues(value, path)) {
        T v = readValue(*keyed.value, keyed.path);
        if (!keyed.isKeyframe) {
            result.value = v;
            return result;
        }
        result.keyframes.emplace_back(keyed.time, v);
    }
    // The first key's value stands for the whole property wherever a single value is asked for.
    result.value = result.keyframes.front().second;
    return result;
}

AnimatedNumber Reader::animatedNumber(const Json& value, const std::string& path) const {
    return animated<double>(value, path, [this](const Json& v, const std::string& p) { return number(v, p); });
}

AnimatedNumber Reader::animatedSwitch(const Json& value, const std::string& path) const {
    return animated<double>(value, path, [this](const Json& v, const std::string& p) { return numberOrBoolean(v, p); });
}

AnimatedVec3 Reader::animatedVec3(const Json& value, const std::string& path) const {
    return animated<Vec3d>(value, path, [this](const Json& v, const std::string& p) { return vec3(v, p); });
}

Animated<Color3> Reader::animatedColor3(const Json& value, const std::string& path) const {
    return animated<Color3>(value, path, [this](const Json& v, const std::string& p) { return color3(v, p); });
}

}  // namespace zephrin::host::scenejson
