// The one rule every text of the program follows, whether it comes from a
// request, a tool argument or the chains file: it ends at its first NUL
// byte (a "\u0000" in JSON text included).
#pragma once

#include <string_view>

// The bytes of s before its first NUL byte; all of s when it holds none.
constexpr std::string_view up_to_nul(std::string_view s) { return s.substr(0, s.find('\0')); }
