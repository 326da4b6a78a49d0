// Code page services of the Win32 stand-in. The system code page here is UTF-8 (65001), as on a Windows
// system with the "Use Unicode UTF-8 for worldwide language support" option; the conversion follows the
// Win32 contract for that code page (sizes in code units, -1 for NUL-terminated input that counts the
// terminator, 0 output size asks for the size, flags that UTF-8 refuses fail with ERROR_INVALID_FLAGS).
#include <string>

#include "common/utf8.h"
#include "host/win32/win32_state.h"

namespace zephrin::win32 {
namespace {

bool isUtf8CodePage(UINT codePage) { return codePage == CP_UTF8 || codePage == CP_ACP; }

// Copies a converted text into the caller's buffer with the Win32 size rules; returns the byte count.
int deliver(const std::string& converted, LPSTR buffer, int capacity) {
    const int needed = static_cast<int>(converted.size());
    if (capacity == 0) return needed;
    if (buffer == nullptr || capacity < needed) {
        setLastError(capacity < needed ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
        return 0;
    }
    converted.copy(buffer, converted.size());
    return needed;
}

}  // namespace
}  // namespace zephrin::win32

using zephrin::win32::setLastError;

extern "C" {

UINT GetACP(void) { return CP_UTF8; }

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    using namespace zephrin::win32;
    // UTF-8 never substitutes a default character, so asking for one is a caller error.
    if (!isUtf8CodePage(CodePage) || lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 ||
        cbMultiByte < 0 || lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
        setLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const std::size_t size = cchWideChar == -1 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1
                                               : static_cast<std::size_t>(cchWideChar);
    std::string converted;
    for (std::size_t i = 0; i < size; ++i) {
        char32_t c = lpWideCharStr[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < size && lpWideCharStr[i + 1] >= 0xDC00 &&
            lpWideCharStr[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(lpWideCharStr[i + 1]) - 0xDC00);
            ++i;
        } else if (zephrin::isSurrogate(c)) {
            if ((dwFlags & WC_ERR_INVALID_CHARS) != 0) {
                setLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            c = zephrin::kReplacementCharacter;
        }
        zephrin::appendUtf8(converted, c);
    }
    return deliver(converted, lpMultiByteStr, cbMultiByte);
}

}  // extern "C"
