#include "host/basic_suite.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/host_suites.h"
#include "host/suites/host_state.h"
#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin::host {
namespace {

// Every test here answers from its own state, active for the test's lifetime.
struct BasicSuiteTest : ::testing::Test {
    HostState state;
    const SPBasicSuite* basic = basicSuite();

    void SetUp() override {
        state.echoMessages = false;
        ASSERT_TRUE(activateHostState(state));
    }
    void TearDown() override { deactivateHostState(state); }
};

TEST_F(BasicSuiteTest, EveryOfferedSuiteIsAcquiredAndReleasedWithCounts) {
    int64_t n = 0;
    for (const OfferedSuite& offered : offeredSuites()) {
        const void* table = nullptr;
        ASSERT_EQ(basic->AcquireSuite(offered.name, offered.version, &table), kSPNoError)
            << offered.name << " " << offered.version;
        EXPECT_EQ(table, offered.table);
        ++n;
        EXPECT_EQ(state.accounting.suitesAcquired, n);
        EXPECT_EQ(basic->ReleaseSuite(offered.name, offered.version), kSPNoError);
        EXPECT_EQ(state.accounting.suitesReleased, n);
    }
    // The renderer's 14 (name, version) pairs, the effect's 10 and the 6 its custom controls draw with.
    EXPECT_EQ(n, 30);
}

TEST_F(BasicSuiteTest, UnknownNameOrVersionIsNotFoundAndNotCounted) {
    const void* table = reinterpret_cast<const void*>(0x1);
    EXPECT_EQ(basic->AcquireSuite(kAEGPCanvasSuite, 11, &table), kSPSuiteNotFoundError);
    EXPECT_EQ(table, nullptr);
    table = reinterpret_cast<const void*>(0x1);
    EXPECT_EQ(basic->AcquireSuite(kAEGPEffectSuite, 3, &table), kSPSuiteNotFoundError);
    EXPECT_EQ(table, nullptr);
    EXPECT_EQ(basic->AcquireSuite(nullptr, 1, &table), kSPSuiteNotFoundError);
    EXPECT_EQ(basic->AcquireSuite(kAEGPWorldSuite, 3, nullptr), kSPSuiteNotFoundError);
    EXPECT_EQ(basic->ReleaseSuite(kAEGPEffectSuite, 3), kSPSuiteNotFoundError);
    EXPECT_EQ(basic->ReleaseSuite(nullptr, 4), kSPSuiteNotFoundError);
    EXPECT_EQ(state.accounting.suitesAcquired, 0);
    EXPECT_EQ(state.accounting.suitesReleased, 0);
}

TEST_F(BasicSuiteTest, WithheldSuiteIsNotFoundInEveryVersionUntilRestored) {
    state.withheldSuites.insert(kAEGPCanvasSuite);
    const void* table = nullptr;
    EXPECT_EQ(basic->AcquireSuite(kAEGPCanvasSuite, 10, &table), kSPSuiteNotFoundError);
    EXPECT_EQ(basic->AcquireSuite(kAEGPCanvasSuite, 14, &table), kSPSuiteNotFoundError);
    EXPECT_EQ(table, nullptr);
    EXPECT_EQ(basic->AcquireSuite(kAEGPLayerSuite, 11, &table), kSPNoError);
    state.withheldSuites.clear();
    EXPECT_EQ(basic->AcquireSuite(kAEGPCanvasSuite, 10, &table), kSPNoError);
    EXPECT_EQ(state.accounting.suitesAcquired, 2);
}

TEST_F(BasicSuiteTest, ScopedPluginAccessReleasesWhatItAcquired) {
    {
        HostSuites suites(basic);
        suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
        suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);  // cached
        suites.acquire<AEGP_WorldSuite3>(kAEGPWorldSuite, kAEGPWorldSuiteVersion3);
    }
    EXPECT_EQ(state.accounting.suitesAcquired, 2);
    EXPECT_EQ(state.accounting.suitesReleased, 2);

    state.withheldSuites.insert(kAEGPCanvasSuite);
    HostSuites suites(basic);
    try {
        suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
        FAIL() << "a withheld suite was handed out";
    } catch (const HostSuiteError& error) {
        EXPECT_EQ(error.code, PF_Err_BAD_CALLBACK_PARAM);
    }
}

// A plug-in calls whatever slot its headers declare; a null one would crash it inside the host.
TEST(BasicSuite, NoOfferedSuiteHasAnEmptySlot) {
    using Slot = void (*)();
    for (const OfferedSuite& offered : offeredSuites()) {
        ASSERT_EQ(offered.size % sizeof(Slot), 0u) << offered.name;
        const auto* bytes = static_cast<const unsigned char*>(offered.table);
        for (size_t i = 0; i < offered.size / sizeof(Slot); ++i) {
            Slot slot = nullptr;
            std::memcpy(&slot, bytes + i * sizeof(Slot), sizeof(Slot));
            EXPECT_NE(slot, nullptr) << offered.name << " " << offered.version << ": slot " << i << " is empty";
        }
    }
}

TEST(BasicSuite, NoActiveHostAnswersNotFound) {
    ASSERT_EQ(activeHostState(), nullptr);
    const void* table = reinterpret_cast<const void*>(0x1);
    EXPECT_EQ(basicSuite()->AcquireSuite(kAEGPWorldSuite, 3, &table), kSPSuiteNotFoundError);
    EXPECT_EQ(table, nullptr);
}

TEST(BasicSuite, OnlyOneStateIsActiveAtATime) {
    HostState first, second;
    ASSERT_TRUE(activateHostState(first));
    EXPECT_TRUE(activateHostState(first));
    EXPECT_FALSE(activateHostState(second));
    deactivateHostState(second);  // not active: changes nothing
    EXPECT_EQ(activeHostState(), &first);
    deactivateHostState(first);
    EXPECT_EQ(activeHostState(), nullptr);
}

}  // namespace
}  // namespace zephrin::host
