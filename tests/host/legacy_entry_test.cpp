// The host registers an effect library that only has the older plug-in data entry.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "host/effect_plugin.h"
#include "host/host_session.h"

namespace zephrin::host {
namespace {

TEST(EffectDiscovery, FallsBackToTheOlderPluginDataEntry) {
    void* library = ::dlopen(ZEPHRIN_LEGACY_EFFECT, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    std::string failure;
    EffectPlugin plugin = discoverEffect(library, ZEPHRIN_LEGACY_EFFECT, failure);
    EXPECT_EQ(failure, "");
    EXPECT_FALSE(plugin.registeredThroughEntry2);
    EXPECT_EQ(plugin.name, "Legacy");
    EXPECT_EQ(plugin.matchName, "com.example.Legacy");
    EXPECT_EQ(plugin.category, "Tests");
    EXPECT_EQ(plugin.entryPointName, "LegacyEffectMain");
    EXPECT_NE(plugin.main, nullptr);
    ::dlclose(library);
}

TEST(EffectDiscovery, LibraryWithoutEitherEntryIsRefused) {
    void* library = ::dlopen(nullptr, RTLD_NOW);
    std::string failure;
    discoverEffect(library, "self", failure);
    EXPECT_EQ(failure, "no PluginDataEntryFunction2 or PluginDataEntryFunction");
}

}  // namespace
}  // namespace zephrin::host
