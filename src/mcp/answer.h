// JSON-RPC answer lines, each written in one piece and flushed at once.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Writes the line and flushes the stream.
void write_answer(FILE* out, std::string_view line);

// {"jsonrpc":"2.0","id":<id>,"result":<result>} and a LF; the id text and
// the result are spliced in verbatim.
std::string result_line(std::string_view id, std::string_view result);

// {"jsonrpc":"2.0","id":<id>,"error":{"code":<code>,"message":"<message>"}}
// and a LF. The message is a fixed text that needs no escaping.
std::string error_line(std::string_view id, int code, const char* message);
