#include "host/footage_sequence.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <system_error>
#include <utility>

#include "host/footage.h"

namespace zephrin::host {

namespace {

namespace fs = std::filesystem;

// Layer times arrive as frame / rate; a time a hair below a frame start still means that frame.
constexpr double kFrameTimeSlack = 1e-6;

struct PatternParts {
    std::string prefix;
    std::string suffix;
    std::size_t digits = 0;
};

PatternParts splitPattern(const fs::path& pattern) {
    std::string name = pattern.filename().string();
    std::size_t start = name.find('#');
    std::size_t end = name.find_first_not_of('#', start);
    if (end == std::string::npos) end = name.size();
    return {name.substr(0, start), name.substr(end), end - start};
}

// The frame number a file name carries, or -1 when the name does not match the pattern.
int64_t matchedNumber(const PatternParts& parts, const std::string& name) {
    if (name.size() <= parts.prefix.size() + parts.suffix.size()) return -1;
    if (name.compare(0, parts.prefix.size(), parts.prefix) != 0) return -1;
    if (name.compare(name.size() - parts.suffix.size(), parts.suffix.size(), parts.suffix) != 0) return -1;
    std::string digits = name.substr(parts.prefix.size(), name.size() - parts.prefix.size() - parts.suffix.size());
    // Past the padding a number grows without leading zeros; anything else belongs to another pattern.
    if (digits.size() < parts.digits || (digits.size() > parts.digits && digits.front() == '0')) return -1;
    // Beyond 18 digits the number could overflow; no real sequence gets there.
    if (digits.size() > 18) return -1;
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) return -1;
    return std::stoll(digits);
}

struct ImageSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The frame size the footage reader gives a file (its display window), from the header alone.
ImageSize headerSize(const fs::path& file) {
    auto in = OIIO::ImageInput::open(file.string());
    if (!in) {
        std::string message = OIIO::geterror();
        throw FootageError(file.filename().string() + ": " + message.substr(0, message.find('\n')));
    }
    const OIIO::ImageSpec& spec = in->spec();
    bool hasDisplayWindow = spec.full_width > 0 && spec.full_height > 0;
    ImageSize size{hasDisplayWindow ? spec.full_width : spec.width, hasDisplayWindow ? spec.full_height : spec.height};
    in->close();
    return size;
}

std::string sizeText(int32_t width, int32_t height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace

bool isSequencePattern(const fs::path& file) { return file.filename().string().find('#') != std::string::npos; }

std::vector<SequenceFrame> findSequenceFrames(const fs::path& pattern) {
    PatternParts parts = splitPattern(pattern);
    fs::path folder = pattern.parent_path();
    std::vector<SequenceFrame> frames;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
    if (ec) throw FootageError("cannot read folder " + folder.string() + ": " + ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) throw FootageError("cannot read folder " + folder.string() + ": " + ec.message());
        int64_t number = matchedNumber(parts, it->path().filename().string());
        if (number < 0 || !it->is_regular_file(ec)) continue;
        frames.push_back({number, it->path()});
    }
    if (frames.empty()) throw FootageError("no files match the sequence " + pattern.filename().string());
    std::sort(frames.begin(), frames.end(),
              [](const SequenceFrame& a, const SequenceFrame& b) { return a.number < b.number; });
    return frames;
}

Footage loadImageSequenceFootage(std::string key, const fs::path& pattern, double frameRate) {
    auto sequence = std::make_shared<FootageSequence>();
    sequence->pattern = pattern;
    sequence->frames = findSequenceFrames(pattern);
    sequence->frameRate = frameRate;

    const SequenceFrame& first = sequence->frames.front();
    Footage footage;
    try {
        footage = loadImageFootage(key, first.file);
    } catch (const FootageError& e) {
        throw FootageError(first.file.filename().string() + ": " + e.what());
    }
    // A frame of another size would jump the layer's geometry mid-shot; refuse it before rendering.
    for (std::size_t i = 1; i < sequence->frames.size(); ++i) {
        ImageSize size = headerSize(sequence->frames[i].file);
        if (size.width != footage.width || size.height != footage.height) {
            throw FootageError(sequence->frames[i].file.filename().string() + " is " + sizeText(size.width, size.height) +
                               ", but the sequence starts at " + sizeText(footage.width, footage.height));
        }
    }
    sequence->cachedFrame = std::make_shared<const Footage>(footage);
    sequence->cachedNumber = first.number;
    footage.path = pattern;
    footage.sequence = std::move(sequence);
    return footage;
}

const SequenceFrame& sequenceFrameAt(const FootageSequence& sequence, double layerSeconds) {
    double offset = std::floor(layerSeconds * sequence.frameRate + kFrameTimeSlack);
    if (!std::isfinite(offset) || offset <= 0.0) return sequence.frames.front();
    const SequenceFrame& last = sequence.frames.back();
    if (offset >= static_cast<double>(last.number - sequence.frames.front().number)) return last;
    int64_t wanted = sequence.frames.front().number + static_cast<int64_t>(offset);
    auto after = std::upper_bound(sequence.frames.begin(), sequence.frames.end(), wanted,
                                  [](int64_t number, const SequenceFrame& frame) { return number < frame.number; });
    return *(after - 1);
}

std::shared_ptr<const Footage> footageAtTime(const std::shared_ptr<const Footage>& source, double layerSeconds) {
    if (source == nullptr || source->sequence == nullptr) return source;
    const FootageSequence& sequence = *source->sequence;
    const SequenceFrame& frame = sequenceFrameAt(sequence, layerSeconds);
    std::lock_guard<std::mutex> lock(sequence.cacheMutex);
    if (sequence.cachedFrame != nullptr && sequence.cachedNumber == frame.number) return sequence.cachedFrame;
    Footage decoded;
    try {
        decoded = loadImageFootage(source->key, frame.file);
    } catch (const FootageError& e) {
        throw FootageError(frame.file.filename().string() + ": " + e.what());
    }
    if (decoded.width != source->width || decoded.height != source->height) {
        throw FootageError(frame.file.filename().string() + " is now " + sizeText(decoded.width, decoded.height) +
                           ", but the sequence is " + sizeText(source->width, source->height));
    }
    sequence.cachedFrame = std::make_shared<const Footage>(std::move(decoded));
    sequence.cachedNumber = frame.number;
    return sequence.cachedFrame;
}

}  // namespace zephrin::host
