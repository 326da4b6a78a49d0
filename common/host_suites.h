// Scoped access to the host's suites for one host call. A suite is acquired from the basic suite on
// first use and released (same name and version) when the HostSuites goes out of scope. A suite that
// cannot be acquired raises PF_Err_BAD_CALLBACK_PARAM as an integer, which the entry point the host
// called turns into that call's result.
#pragma once

#include <string>
#include <vector>

#include "sdk/A.h"
#include "sdk/SPBasic.h"

namespace zephrin {

// The integer thrown when a suite is missing; entry points catch it and return it to the host.
struct HostSuiteError {
    A_Err code;
};

struct HostSuites {
    explicit HostSuites(const SPBasicSuite* basicSuite) : basic(basicSuite) {}
    ~HostSuites();
    HostSuites(const HostSuites&) = delete;
    HostSuites& operator=(const HostSuites&) = delete;

    template <typename Suite>
    const Suite& acquire(const char* name, A_long version) {
        return *static_cast<const Suite*>(acquireRaw(name, version));
    }

    const void* acquireRaw(const char* name, A_long version);

    const SPBasicSuite* basic;

    struct Held {
        std::string name;
        A_long version;
        const void* suite;
    };
    std::vector<Held> held;
};

// Throws HostSuiteError{PF_Err_BAD_CALLBACK_PARAM}.
[[noreturn]] void raiseMissingSuite();

}  // namespace zephrin
