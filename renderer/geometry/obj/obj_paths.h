// OBJ file paths are wide strings inside the renderer, as the host hands them over; the file system
// underneath speaks UTF-8 bytes. These convert at that boundary and recognise a model file by its
// extension.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "sdk/A.h"

namespace zephrin {

// UTF-16 code units (host text) to a wide string; unpaired surrogates become U+FFFD.
std::wstring wideFromUtf16(const A_UTF16Char* units, size_t count);

// UTF-8 bytes to a wide string; malformed sequences become U+FFFD.
std::wstring wideFromUtf8(std::string_view text);

// A wide string to UTF-8; code points outside Unicode become U+FFFD.
std::string utf8FromWide(std::wstring_view text);

// The file-system path of a wide OBJ path.
std::filesystem::path filesystemPathFromWide(std::wstring_view path);

// True when the path ends in ".obj", ASCII letters compared without regard to case.
bool hasObjExtension(std::wstring_view path);

}  // namespace zephrin
