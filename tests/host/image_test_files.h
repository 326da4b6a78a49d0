// Scratch folders and images written at test time, so that no binary test data is committed.
#pragma once

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zephrin::host::testing {

// A fresh folder per test, removed afterwards.
struct ScratchDir {
    std::filesystem::path path;

    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::temp_directory_path() / ("zephrin_host_" + std::string(info->test_suite_name()) + "_" +
                                                         info->name() + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::filesystem::path write(const std::string& name, const std::string& text) const {
        std::filesystem::path file = path / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
};

// Writes float samples (channels per pixel, top row first) in the given storage format. `straight`
// says the samples are not premultiplied, so that the writer stores them as they are.
inline void writeImage(const std::filesystem::path& file, int width, int height, int channels, OIIO::TypeDesc storage,
                       const std::vector<float>& samples, bool straight) {
    OIIO::ImageSpec spec(width, height, channels, storage);
    if (straight) spec.attribute("oiio:UnassociatedAlpha", 1);
    auto out = OIIO::ImageOutput::create(file.string());
    ASSERT_TRUE(out) << OIIO::geterror();
    ASSERT_TRUE(out->open(file.string(), spec)) << out->geterror();
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, samples.data())) << out->geterror();
    ASSERT_TRUE(out->close());
}

}  // namespace zephrin::host::testing
