// Points one diagnostic log variable at a fresh file for the life of a test and reads the lines back.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zephrin::test {

struct ChannelLogFile {
    explicit ChannelLogFile(const char* logVariable) : variable(logVariable) {
        static int serial = 0;
        path = std::filesystem::temp_directory_path() / ("zephrin_channel_" + std::to_string(::getpid()) + "_" +
                                                         std::to_string(++serial) + ".log");
        std::filesystem::remove(path);
        ::setenv(variable, path.c_str(), 1);
    }
    ~ChannelLogFile() {
        ::unsetenv(variable);
        std::filesystem::remove(path);
    }
    ChannelLogFile(const ChannelLogFile&) = delete;
    ChannelLogFile& operator=(const ChannelLogFile&) = delete;

    // Every line, without its terminator ("\n", or "\r\n" on the raw channel).
    std::vector<std::string> lines() const {
        std::vector<std::string> found;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            found.push_back(line);
        }
        return found;
    }

    const char* variable;
    std::filesystem::path path;
};

}  // namespace zephrin::test
