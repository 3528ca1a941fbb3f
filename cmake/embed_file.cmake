# Writes OUTPUT: a C++ header that holds the bytes of INPUT as SYMBOL, a
# std::array of char (no NUL is added).
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE ${OUTPUT}
"// Generated from ${INPUT}; do not edit.\n#pragma once\n#include <array>\n"
"inline constexpr std::array<char, ${size}> ${SYMBOL}{{${bytes}}};\n")
