#include "apps/zephrin/frame_spec.h"

#include <cctype>
#include <string_view>
#include <unordered_set>

namespace zephrin::app {
namespace {

// Twelve digits reach any frame of any composition the host can hold, and keep sums of run lengths
// far from overflow.
constexpr size_t kMaxFrameDigits = 12;
// About 48 hours at 24 fps: a list longer than that is a typo, and expanding it would cost memory
// before the first frame renders.
constexpr int64_t kMaxListedFrames = int64_t{1} << 22;

struct Cursor {
    std::string_view text;
    size_t at = 0;
    bool done() const { return at >= text.size(); }
    char peek() const { return done() ? '\0' : text[at]; }
};

void skipSpaces(Cursor& c) {
    while (!c.done() && std::isspace(static_cast<unsigned char>(c.peek()))) ++c.at;
}

// Reads digits; an empty string on success, or why the item is not a number.
std::string readNumber(Cursor& c, int64_t& value, std::string_view what) {
    skipSpaces(c);
    if (c.peek() == '-') return std::string(what) + " is negative; frame numbers start at 0";
    size_t start = c.at;
    value = 0;
    while (!c.done() && std::isdigit(static_cast<unsigned char>(c.peek()))) {
        if (c.at - start == kMaxFrameDigits) return std::string(what) + " has more than 12 digits";
        value = value * 10 + (c.peek() - '0');
        ++c.at;
    }
    if (c.at == start) {
        if (c.done() || c.peek() == ',') return "expected " + std::string(what);
        return "unexpected \"" + std::string(1, c.peek()) + "\" where " + std::string(what) + " belongs";
    }
    skipSpaces(c);
    return {};
}

std::string runText(const FrameRun& run) {
    std::string text = std::to_string(run.first);
    if (run.last != run.first || run.step != 1) text += "-" + std::to_string(run.last);
    if (run.step != 1) text += "x" + std::to_string(run.step);
    return text;
}

}  // namespace

FrameSpecResult parseFrameSpec(const std::string& text) {
    FrameSpecResult result;
    Cursor c{text};
    skipSpaces(c);
    if (c.done()) {
        result.error = "expected frames such as 5, 1-10, 1-10x2 or 1-10,20";
        return result;
    }
    while (true) {
        FrameRun run;
        if (std::string error = readNumber(c, run.first, "a frame number"); !error.empty()) {
            result.error = error;
            return result;
        }
        run.last = run.first;
        if (c.peek() == '-') {
            ++c.at;
            if (std::string error = readNumber(c, run.last, "the last frame of the range"); !error.empty()) {
                result.error = error;
                return result;
            }
            if (c.peek() == 'x' || c.peek() == 'X') {
                ++c.at;
                if (std::string error = readNumber(c, run.step, "a step"); !error.empty()) {
                    result.error = error;
                    return result;
                }
                if (run.step < 1) {
                    result.error = "the step of " + runText(run) + " must be at least 1";
                    return result;
                }
            }
            if (run.last < run.first) {
                result.error = "the range " + runText(run) + " runs backwards (write " + std::to_string(run.last) +
                               "-" + std::to_string(run.first) + ")";
                return result;
            }
        }
        result.spec.runs.push_back(run);
        if (c.done()) break;
        if (c.peek() != ',') {
            result.error = "unexpected \"" + std::string(1, c.peek()) + "\" after " + runText(run) +
                           " (separate frames with commas)";
            return result;
        }
        ++c.at;
    }
    return result;
}

std::string frameSpecProblem(const FrameSpec& spec, const FrameBounds& bounds) {
    int64_t lastFrame = bounds.first + bounds.count - 1;
    int64_t listed = 0;
    for (const FrameRun& run : spec.runs) {
        if (run.first < bounds.first || run.last > lastFrame) {
            int64_t outside = run.first < bounds.first ? run.first : run.last;
            return "frame " + std::to_string(outside) + " is outside the composition (frames " +
                   std::to_string(bounds.first) + "-" + std::to_string(lastFrame) + ")";
        }
        listed += (run.last - run.first) / run.step + 1;
        if (listed > kMaxListedFrames) {
            return "the frame list names more than " + std::to_string(kMaxListedFrames) +
                   " frames; render it in parts";
        }
    }
    return {};
}

std::vector<int64_t> expandFrameSpec(const FrameSpec& spec) {
    std::vector<int64_t> frames;
    std::unordered_set<int64_t> seen;
    for (const FrameRun& run : spec.runs) {
        for (int64_t frame = run.first; frame <= run.last; frame += run.step) {
            if (seen.insert(frame).second) frames.push_back(frame);
        }
    }
    return frames;
}

}  // namespace zephrin::app
