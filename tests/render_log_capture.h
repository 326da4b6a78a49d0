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

// Points the renderer's entry and render log channels at fresh files while it lives.
struct LogCapture {
    std::filesystem::path entryPath = freshPath("entry");
    std::filesystem::path renderPath = freshPath("render");

    LogCapture() {
        ::setenv("SSR_ENTRY_LOG", entryPath.c_str(), 1);
        ::setenv("SSR_RENDER_DEBUG", "1", 1);
        ::setenv("SSR_RENDER_DEBUG_LOG", renderPath.c_str(), 1);
    }
    ~LogCapture() {
        ::unsetenv("SSR_ENTRY_LOG");
        ::unsetenv("SSR_RENDER_DEBUG");
        ::unsetenv("SSR_RENDER_DEBUG_LOG");
        std::filesystem::remove(entryPath);
        std::filesystem::remove(renderPath);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> entryLines() const { return linesOf(entryPath, ""); }
    // Render-channel lines that begin with `prefix` (all of them for an empty prefix).
    std::vector<std::string> renderLines(const std::string& prefix = "") const { return linesOf(renderPath, prefix); }

private:
    // One capture at a time, so the channel and the process make the name unique.
    static std::filesystem::path freshPath(const char* channel) {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("zephrin_driver_" + std::string(channel) + "_" + std::to_string(::getpid()) + ".log");
        std::filesystem::remove(path);
        return path;
    }
    static std::vector<std::string> linesOf(const std::filesystem::path& path, const std::string& prefix) {
        std::vector<std::string> found;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        }
        return found;
    }
};

}  // namespace zephrin::test
