// Diagnostic text logging of both plug-ins: off unless environment variables switch a channel on.
// Every line opens, appends and closes its file, so nothing is held in memory and lines from several
// threads or both plug-ins may share a file.
#pragma once

#include <cstdint>
#include <string>

namespace zephrin {

// True when the variable is set, not empty, and not "0", "false", "off" or "no" (any case).
bool envFlag(const char* name);

void logEntry(const std::string& text);
void logEntryNumber(const std::string& text, int64_t number);
void logRender(const std::string& text);
void logEffect(const std::string& text);
void logEffectNumber(const std::string& text, uint32_t number);
void logEffectRaw(const std::string& text);

// True when a render-channel line would be written; lets callers skip building costly lines.
bool renderLogEnabled();

}  // namespace zephrin
