#include "host/footage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "image_test_files.h"

namespace zephrin::host {
namespace {

using testing::ScratchDir;
using testing::writeImage;

// Straight samples survive an integer round trip to within half a code value.
constexpr float kEightBitTolerance = 0.5f / 255.0f;
constexpr float kSixteenBitTolerance = 0.5f / 65535.0f;
constexpr float kFloatTolerance = 1e-6f;

void expectPixel(const Footage& f, int x, int y, std::array<float, 4> expected, float tolerance) {
    const std::vector<float> frame = footageRgba(f);
    ASSERT_EQ(frame.size(), static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height) * 4);
    const float* p =
        &frame[(static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width) + static_cast<std::size_t>(x)) * 4];
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(p[c], expected[static_cast<std::size_t>(c)], tolerance)
            << "pixel " << x << "," << y << " channel " << c;
}

TEST(Footage, EightBitPngKeepsStraightColourUnderPartialAlpha) {
    ScratchDir dir;
    // Dark colour under low alpha is where a premultiply-then-divide round trip loses precision.
    std::vector<float> samples = {200 / 255.f, 100 / 255.f, 50 / 255.f, 128 / 255.f, 3 / 255.f, 7 / 255.f,
                                  11 / 255.f,  5 / 255.f,   1.f,        1.f,         1.f,       0.f,
                                  0.f,         0.f,         0.f,        1.f};
    writeImage(dir.path / "a.png", 2, 2, 4, OIIO::TypeDesc::UINT8, samples, true);
    Footage f = loadImageFootage("a", dir.path / "a.png");
    EXPECT_EQ(f.kind, FootageKind::Image);
    EXPECT_EQ(f.width, 2);
    EXPECT_EQ(f.height, 2);
    EXPECT_EQ(f.bitsPerChannel, 8);
    expectPixel(f, 0, 0, {200 / 255.f, 100 / 255.f, 50 / 255.f, 128 / 255.f}, kEightBitTolerance);
    expectPixel(f, 1, 0, {3 / 255.f, 7 / 255.f, 11 / 255.f, 5 / 255.f}, kEightBitTolerance);
    expectPixel(f, 1, 1, {0.f, 0.f, 0.f, 1.f}, kEightBitTolerance);
}

TEST(Footage, SixteenBitPngKeepsItsPrecision) {
    ScratchDir dir;
    std::vector<float> samples = {1000 / 65535.f, 30000 / 65535.f, 65535 / 65535.f, 40000 / 65535.f};
    writeImage(dir.path / "deep.png", 1, 1, 4, OIIO::TypeDesc::UINT16, samples, true);
    Footage f = loadImageFootage("deep", dir.path / "deep.png");
    EXPECT_EQ(f.bitsPerChannel, 16);
    expectPixel(f, 0, 0, {1000 / 65535.f, 30000 / 65535.f, 1.f, 40000 / 65535.f}, kSixteenBitTolerance);
}

TEST(Footage, FloatExrIsUnpremultipliedAndReportedAsThirtyTwoBits) {
    ScratchDir dir;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // EXR stores premultiplied colour: (0.25, 0.1, 0.05) under alpha 0.5 is straight (0.5, 0.2, 0.1).
    // Values above 1 are light, not errors; a NaN sample must not reach the renderer.
    std::vector<float> samples = {0.25f, 0.1f, 0.05f, 0.5f,  //
                                  3.0f,  nan,  0.0f,  1.0f,  //
                                  0.0f,  0.0f, 0.0f,  0.0f};
    writeImage(dir.path / "light.exr", 3, 1, 4, OIIO::TypeDesc::FLOAT, samples, false);
    Footage f = loadImageFootage("light", dir.path / "light.exr");
    EXPECT_EQ(f.bitsPerChannel, 32);
    expectPixel(f, 0, 0, {0.5f, 0.2f, 0.1f, 0.5f}, kFloatTolerance);
    expectPixel(f, 1, 0, {3.0f, 0.0f, 0.0f, 1.0f}, kFloatTolerance);
    expectPixel(f, 2, 0, {0.0f, 0.0f, 0.0f, 0.0f}, kFloatTolerance);

    writeImage(dir.path / "half.exr", 1, 1, 3, OIIO::TypeDesc::HALF, {0.5f, 0.25f, 2.0f}, false);
    Footage half = loadImageFootage("half", dir.path / "half.exr");
    EXPECT_EQ(half.bitsPerChannel, 32);
    expectPixel(half, 0, 0, {0.5f, 0.25f, 2.0f, 1.0f}, kFloatTolerance);
}

TEST(Footage, GreySourcesSpreadToRgb) {
    ScratchDir dir;
    writeImage(dir.path / "grey.tif", 2, 1, 1, OIIO::TypeDesc::UINT8, {0.f, 1.f}, false);
    Footage grey = loadImageFootage("grey", dir.path / "grey.tif");
    expectPixel(grey, 0, 0, {0.f, 0.f, 0.f, 1.f}, kEightBitTolerance);
    expectPixel(grey, 1, 0, {1.f, 1.f, 1.f, 1.f}, kEightBitTolerance);

    writeImage(dir.path / "greyalpha.png", 1, 1, 2, OIIO::TypeDesc::UINT8, {0.4f, 0.6f}, true);
    Footage greyAlpha = loadImageFootage("ga", dir.path / "greyalpha.png");
    expectPixel(greyAlpha, 0, 0, {0.4f, 0.4f, 0.4f, 0.6f}, kEightBitTolerance);
}

