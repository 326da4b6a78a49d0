#include "apps/zephrin_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace zephrin::test {

namespace fs = std::filesystem;

fs::path pluginFolder() { return fs::path(ZEPHRIN_PLUGIN_DIR); }
fs::path zephrinExecutable() { return pluginFolder() / "zephrin"; }
fs::path sourceFolder() { return fs::path(ZEPHRIN_SOURCE_DIR); }

namespace {
std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}
}  // namespace

ProcessResult runZephrin(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::string command = "env";
    for (const std::string& entry : env) command += " " + shellQuote(entry);
    command += " " + shellQuote(zephrinExecutable().string());
    for (const std::string& arg : args) command += " " + shellQuote(arg);
    command += " 2>&1 </dev/null";
    ProcessResult result;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

fs::path freshTestFolder(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("zephrin_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string readTextFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeTextFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
}

}  // namespace zephrin::test
