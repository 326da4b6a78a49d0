#include "apps/image_compare.h"

#include <OpenImageIO/imageio.h>

#include <cmath>
#include <sstream>

namespace zephrin::test {

RgbaImage readImage(const std::filesystem::path& file) {
    RgbaImage image;
    // Read the stored values as they are: PNG holds straight colour, which the reader would otherwise
    // premultiply.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(file.string(), &config);
    if (!input) return image;
    const OIIO::ImageSpec& spec = input->spec();
    std::vector<float> raw(static_cast<size_t>(spec.width) * spec.height * spec.nchannels);
    if (!input->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, raw.data())) return image;
    image.width = spec.width;
    image.height = spec.height;
    image.pixels.assign(static_cast<size_t>(spec.width) * spec.height * 4, 1.0f);
    for (size_t i = 0; i < static_cast<size_t>(spec.width) * spec.height; ++i) {
        for (int c = 0; c < std::min(spec.nchannels, 4); ++c) image.pixels[i * 4 + c] = raw[i * spec.nchannels + c];
    }
    return image;
}

std::string compareImages(const RgbaImage& actual, const RgbaImage& expected, float tolerance, size_t allowedOutliers) {
    std::ostringstream why;
    if (actual.width != expected.width || actual.height != expected.height) {
        why << "size " << actual.width << "x" << actual.height << " instead of " << expected.width << "x"
            << expected.height;
        return why.str();
    }
    size_t outliers = 0;
    float worst = 0.0f;
    int32_t firstX = -1, firstY = -1;
    for (int32_t y = 0; y < actual.height; ++y) {
        for (int32_t x = 0; x < actual.width; ++x) {
            float diff = 0.0f;
            for (int c = 0; c < 4; ++c) diff = std::max(diff, std::fabs(actual.at(x, y)[c] - expected.at(x, y)[c]));
            if (diff > tolerance) {
                if (outliers == 0) {
                    firstX = x;
                    firstY = y;
                }
                ++outliers;
            }
            worst = std::max(worst, diff);
        }
    }
    if (outliers <= allowedOutliers) return {};
    why << outliers << " pixels differ by more than " << tolerance << " (largest difference " << worst
        << "), first at (" << firstX << ", " << firstY << "): actual (" << actual.at(firstX, firstY)[0] << ", "
        << actual.at(firstX, firstY)[1] << ", " << actual.at(firstX, firstY)[2] << ", " << actual.at(firstX, firstY)[3]
        << ") expected (" << expected.at(firstX, firstY)[0] << ", " << expected.at(firstX, firstY)[1] << ", "
        << expected.at(firstX, firstY)[2] << ", " << expected.at(firstX, firstY)[3] << ")";
    return why.str();
}

}  // namespace zephrin::test
