#include "mcp/dispatch.h"

#include <string>

#include "common/buf.h"
#include "common/descriptors.h"
#include "common/json.h"
#include "mcp/answer.h"
#include "mcp/request_id.h"
#include "mcp/tool_call.h"

namespace {

constexpr std::string_view kNotificationPrefix = "notifications/";

std::string initialize_result() {
  Buf b;
  buf_add(b, R"({"protocolVersion":")");
  buf_add(b, VELTRANE_PROTOCOL_VERSION);
  buf_add(b, R"(","capabilities":{"tools":{}},"serverInfo":{"name":")");
  buf_add(b, VELTRANE_SLUG);
  buf_add(b, R"(","version":")");
  buf_add(b, VELTRANE_VERSION);
  buf_add(b, R"("}})");
  return std::string(b.view());
}

}  // namespace

std::string tools_list_result() {
  Buf b;
  buf_add(b, R"({"tools":[{)");
  buf_add(b, VELTRANE_TOOL_ENTRY_HEAD);
  json_escape_buf(b, VELTRANE_TOOL_DESC.data());  // a literal, so NUL-terminated
  buf_add(b, R"(,"inputSchema":)");
  buf_add(b, VELTRANE_TOOL_SCHEMA);
  buf_add(b, R"(,"outputSchema":)");
  buf_add(b, VELTRANE_TOOL_OUTPUT);
  buf_add(b, VELTRANE_TOOL_ANNOTATIONS);
  buf_add(b, "}]}");
  return std::string(b.view());
}

void handle_line(std::string_view line, Session& s, FILE* out, FILE* err) {
  // The request is the text before the first NUL byte; the id is looked for
  // in that same text, so it always stands inside the parsed request.
  line = line.substr(0, line.find('\0'));
  if (line.find('{') == std::string_view::npos) return;
  std::optional<JsonDoc> doc = json_parse(line);
  if (!doc) return;
  JsonVal root = doc->root();
  if (!json_is_object(root) || json_size(root) == 0) return;
  JsonVal method_val = json_member(root, "method");
  if (!json_is_string(method_val)) return;
  std::string_view method = json_str(method_val);
  if (method.substr(0, kNotificationPrefix.size()) == kNotificationPrefix) return;
  std::string id;
  if (!extract_request_id(line, id)) return;

  if (method == "initialize") {
    write_answer(out, result_line(id, initialize_result()));
  } else if (method == "tools/list") {
    write_answer(out, result_line(id, tools_list_result()));
  } else if (method == "tools/call") {
    tool_call(json_member(root, "params"), id, s, out, err);
  } else if (method == "ping") {
    write_answer(out, result_line(id, "{}"));
  } else {
    write_answer(out, error_line(id, -32601, "method not found"));
  }
}
