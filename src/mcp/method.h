// What the handler of one MCP method is given, and its one type.
#pragma once

#include <cstdio>
#include <string_view>

#include "common/buf.h"
#include "common/json.h"
#include "mcp/revision.h"
#include "mcp/session.h"

// A request that is to be answered, on its way to its method's handler.
struct McpRequest {
  std::string_view id;  // the id text, echoed verbatim (request_id_text)
  JsonVal params;       // absent when the request has none
  Era era;              // whose rules shape the answer
};

// Appends exactly one whole answer line (a result or an error) to out. The
// session is the run's; console lines go to err.
using MethodHandler = void (*)(Buf& out, const McpRequest& request, Session& s, FILE* err);
