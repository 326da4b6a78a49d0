#include "common/diagnostic_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zephrin {
namespace {

const char* envValue(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && value[0] != '\0') ? value : nullptr;
}

void appendLine(const char* path, std::string_view text, const char* terminator) {
    if (path == nullptr) return;
    std::FILE* file = std::fopen(path, "ab");
    if (file == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fputs(terminator, file);
    std::fclose(file);
}

// The path of a channel with a debug switch and a log switch, or null when nothing would be written:
// the …_LOG variable is both a switch and the path, so a debug switch alone writes nothing.
const char* switchedChannelPath(const char* debugVar, const char* logVar) {
    if (!envFlag(debugVar) && !envFlag(logVar)) return nullptr;
    return envValue(logVar);
}

constexpr const char* kEntryDebug = "SSR_ENTRY_DEBUG";
constexpr const char* kEntryLogPath = "SSR_ENTRY_LOG";
constexpr const char* kEffectDebug = "SSR_EFFECT_DEBUG";
constexpr const char* kEffectLogPath = "SSR_EFFECT_LOG";
constexpr const char* kEffectRawDebug = "SSR_EFFECT_RAW_DEBUG";
constexpr const char* kEffectRawLogPath = "SSR_EFFECT_RAW_LOG";

const char* renderLogPath() {
    const char* flag = envValue("SSR_RENDER_DEBUG");
    // Only an exact "0" switches the render channel off; "false" and friends leave it on.
    if (flag == nullptr || std::string_view(flag) == "0") return nullptr;
    const char* path = envValue("SSR_RENDER_DEBUG_LOG");
    return path != nullptr ? path : envValue("SSR_RENDER_LOG");
}

}  // namespace

bool envFlag(const char* name) {
    const char* value = envValue(name);
    if (value == nullptr) return false;
    // Compared without a lower-cased copy: every enabled-check of every log line lands here.
    const std::string_view text(value);
    for (std::string_view offWord : {"0", "false", "off", "no"}) {
        bool same = text.size() == offWord.size();
        for (size_t i = 0; same && i < text.size(); ++i) {
            same = std::tolower(static_cast<unsigned char>(text[i])) == offWord[i];
        }
        if (same) return false;
    }
    return true;
}

bool entryLogEnabled() { return switchedChannelPath(kEntryDebug, kEntryLogPath) != nullptr; }

bool renderLogEnabled() { return renderLogPath() != nullptr; }

bool effectLogEnabled() { return switchedChannelPath(kEffectDebug, kEffectLogPath) != nullptr; }

bool effectRawLogEnabled() { return switchedChannelPath(kEffectRawDebug, kEffectRawLogPath) != nullptr; }

void logEntry(std::string_view text) { appendLine(switchedChannelPath(kEntryDebug, kEntryLogPath), text, "\n"); }

void logEntryNumber(std::string_view text, int64_t number) {
    if (entryLogEnabled()) logEntry(std::string(text) + std::to_string(number));
}

void logRender(std::string_view text) { appendLine(renderLogPath(), text, "\n"); }

void logEffect(std::string_view text) { appendLine(switchedChannelPath(kEffectDebug, kEffectLogPath), text, "\n"); }

void logEffectNumber(std::string_view text, uint32_t number) {
    if (effectLogEnabled()) logEffect(std::string(text) + std::to_string(number));
}

void logEffectRaw(std::string_view text) {
    const char* path = switchedChannelPath(kEffectRawDebug, kEffectRawLogPath);
    if (path == nullptr) return;
    // The raw channel goes straight to the OS file interface: it runs before the effect's own
    // facilities are set up.
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) return;
    std::string line(text);
    line += "\r\n";
    ssize_t ignored = ::write(fd, line.data(), line.size());
    (void)ignored;
    ::close(fd);
}

}  // namespace zephrin
