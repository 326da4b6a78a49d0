# Writes a SPIR-V binary (SPV) as a C++ array of 32-bit words (SYMBOL in CPP), little-endian as
# glslc writes it on every host we build on.
file(READ ${SPV} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR remainder "${hex_length} % 8")
if(hex_length EQUAL 0 OR NOT remainder EQUAL 0)
  message(FATAL_ERROR "${SPV} is not a whole number of SPIR-V words")
endif()
math(EXPR word_count "${hex_length} / 8")
set(body "")
set(column 0)
math(EXPR last "${word_count} - 1")
foreach(i RANGE 0 ${last})
  math(EXPR at "${i} * 8")
  string(SUBSTRING "${hex}" ${at} 8 le)
  # Bytes arrive in file order; the word is their little-endian reading.
  string(SUBSTRING "${le}" 0 2 b0)
  string(SUBSTRING "${le}" 2 2 b1)
  string(SUBSTRING "${le}" 4 2 b2)
  string(SUBSTRING "${le}" 6 2 b3)
  string(APPEND body "0x${b3}${b2}${b1}${b0}u,")
  math(EXPR column "${column} + 1")
  if(column EQUAL 8)
    string(APPEND body "\n")
    set(column 0)
  endif()
endforeach()
file(WRITE ${CPP} "// Generated from ${SPV} by cmake/spirv_to_cpp.cmake.
#include <cstddef>
#include <cstdint>

namespace zephrin {
namespace embedded {
extern const uint32_t ${SYMBOL}[];
extern const size_t ${SYMBOL}_words;
const uint32_t ${SYMBOL}[] = {
${body}
};
const size_t ${SYMBOL}_words = ${word_count};
}  // namespace embedded
}  // namespace zephrin
")
