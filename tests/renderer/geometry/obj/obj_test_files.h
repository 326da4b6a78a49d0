// Scratch OBJ files for the model tests: each test gets its own folder, removed when it ends.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "renderer/geometry/obj/obj_paths.h"

namespace zephrin::objtest {

struct ScratchFolder {
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() / ("zephrin-obj-" + std::string(info->test_suite_name()) + "-" +
                                                           info->name() + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Writes the file (name in UTF-8) and returns its wide path.
    std::wstring write(const std::string& name, std::string_view bytes) const {
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return wideFromUtf8((folder / name).string());
    }

    std::filesystem::path folder;
};

}  // namespace zephrin::objtest
