// Diagnostic text logging of both plug-ins: off unless environment variables switch a channel on.
// Every line opens, appends and closes its file, so nothing is held in memory and lines from several
// threads or both plug-ins may share a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zephrin {

// True when the variable is set, not empty, and not "0", "false", "off" or "no" (any case).
bool envFlag(const char* name);

void logEntry(std::string_view text);
void logEntryNumber(std::string_view text, int64_t number);
void logRender(std::string_view text);
void logEffect(std::string_view text);
void logEffectNumber(std::string_view text, uint32_t number);
void logEffectRaw(std::string_view text);

// True when a line on the channel would reach a file: the writers' own switches and paths, read afresh.
// A caller that formats its line (streams, number conversions, concatenation) asks first, so that
// logging switched off costs a frame or a command only the environment look-ups.
bool entryLogEnabled();
bool renderLogEnabled();
bool effectLogEnabled();
bool effectRawLogEnabled();

// One channel as a value, for code that is handed the channel it reports on.
struct LogChannel {
    bool (*enabled)();
    void (*write)(std::string_view text);
};
inline constexpr LogChannel kEntryLog{entryLogEnabled, logEntry};
inline constexpr LogChannel kRenderLog{renderLogEnabled, logRender};
inline constexpr LogChannel kEffectLog{effectLogEnabled, logEffect};
inline constexpr LogChannel kEffectRawLog{effectRawLogEnabled, logEffectRaw};

// Writes the line build() returns; build runs only when the channel is on.
template <typename Build>
void logBuilt(const LogChannel& channel, Build&& build) {
    if (channel.enabled()) channel.write(build());
}

}  // namespace zephrin
