#include "common/host_suites.h"

namespace zephrin {

void raiseMissingSuite() { throw HostSuiteError{PF_Err_BAD_CALLBACK_PARAM}; }

const void* HostSuites::acquireRaw(const char* name, A_long version) {
    for (const Held& entry : held) {
        if (entry.version == version && entry.name == name) return entry.suite;
    }
    if (basic == nullptr || basic->AcquireSuite == nullptr) raiseMissingSuite();
    const void* suite = nullptr;
    if (basic->AcquireSuite(name, version, &suite) != kSPNoError || suite == nullptr) raiseMissingSuite();
    held.push_back(Held{name, version, suite});
    return suite;
}

HostSuites::~HostSuites() {
    if (basic == nullptr || basic->ReleaseSuite == nullptr) return;
    // Release in reverse order of acquisition, the way nested scopes would.
    for (auto it = held.rbegin(); it != held.rend(); ++it) basic->ReleaseSuite(it->name.c_str(), it->version);
}

}  // namespace zephrin
