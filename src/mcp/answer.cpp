#include "mcp/answer.h"

#include "common/buf.h"

void write_answer(FILE* out, std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

std::string result_line(std::string_view id, std::string_view result) {
  Buf b;
  buf_str(b, "{\"jsonrpc\":\"2.0\",\"id\":");
  buf_add(b, id);
  buf_str(b, ",\"result\":");
  buf_add(b, result);
  buf_str(b, "}\n");
  return std::string(b.view());
}

std::string error_line(std::string_view id, int code, const char* message) {
  Buf b;
  buf_str(b, "{\"jsonrpc\":\"2.0\",\"id\":");
  buf_add(b, id);
  buf_addf(b, ",\"error\":{\"code\":%d,\"message\":\"%s\"}}\n", code, message);
  return std::string(b.view());
}
