#include "apps/zephrin_process.h"

#include <fcntl.h>
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

RunningZephrin startZephrin(const std::vector<std::string>& args, const fs::path& log) {
    std::vector<std::string> argvText{zephrinExecutable().string()};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvText) argv.push_back(arg.data());
    argv.push_back(nullptr);
    RunningZephrin running{-1, log};
    pid_t pid = ::fork();
    if (pid == 0) {
        int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, STDOUT_FILENO);
            ::dup2(fd, STDERR_FILENO);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    running.pid = pid;
    return running;
}

int waitForZephrin(const RunningZephrin& running) {
    int status = 0;
    if (::waitpid(running.pid, &status, 0) != running.pid) return -1000;
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
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
