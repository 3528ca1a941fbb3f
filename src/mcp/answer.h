// JSON-RPC answer lines. Each answer is composed into one buffer by these
// appenders and written in one piece, then flushed.
#pragma once

#include <cstdio>
#include <string_view>

#include "common/buf.h"
#include "mcp/revision.h"

// {"jsonrpc":"2.0","id":<id>,"error":{"code":<code>,"message":"<message>"}}
// and a LF; with data, a "data" member holding that JSON text follows the
// message. The id text and data are spliced in verbatim; the message is a
// fixed text that needs no escaping.
void answer_error(Buf& out, std::string_view id, int code, std::string_view message,
                  std::string_view data = {});

// A result answer is composed in three steps: answer_result_open, the
// result's members (without the braces around them), answer_result_close.
// In the stateless era a result starts with "resultType":"complete" and
// ends with the server's identity in "_meta"; a cacheable result (the
// discovery and the tool list) carries the cache hints before it. Every
// stateless result has at least one member of its own.
void answer_result_open(Buf& out, std::string_view id, Era era);
void answer_result_close(Buf& out, Era era, bool cacheable = false);

// The server's identity, {"name":"veltrane","version":...}.
void server_info(Buf& out);

// Writes the answer and flushes the stream.
void answer_write(FILE* out, const Buf& answer);
