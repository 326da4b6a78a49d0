#include "common/entry_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/AE_Effect.h"

namespace zephrin {
namespace {

// A channel that keeps its lines in memory, switched on and off by the test.
std::vector<std::string> gLines;
bool gChannelOn = true;
bool gWriterThrows = false;
bool channelOn() { return gChannelOn; }
void keepLine(std::string_view text) {
    if (gWriterThrows) throw std::bad_alloc();
    gLines.emplace_back(text);
}
constexpr LogChannel kTestChannel{channelOn, keepLine};
constexpr EntryFaultCodes kCodes{A_Err_ALLOC, A_Err_GENERIC};

void resetChannel() {
    gLines.clear();
    gChannelOn = true;
    gWriterThrows = false;
}
struct ChannelState {
    ChannelState() { resetChannel(); }
    ~ChannelState() { resetChannel(); }
};

static_assert(noexcept(guardEntry("X", kTestChannel, kCodes, [] { return A_Err_NONE; })),
              "the guard is what keeps exceptions out of the host");

TEST(EntryGuard, EachFaultBecomesItsHostCodeAndOneLine) {
    ChannelState state;
    EXPECT_EQ(guardEntry("Entry", kTestChannel, kCodes,
                         []() -> A_Err { throw HostSuiteError{PF_Err_BAD_CALLBACK_PARAM}; }),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(guardEntry("Entry", kTestChannel, kCodes, []() -> A_Err { throw std::bad_alloc(); }), A_Err_ALLOC);
    EXPECT_EQ(guardEntry("Entry", kTestChannel, kCodes, []() -> A_Err { throw std::runtime_error("disk gone"); }),
              A_Err_GENERIC);
    EXPECT_EQ(guardEntry("Entry", kTestChannel, kCodes, []() -> A_Err { throw 42; }), A_Err_GENERIC);
    // Other plug-ins answer with their own codes.
    EXPECT_EQ(guardEntry("Entry", kTestChannel, EntryFaultCodes{PF_Err_OUT_OF_MEMORY, PF_Err_INTERNAL_STRUCT_DAMAGED},
                         []() -> A_Err { throw std::logic_error("bad state"); }),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(gLines, (std::vector<std::string>{
                          "Entry caught host suite error err=516", "Entry caught std::bad_alloc err=4",
                          "Entry caught disk gone err=1", "Entry caught unknown exception err=1",
                          "Entry caught bad state err=512"}));
}

TEST(EntryGuard, AResultPassesThroughUnlogged) {
    ChannelState state;
    EXPECT_EQ(guardEntry("Entry", kTestChannel, kCodes, [] { return A_Err_STRUCT; }), A_Err_STRUCT);
    EXPECT_EQ(guardEntry("Entry", kTestChannel, kCodes, [] { return A_Err_NONE; }), A_Err_NONE);
    EXPECT_TRUE(gLines.empty());
}

TEST(EntryGuard, ChannelOffLogsNothingAndStillAnswers) {
    ChannelState state;
    gChannelOn = false;
    EXPECT_EQ(guardEntry("Entry", kTestChannel, kCodes, []() -> A_Err { throw std::bad_alloc(); }), A_Err_ALLOC);
    EXPECT_TRUE(gLines.empty());
}

// Memory that ran out in the body has often not come back when the line is written: a log that throws
// must not turn the answer into the end of the host.
TEST(EntryGuard, ALogThatThrowsStillAnswersTheCode) {
    ChannelState state;
    gWriterThrows = true;
    EXPECT_EQ(guardEntry("Entry", kTestChannel, kCodes, []() -> A_Err { throw std::bad_alloc(); }), A_Err_ALLOC);
    EXPECT_EQ(guardEntry("Entry", kTestChannel, kCodes,
                         []() -> A_Err { throw HostSuiteError{PF_Err_BAD_CALLBACK_PARAM}; }),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(gLines.empty());
}

}  // namespace
}  // namespace zephrin
