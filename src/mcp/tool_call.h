// The "tools/call" request: the one tool, its arguments and its result.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "common/buf.h"
#include "mcp/method.h"
#include "mcp/session.h"

// Appends the success record of an accepted thought after the session took
// it: thoughtNumber, totalThoughts, nextThoughtNeeded, the registry's branch
// ids in order and the history length, as compact JSON.
void success_record(Buf& out, const Thought& t, const Session& s);

// Appends the error record of a rejected call:
// {"error":<message>,"status":"failed"}.
void error_record(Buf& out, std::string_view message);

// Appends the members of a tool result: the record as the JSON string of
// one text content item, verbatim as the structured content, and isError.
void tool_result(Buf& out, std::string_view record, bool is_error);

// Handles one call (the "tools/call" method's handler), appending exactly
// one answer line to out in the request's era. A missing or wrong tool
// name is the -32602 "unknown tool" error; bad arguments are an error result
// and leave the session untouched; an accepted thought goes through
// session_accept (console line on err, history, store).
void tool_call(Buf& out, const McpRequest& request, Session& s, FILE* err);
