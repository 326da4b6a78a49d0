// Switches the renderer's debug log on for one test, into a fresh file, and reads its lines back.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zephrin::test {

struct RenderLog {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("zephrin_render_" + std::to_string(::getpid()) + ".log");
    RenderLog() {
        std::filesystem::remove(path);
        ::setenv("SSR_RENDER_DEBUG", "1", 1);
        ::setenv("SSR_RENDER_DEBUG_LOG", path.c_str(), 1);
    }
    ~RenderLog() {
        ::unsetenv("SSR_RENDER_DEBUG");
        ::unsetenv("SSR_RENDER_DEBUG_LOG");
        std::filesystem::remove(path);
    }
    RenderLog(const RenderLog&) = delete;
    RenderLog& operator=(const RenderLog&) = delete;

    // Every line that starts with `prefix`, in order.
    std::vector<std::string> lines(const std::string& prefix) const {
        std::vector<std::string> found;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        }
        return found;
    }

    // The first line that starts with `prefix`, or an empty string.
    std::string firstLine(const std::string& prefix) const {
        std::vector<std::string> found = lines(prefix);
        return found.empty() ? std::string() : found.front();
    }

    // The whole log.
    std::string text() const {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

}  // namespace zephrin::test
