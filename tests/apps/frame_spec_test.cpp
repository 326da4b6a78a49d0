// Frame lists as farm tools write them, checked against the composition's own numbering.
#include "apps/zephrin/frame_spec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zephrin::app {
namespace {

std::vector<int64_t> framesOf(const std::string& text) {
    FrameSpecResult parsed = parseFrameSpec(text);
    EXPECT_EQ(parsed.error, "") << text;
    return expandFrameSpec(parsed.spec);
}

TEST(FrameSpec, ListsRangesAndStepsExpandInTheOrderWritten) {
    EXPECT_EQ(framesOf("5"), (std::vector<int64_t>{5}));
    EXPECT_EQ(framesOf("1-4"), (std::vector<int64_t>{1, 2, 3, 4}));
    // The step counts from the first frame; the last is left out when the step passes it.
    EXPECT_EQ(framesOf("1-10x3"), (std::vector<int64_t>{1, 4, 7, 10}));
    EXPECT_EQ(framesOf("0-9x4"), (std::vector<int64_t>{0, 4, 8}));
    EXPECT_EQ(framesOf("1-3,20,30-34x2"), (std::vector<int64_t>{1, 2, 3, 20, 30, 32, 34}));
    EXPECT_EQ(framesOf(" 7 , 2-3 "), (std::vector<int64_t>{7, 2, 3}));
    // A frame named twice renders once, where it first appears.
    EXPECT_EQ(framesOf("3-5,1-4"), (std::vector<int64_t>{3, 4, 5, 1, 2}));
    EXPECT_EQ(framesOf("1001-1003"), (std::vector<int64_t>{1001, 1002, 1003}));
}

TEST(FrameSpec, MalformedTextIsRefusedWithAReason) {
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"", "expected frames"},
        {"-1", "negative"},
        {"5-2", "the range 5-2 runs backwards (write 2-5)"},
        {"1-10x0", "the step of 1-10x0 must be at least 1"},
        {"1-10x", "expected a step"},
        {"1-", "expected the last frame"},
        {"1,,2", "expected a frame number"},
        {"1,", "expected a frame number"},
        {"1-3y", "unexpected \"y\" after 1-3"},
        {"1;2", "unexpected \";\""},
        {"abc", "unexpected \"a\""},
        {"1234567890123", "more than 12 digits"},
    };
    for (const Case& c : cases) {
        FrameSpecResult parsed = parseFrameSpec(c.text);
        EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << "\"" << c.text << "\": " << parsed.error;
    }
}

TEST(FrameSpec, FramesOutsideTheCompositionAreNamedWithItsNumbering) {
    FrameBounds shot{1001, 48};  // 1001-1048
    EXPECT_EQ(frameSpecProblem(parseFrameSpec("1001-1048x4").spec, shot), "");
    EXPECT_EQ(frameSpecProblem(parseFrameSpec("1000").spec, shot),
              "frame 1000 is outside the composition (frames 1001-1048)");
    EXPECT_EQ(frameSpecProblem(parseFrameSpec("1040-1050x5").spec, shot),
              "frame 1050 is outside the composition (frames 1001-1048)");
    EXPECT_EQ(frameSpecProblem(parseFrameSpec("0").spec, FrameBounds{0, 1}), "");
}

// A list that names millions of frames is refused before it is expanded, so a typo cannot eat memory.
TEST(FrameSpec, HugeListsAreRefusedBeforeExpanding) {
    FrameBounds endless{0, int64_t{1} << 40};
    std::string problem = frameSpecProblem(parseFrameSpec("0-999999999").spec, endless);
    EXPECT_NE(problem.find("render it in parts"), std::string::npos) << problem;
    std::string repeated;
    for (int i = 0; i < 300; ++i) repeated += (i ? "," : "") + std::string("0-20000");
    EXPECT_NE(frameSpecProblem(parseFrameSpec(repeated).spec, endless), "");
}

}  // namespace
}  // namespace zephrin::app
