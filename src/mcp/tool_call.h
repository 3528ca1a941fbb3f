// The "tools/call" request: the one tool, its arguments and its result.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "common/json.h"
#include "mcp/session.h"

// The success record of an accepted thought after the session took it:
// thoughtNumber, totalThoughts, nextThoughtNeeded, the registry's branch ids
// in order and the history length, as compact JSON.
std::string success_record(const Thought& t, const Session& s);

// The error record of a rejected call: {"error":<message>,"status":"failed"}.
std::string error_record(const std::string& message);

// The whole answer line of a tool result (LF included): the record as JSON
// string text content and verbatim as structured content.
std::string tool_result_line(std::string_view id, const std::string& record, bool is_error);

// Handles one call with its params (possibly absent) and the request's id
// text: writes exactly one answer line on out and flushes it. A missing or
// wrong tool name is the -32602 "unknown tool" error; bad arguments are an
// error result and leave the session untouched; an accepted thought goes
// through session_accept (console line on err, history, store).
void tool_call(JsonVal params, std::string_view id, Session& s, FILE* out, FILE* err);
