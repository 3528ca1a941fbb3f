// Which texts are strict JSON, decided the straightforward way, for
// comparison with the program's readers (json_parse, json_stream,
// json_compact): the JSON library's own document parse with its own
// checks of the encoding, and the few rules it lacks checked on the raw
// text. Shared by the unit tests and the store's fuzz target.
#pragma once

#include <string_view>

// True when the bytes are one strict JSON value: no NUL byte anywhere, no
// byte of a byte-order mark first, valid UTF-8 strings and no lone surrogate
// escape.
bool reference_json_valid(std::string_view text);
