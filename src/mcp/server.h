// The MCP server: newline-delimited JSON-RPC 2.0 on a pair of streams.
#pragma once

#include <cstdio>

// Serves requests from `in` until it ends, one answer line per answered
// request on `out` (flushed at once); console lines and warnings go to
// `err`. Returns 0.
int run_mcp(FILE* in, FILE* out, FILE* err);
