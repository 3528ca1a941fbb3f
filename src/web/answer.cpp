#include "web/answer.h"

#include "common/buf.h"

void json_headers(FILE* out) { std::fwrite(JSON_HEADERS.data(), 1, JSON_HEADERS.size(), out); }

void api_err(FILE* out, const char* message) {
  Buf body;
  buf_str(body, "{\"ok\":false,\"error\":");
  json_escape_buf(body, message);
  buf_str(body, "}");
  api_answer(out, body);
}

void api_answer(FILE* out, const Buf& body) {
  // Composed first and written once, so that a failure while composing
  // (out of memory) leaves nothing half written.
  Buf all;
  buf_add(all, JSON_HEADERS);
  buf_add(all, body.bytes, body.length);
  buf_add(all, "\n", 1);
  std::fwrite(all.bytes, 1, all.length, out);
}
