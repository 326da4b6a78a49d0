#include "common/host_suites.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zephrin {
namespace {

struct FakeSuite {
    int marker;
};

// A basic suite that knows one suite ("Known", 3) and logs every acquire and release.
std::vector<std::string> gCalls;
FakeSuite gKnown{42};

SPErr fakeAcquire(const char* name, A_long version, const void** suite) {
    gCalls.push_back(std::string("acquire ") + name + " " + std::to_string(version));
    if (std::string(name) == "Known" && version == 3) {
        *suite = &gKnown;
        return kSPNoError;
    }
    *suite = nullptr;
    return kSPSuiteNotFoundError;
}

SPErr fakeRelease(const char* name, A_long version) {
    gCalls.push_back(std::string("release ") + name + " " + std::to_string(version));
    return kSPNoError;
}

SPBasicSuite makeBasic() {
    SPBasicSuite basic{};
    basic.AcquireSuite = fakeAcquire;
    basic.ReleaseSuite = fakeRelease;
    return basic;
}

TEST(HostSuites, AcquiresOnceAndReleasesOnScopeExit) {
    gCalls.clear();
    SPBasicSuite basic = makeBasic();
    {
        HostSuites suites(&basic);
        EXPECT_EQ(suites.acquire<FakeSuite>("Known", 3).marker, 42);
        EXPECT_EQ(suites.acquire<FakeSuite>("Known", 3).marker, 42);
    }
    EXPECT_EQ(gCalls, (std::vector<std::string>{"acquire Known 3", "release Known 3"}));
}

TEST(HostSuites, MissingSuiteRaisesBadCallbackParam) {
    gCalls.clear();
    SPBasicSuite basic = makeBasic();
    {
        HostSuites suites(&basic);
        try {
            suites.acquire<FakeSuite>("Known", 4);
            FAIL() << "expected HostSuiteError";
        } catch (const HostSuiteError& error) {
            EXPECT_EQ(error.code, 516);
        }
    }
    // Nothing was acquired, so nothing is released.
    EXPECT_EQ(gCalls, (std::vector<std::string>{"acquire Known 4"}));
}

TEST(HostSuites, NoBasicSuiteRaisesBadCallbackParam) {
    HostSuites suites(nullptr);
    EXPECT_THROW(suites.acquire<FakeSuite>("Known", 3), HostSuiteError);
}

}  // namespace
}  // namespace zephrin
