// Frame lists as render farms write them: "5", "1-10", "1-10x2" and comma-separated lists of these
// ("1-10,20,30-40x2"). Frame numbers are the composition's own, which may start above 0 (1001).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zephrin::app {

struct FrameRun {
    int64_t first = 0;
    int64_t last = 0;  // inclusive, never below first
    int64_t step = 1;
};

struct FrameSpec {
    std::vector<FrameRun> runs;  // in the order written
};

struct FrameSpecResult {
    FrameSpec spec;
    std::string error;  // empty when the text was understood
};

// The frames a composition has: start, start + 1, ... start + count - 1.
struct FrameBounds {
    int64_t first = 0;
    int64_t count = 1;
};

FrameSpecResult parseFrameSpec(const std::string& text);

// Why a frame list does not fit the composition ("frame 120 is outside the composition (frames 0-99)"), or
// empty when every frame it names exists.
std::string frameSpecProblem(const FrameSpec& spec, const FrameBounds& bounds);

// Every frame the list names, in the order written, each once. The list must fit its composition.
std::vector<int64_t> expandFrameSpec(const FrameSpec& spec);

}  // namespace zephrin::app
