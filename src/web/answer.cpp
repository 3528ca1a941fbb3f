#include "web/answer.h"

#include <string_view>

#include "common/buf.h"

namespace {

constexpr std::string_view kJsonHeaders =
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "\r\n";

}  // namespace

void api_err(Buf& body, const char* message) {
  body = Buf();
  buf_str(body, "{\"ok\":false,\"error\":");
  json_escape_buf(body, message);
  buf_str(body, "}");
}

void api_answer(FILE* out, const Buf& body) {
  // Composed first and written once, so that a failure while composing
  // (out of memory) leaves nothing half written.
  Buf all;
  buf_add(all, kJsonHeaders);
  buf_add(all, body.bytes, body.length);
  buf_add(all, "\n", 1);
  std::fwrite(all.bytes, 1, all.length, out);
}
