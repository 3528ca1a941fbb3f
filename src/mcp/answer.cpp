#include "mcp/answer.h"

#include "common/descriptors.h"

void answer_error(Buf& out, std::string_view id, int code, std::string_view message, std::string_view data) {
  buf_add(out, R"({"jsonrpc":"2.0","id":)");
  buf_add(out, id);
  buf_addf(out, R"(,"error":{"code":%d,"message":")", code);
  buf_add(out, message);
  buf_add(out, "\"");
  if (!data.empty()) {
    buf_add(out, R"(,"data":)");
    buf_add(out, data);
  }
  buf_add(out, "}}\n");
}

void answer_result_open(Buf& out, std::string_view id, Era era) {
  buf_add(out, R"({"jsonrpc":"2.0","id":)");
  buf_add(out, id);
  buf_add(out, era == Era::stateless ? R"(,"result":{"resultType":"complete",)" : R"(,"result":{)");
}

void answer_result_close(Buf& out, Era era, bool cacheable) {
  if (era == Era::stateless) {
    // Cached by nobody: stale at once, and never shared between clients.
    if (cacheable) buf_add(out, R"(,"ttlMs":0,"cacheScope":"private")");
    buf_add(out, R"(,"_meta":{"io.modelcontextprotocol/serverInfo":)");
    server_info(out);
    buf_add(out, "}");
  }
  buf_add(out, "}}\n");
}

void server_info(Buf& out) {
  buf_add(out, R"({"name":")");
  buf_add(out, VELTRANE_SLUG);
  buf_add(out, R"(","version":")");
  buf_add(out, VELTRANE_VERSION);
  buf_add(out, R"("})");
}

void answer_write(FILE* out, const Buf& answer) {
  std::fwrite(answer.bytes, 1, answer.length, out);
  std::fflush(out);
}
