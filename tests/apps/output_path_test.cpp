// Output names: every frame-number placeholder farm tools write, and names that hold none.
#include "apps/zephrin/output_path.h"

#include <gtest/gtest.h>

namespace zephrin::app {
namespace {

TEST(OutputPath, EveryPlaceholderTakesTheFrameNumberPaddedToItsWidth) {
    EXPECT_EQ(expandFramePattern("shot.####.png", 12), "shot.0012.png");
    EXPECT_EQ(expandFramePattern("shot.@@@.png", 12), "shot.012.png");
    EXPECT_EQ(expandFramePattern("shot.%04d.png", 12), "shot.0012.png");
    EXPECT_EQ(expandFramePattern("shot.%d.png", 12), "shot.12.png");
    EXPECT_EQ(expandFramePattern("shot.#.png", 1234), "shot.1234.png") << "a number wider than the run is kept whole";
    // Every run, not only the first: a folder per frame and the frame in the name.
    EXPECT_EQ(expandFramePattern("f##/img.####.exr", 7), "f07/img.0007.exr");
    EXPECT_EQ(expandFramePattern("a%03d_@@.tif", 5), "a005_05.tif");
}

TEST(OutputPath, TextThatIsNoPlaceholderStaysAsWritten) {
    for (const char* name : {"still.png", "100%.png", "50%off.png", "x%4d.png", "%%.png", "%0999999999999999999999d.png"}) {
        EXPECT_FALSE(hasFramePattern(name)) << name;
        EXPECT_EQ(expandFramePattern(name, 3), name);
    }
    for (const char* name : {"a.#.png", "a.@.png", "a.%d.png", "a.%02d.png"}) EXPECT_TRUE(hasFramePattern(name)) << name;
}

}  // namespace
}  // namespace zephrin::app
