#include "web/cgi.h"

#include "common/buf.h"

int run_web(FILE* in, FILE* out) {
  (void)in;
  std::fputs("Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
             "X-Content-Type-Options: nosniff\r\n\r\n{\"ok\":false,\"error\":",
             out);
  json_escape(out, "unknown action");
  std::fputs("}\n", out);
  return 0;
}
