#include "common/diagnostic_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace zephrin {
namespace {

const char* envValue(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && value[0] != '\0') ? value : nullptr;
}

void appendLine(const char* path, const std::string& text, const char* terminator) {
    if (path == nullptr) return;
    std::FILE* file = std::fopen(path, "ab");
    if (file == nullptr) return;
    std::fputs(text.c_str(), file);
    std::fputs(terminator, file);
    std::fclose(file);
}

void logSwitchedChannel(const char* debugVar, const char* logVar, const std::string& text) {
    if (!envFlag(debugVar) && !envFlag(logVar)) return;
    appendLine(envValue(logVar), text, "\n");
}

const char* renderLogPath() {
    const char* flag = envValue("SSR_RENDER_DEBUG");
    // Only an exact "0" switches the render channel off; "false" and friends leave it on.
    if (flag == nullptr || std::string(flag) == "0") return nullptr;
    const char* path = envValue("SSR_RENDER_DEBUG_LOG");
    return path != nullptr ? path : envValue("SSR_RENDER_LOG");
}

}  // namespace

bool envFlag(const char* name) {
    const char* value = envValue(name);
    if (value == nullptr) return false;
    std::string lower(value);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower != "0" && lower != "false" && lower != "off" && lower != "no";
}

void logEntry(const std::string& text) { logSwitchedChannel("SSR_ENTRY_DEBUG", "SSR_ENTRY_LOG", text); }

void logEntryNumber(const std::string& text, int64_t number) { logEntry(text + std::to_string(number)); }

bool renderLogEnabled() { return renderLogPath() != nullptr; }

void logRender(const std::string& text) { appendLine(renderLogPath(), text, "\n"); }

void logEffect(const std::string& text) { logSwitchedChannel("SSR_EFFECT_DEBUG", "SSR_EFFECT_LOG", text); }

void logEffectNumber(const std::string& text, uint32_t number) { logEffect(text + std::to_string(number)); }

void logEffectRaw(const std::string& text) {
    if (!envFlag("SSR_EFFECT_RAW_DEBUG") && !envFlag("SSR_EFFECT_RAW_LOG")) return;
    const char* path = envValue("SSR_EFFECT_RAW_LOG");
    if (path == nullptr) return;
    // The raw channel goes straight to the OS file interface: it runs before the effect's own
    // facilities are set up.
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) return;
    std::string line = text + "\r\n";
    ssize_t ignored = ::write(fd, line.data(), line.size());
    (void)ignored;
    ::close(fd);
}

}  // namespace zephrin