TEST(Footage, ExrDataWindowIsPlacedInItsDisplayWindow) {
    ScratchDir dir;
    // A 1x1 data window at (2, 1) inside a 4x3 frame: everything else is transparent.
    OIIO::ImageSpec spec(1, 1, 4, OIIO::TypeDesc::FLOAT);
    spec.x = 2;
    spec.y = 1;
    spec.full_width = 4;
    spec.full_height = 3;
    float pixel[4] = {1.f, 0.5f, 0.25f, 1.f};
    std::string file = (dir.path / "window.exr").string();
    auto out = OIIO::ImageOutput::create(file);
    ASSERT_TRUE(out && out->open(file, spec) && out->write_image(OIIO::TypeDesc::FLOAT, pixel) && out->close());

    Footage f = loadImageFootage("window", file);
    ASSERT_EQ(f.width, 4);
    ASSERT_EQ(f.height, 3);
    expectPixel(f, 2, 1, {1.f, 0.5f, 0.25f, 1.f}, kFloatTolerance);
    expectPixel(f, 0, 0, {0.f, 0.f, 0.f, 0.f}, kFloatTolerance);
    expectPixel(f, 3, 2, {0.f, 0.f, 0.f, 0.f}, kFloatTolerance);
}

TEST(Footage, UnusableFilesAreRefused) {
    ScratchDir dir;
    EXPECT_THROW(loadImageFootage("x", dir.write("noise.png", "this is not a PNG file")), FootageError);
    EXPECT_THROW(loadImageFootage("x", dir.path / "missing.png"), FootageError);

    // Wider than any layer the host allows: refused from the header, before the pixels.
    writeImage(dir.path / "wide.png", kMaxFootageSide + 1, 1, 1, OIIO::TypeDesc::UINT8,
               std::vector<float>(kMaxFootageSide + 1, 0.5f), false);
    try {
        loadImageFootage("wide", dir.path / "wide.png");
        FAIL() << "an image over the size limit was accepted";
    } catch (const FootageError& e) {
        EXPECT_STREQ(e.what(), "the image is 30001x1, larger than the host's 30000 pixel limit");
        EXPECT_TRUE(e.tooLarge);
    }
}

const std::filesystem::path kFootageData = std::filesystem::path(ZEPHRIN_SOURCE_DIR) / "tests/data/footage";

std::string refusalOf(const std::filesystem::path& file, bool& tooLarge) {
    try {
        loadImageFootage("x", file);
    } catch (const FootageError& e) {
        tooLarge = e.tooLarge;
        return e.what();
    }
    ADD_FAILURE() << file << " was accepted";
    return {};
}

// Headers of a few hundred bytes that claim gigapixels: refused from the header, so loading them costs
// nothing (a read would take gigabytes, or abort on a failed allocation).
TEST(Footage, OversizedHeadersAreRefusedBeforeAnyPixelIsRead) {
    bool tooLarge = false;
    EXPECT_EQ(refusalOf(kFootageData / "huge_header_12000.png", tooLarge),
              "the image holds 12000x12000 pixels, more than the host reads from one file (67108864)");
    EXPECT_TRUE(tooLarge);
    // For EXR the data window is what the file holds and what reading it allocates.
    tooLarge = false;
    EXPECT_EQ(refusalOf(kFootageData / "huge_data_window_9000.exr", tooLarge),
              "the image holds 9000x9000 pixels, more than the host reads from one file (67108864)");
    EXPECT_TRUE(tooLarge);

    // A header cut short is a broken file, not a large one.
    tooLarge = true;
    EXPECT_FALSE(refusalOf(kFootageData / "truncated_header.png", tooLarge).empty());
    EXPECT_FALSE(tooLarge);
}

TEST(Footage, VastDisplayWindowStoresOnlyItsDataWindow) {
    // One pixel of data in a 10000 x 10000 frame: the frame is the layer's size, but only the pixel is kept.
    Footage f = loadImageFootage("vast", kFootageData / "vast_display_window_10000.exr");
    EXPECT_EQ(f.width, 10000);
    EXPECT_EQ(f.height, 10000);
    EXPECT_EQ(f.pixelsWidth, 1);
    EXPECT_EQ(f.pixelsHeight, 1);
    EXPECT_EQ(f.pixels.size(), 4u);
    ASSERT_TRUE(imagePixelRect(f).has_value());

    // A stored rectangle that leaves the frame, or a buffer that does not match it, is never read.
    Footage shifted = f;
    shifted.pixelsX = 9999 + 1;
    EXPECT_FALSE(imagePixelRect(shifted).has_value());
    EXPECT_TRUE(footageRgba(shifted).empty());
    Footage shortBuffer = f;
    shortBuffer.pixels.pop_back();
    EXPECT_FALSE(imagePixelRect(shortBuffer).has_value());
}

TEST(Footage, SolidsFillTheirFrameOpaquely) {
    Footage solid = makeSolidFootage("paper", {0.95, 0.9, 0.8}, 3, 2);
    EXPECT_EQ(solid.kind, FootageKind::Solid);
    std::vector<float> rgba = footageRgba(solid);
    ASSERT_EQ(rgba.size(), 3u * 2u * 4u);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        EXPECT_FLOAT_EQ(rgba[i], 0.95f);
        EXPECT_FLOAT_EQ(rgba[i + 1], 0.9f);
        EXPECT_FLOAT_EQ(rgba[i + 2], 0.8f);
        EXPECT_FLOAT_EQ(rgba[i + 3], 1.0f);
    }
    EXPECT_TRUE(footageRgba(makeObjFootage("teapot", "/models/teapot.obj")).empty());
}

}  // namespace
}  // namespace zephrin::host
