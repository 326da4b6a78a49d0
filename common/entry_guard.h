// The one door of both plug-ins: every exported entry point and every callback the host calls runs its
// body through guardEntry. An exception that reached the host would end the host's process (and the
// user's unsaved work with it); here it becomes the host's error code and one diagnostic line.
#pragma once

#include <exception>
#include <new>

#include "common/diagnostic_log.h"
#include "common/host_suites.h"
#include "sdk/A.h"

namespace zephrin {

// The host error codes a plug-in answers for what its entry caught; a host suite error carries its own.
struct EntryFaultCodes {
    A_Err outOfMemory;
    A_Err generic;
};

// Writes "<entry> caught <what> err=<code>" on the channel when it is on. Never throws: the line is
// dropped when it cannot be built (memory is often what just ran out).
void logEntryFault(const LogChannel& channel, const char* entry, const char* what, A_Err code) noexcept;

// Runs body() and returns its result; whatever it throws is logged under `entry` and answered with the
// host's code for it.
template <typename Body>
A_Err guardEntry(const char* entry, const LogChannel& log, const EntryFaultCodes& codes, Body&& body) noexcept {
    try {
        return body();
    } catch (const HostSuiteError& error) {
        logEntryFault(log, entry, "host suite error", error.code);
        return error.code;
    } catch (const std::bad_alloc& error) {
        logEntryFault(log, entry, error.what(), codes.outOfMemory);
        return codes.outOfMemory;
    } catch (const std::exception& error) {
        logEntryFault(log, entry, error.what(), codes.generic);
        return codes.generic;
    } catch (...) {
        logEntryFault(log, entry, "unknown exception", codes.generic);
        return codes.generic;
    }
}

}  // namespace zephrin
