#include "web/answer.h"

#include "common/buf.h"

namespace {

constexpr std::string_view kJsonHeaders =
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: no-referrer\r\n"
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

void api_refuse(FILE* out, std::string_view status, std::string_view allow, const char* message) {
  Buf body;
  api_err(body, message);
  Buf all;
  buf_str(all, "Status: ");
  buf_add(all, status);
  buf_str(all, "\r\n");
  if (!allow.empty()) {
    buf_str(all, "Allow: ");
    buf_add(all, allow);
    buf_str(all, "\r\n");
  }
  buf_add(all, kJsonHeaders);
  buf_add(all, body.bytes, body.length);
  buf_add(all, "\n", 1);
  std::fwrite(all.bytes, 1, all.length, out);
}
