# Writes OUTPUT: a C++ source that holds the bytes of INPUT as SYMBOL.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE ${OUTPUT}
"// Generated from ${INPUT}; do not edit.\n#include <string_view>\n"
"namespace { constexpr char kBytes[] = {${bytes} '\\0'}; }\n"
"extern const std::string_view ${SYMBOL};\n"
"const std::string_view ${SYMBOL}(kBytes, ${size});\n")
