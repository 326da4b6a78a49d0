#include "renderer/geometry/obj/obj_paths.h"

#include <cstdint>

#include "common/utf8.h"

namespace zephrin {

namespace {

// wchar_t is 32 bits on Linux and 16 bits on Windows; the wide form follows the platform.
void appendCodePoint(std::wstring& out, char32_t c) {
    if (c > kMaxCodePoint || isSurrogate(c)) c = kReplacementCharacter;
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(c));
}

// Decodes one UTF-16 code point at `i`, advancing past it.
char32_t nextUtf16(const A_UTF16Char* units, size_t count, size_t& i) {
    const char32_t first = units[i++];
    if (first >= 0xD800 && first <= 0xDBFF && i < count && units[i] >= 0xDC00 && units[i] <= 0xDFFF) {
        const char32_t second = units[i++];
        return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
    }
    return isSurrogate(first) ? kReplacementCharacter : first;
}

}  // namespace

std::wstring wideFromUtf16(const A_UTF16Char* units, size_t count) {
    std::wstring out;
    if (units == nullptr) return out;
    out.reserve(count);
    size_t i = 0;
    while (i < count) appendCodePoint(out, nextUtf16(units, count, i));
    return out;
}

std::wstring wideFromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, c = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, c = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, c = lead & 0x07, minimum = 0x10000;
        } else {
            appendCodePoint(out, kReplacementCharacter);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool valid = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
        }
        // Overlong forms would let two byte strings name the same character.
        if (!valid || c < minimum) {
            appendCodePoint(out, kReplacementCharacter);
            i = j > i + 1 ? j : i + 1;
            continue;
        }
        appendCodePoint(out, c);
        i = j;
    }
    return out;
}

std::string utf8FromWide(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if constexpr (sizeof(wchar_t) == 2) {
            appendUtf8(out, nextUtf16(reinterpret_cast<const A_UTF16Char*>(text.data()), text.size(), i));
        } else {
            appendUtf8(out, static_cast<char32_t>(static_cast<uint32_t>(text[i++])));
        }
    }
    return out;
}

std::filesystem::path filesystemPathFromWide(std::wstring_view path) {
    // Built from bytes so that no locale stands between the name and the file.
    return std::filesystem::path(utf8FromWide(path));
}

bool hasObjExtension(std::wstring_view path) {
    constexpr std::wstring_view kExtension = L".obj";
    if (path.size() < kExtension.size()) return false;
    const std::wstring_view tail = path.substr(path.size() - kExtension.size());
    for (size_t i = 0; i < kExtension.size(); ++i) {
        wchar_t c = tail[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != kExtension[i]) return false;
    }
    return true;
}

}  // namespace zephrin
