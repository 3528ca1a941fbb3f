// One request line: whether it is answered, and how.
#pragma once

#include <cstdio>
#include <string_view>

#include "mcp/session.h"

// Handles one raw input line (its LF or CR LF included). Bytes from the
// first NUL on are ignored. The line is dropped without an answer when it
// holds no '{', is not strict JSON, is not an object with at least one
// member, has no string "method" (the first such member counts), is a
// notification ("notifications/..."), or has no usable id. Otherwise exactly
// one answer line is written on out and flushed: "initialize", "tools/list",
// "ping", "tools/call", or the -32601 "method not found" error.
void handle_line(std::string_view line, Session& s, FILE* out, FILE* err);

// The "result" value of "tools/list": the one tool entry with its
// description, both schemas and its annotations.
std::string tools_list_result();
