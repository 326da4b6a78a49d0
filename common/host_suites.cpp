#include "common/host_suites.h"

#include <utility>

namespace zephrin {

void raiseMissingSuite() { throw HostSuiteError{PF_Err_BAD_CALLBACK_PARAM}; }

const void* HostSuites::acquireRaw(const char* name, A_long version) {
    for (const Held& entry : held) {
        if (entry.version == version && entry.name == name) return entry.suite;
    }
    if (basic == nullptr || basic->AcquireSuite == nullptr) raiseMissingSuite();
    // Everything that can run out of memory happens before the host hands the suite over, so an
    // acquired suite is always on the list the destructor releases.
    Held entry{name, version, nullptr};
    held.reserve(held.size() + 1);
    if (basic->AcquireSuite(name, version, &entry.suite) != kSPNoError || entry.suite == nullptr) raiseMissingSuite();
    held.push_back(std::move(entry));
    return held.back().suite;
}

HostSuites::~HostSuites() {
    if (basic == nullptr || basic->ReleaseSuite == nullptr) return;
    // Release in reverse order of acquisition, the way nested scopes would.
    for (auto it = held.rbegin(); it != held.rend(); ++it) basic->ReleaseSuite(it->name.c_str(), it->version);
}

}  // namespace zephrin
