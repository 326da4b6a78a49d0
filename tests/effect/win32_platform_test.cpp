// The Win32 stand-in the effect links on Linux: UTF-8 code page conversions with the Win32 size and
// flag rules, and popup menus answered from the scripted queue.
#include <gtest/gtest.h>

#include <string>

#include "host/win32/win32_control.h"

namespace zephrin::test {
namespace {

TEST(Win32CodePage, WideToUtf8FollowsTheWin32SizeRules) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    const char16_t* text = u"GPU 加速";
    const int needed = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(needed, 4 + 6 + 1);  // the terminator counts
    std::string out(static_cast<std::size_t>(needed), '\0');
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, out.data(), needed, nullptr, nullptr),
              needed);
    EXPECT_STREQ(out.c_str(), "GPU 加速");

    char small[4];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, small, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Win32CodePage, Utf8RefusesBestFitAndReportsBadSurrogates) {
    const char16_t* text = u"語";
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));

    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    // Without the flag the lone surrogate becomes U+FFFD (three bytes).
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, nullptr, 0, nullptr, nullptr), 1 + 3 + 1 + 1);

    const char16_t pair[] = {0xD83D, 0xDE00, 0};  // one character outside the basic plane
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, pair, 2, nullptr, 0, nullptr, nullptr), 4);
}

TEST(Win32Menus, ScriptedAnswersChooseOfferedItemsAndDismissTheRest) {
    win32::resetPlatform();
    HMENU menu = CreatePopupMenu();
    ASSERT_NE(menu, nullptr);
    AppendMenuW(menu, MF_STRING, 1, u"None");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, 2, u"Layer 1");
    EXPECT_TRUE(CheckMenuRadioItem(menu, 1, 2, 2, MF_BYCOMMAND));
    EXPECT_FALSE(CheckMenuRadioItem(menu, 1, 2, 9, MF_BYCOMMAND));

    win32::queuePopupChoice(2);
    win32::queuePopupChoice(5);  // not in the menu: dismissed, like a click outside it
    win32::queuePopupCancel();
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, 0, nullptr, nullptr), 2);
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, 0, nullptr, nullptr), 0)
        << "an empty queue dismisses";
    const std::vector<win32::TrackedMenu> tracked = win32::trackedMenus();
    ASSERT_EQ(tracked.size(), 4u);
    EXPECT_EQ(tracked[0].items.size(), 3u);
    EXPECT_TRUE(tracked[0].items[2].checked);
    EXPECT_EQ(tracked[0].result, 2u);

    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_FALSE(DestroyMenu(menu));
    EXPECT_EQ(win32::liveMenuCount(), 0u);
    win32::resetPlatform();
}

}  // namespace
}  // namespace zephrin::test
