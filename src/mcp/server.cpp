#include "mcp/server.h"

#include <new>
#include <string>

#include "common/platform.h"
#include "mcp/dispatch.h"
#include "mcp/session.h"

int run_mcp(FILE* in, FILE* out, FILE* err) {
  Session session = session_start(err);
  std::string line;
  for (;;) {
    // A line too long for memory ends the server quietly, like the end of
    // input; everything else that runs out of memory ends the process.
    try {
      if (!platform_read_line(in, line)) break;
    } catch (const std::bad_alloc&) {
      break;
    }
    handle_line(line, session, out, err);
  }
  session_end(session);
  return 0;
}
