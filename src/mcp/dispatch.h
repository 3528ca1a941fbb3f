// One request line: whether it is answered, and how.
#pragma once

#include <cstdio>
#include <string_view>

#include "common/buf.h"
#include "mcp/session.h"

// Handles one raw input line (its LF or CR LF included). Bytes from the
// first NUL on are ignored. The line is dropped without an answer when it
// holds no '{', is not strict JSON, is not an object with at least one
// member, has no string "method" (the first such member counts), is a
// notification ("notifications/..."), or has no usable id (request_id_text).
// Otherwise exactly one answer line is written on out and flushed, in the
// request's era (request_era):
//   - handshake era: "initialize" (with the negotiated revision),
//     "tools/list", "ping", "tools/call", else -32601 "method not found";
//   - stateless era: the envelope's refusal, else "server/discover",
//     "tools/list", "tools/call", else -32601 ("ping" and "initialize"
//     included).
void handle_line(std::string_view line, Session& s, FILE* out, FILE* err);

// Appends the members of the "tools/list" result: the one tool entry with
// its description, both schemas and its annotations.
void tools_list_members(Buf& out);
