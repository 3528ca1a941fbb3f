#include "mcp/dispatch.h"

#include "common/descriptors.h"
#include "common/json.h"
#include "common/text.h"
#include "mcp/answer.h"
#include "mcp/request_id.h"
#include "mcp/revision.h"
#include "mcp/tool_call.h"

namespace {

constexpr std::string_view kNotificationPrefix = "notifications/";
constexpr std::string_view kCapabilities = R"("capabilities":{"tools":{}})";

void initialize_members(Buf& out, JsonVal params) {
  buf_add(out, R"("protocolVersion":")");
  buf_add(out, initialize_revision(params));
  buf_add(out, "\",");
  buf_add(out, kCapabilities);
  buf_add(out, R"(,"serverInfo":)");
  server_info(out);
}

void discover_members(Buf& out) {
  buf_add(out, R"("supportedVersions":[")");
  buf_add(out, STATELESS_REVISION);
  buf_add(out, "\"],");
  buf_add(out, kCapabilities);
}

void answer_handshake(Buf& out, std::string_view method, std::string_view id, JsonVal params, Session& s,
                      FILE* err) {
  if (method == "tools/call") {
    tool_call(out, params, id, Era::handshake, s, err);
    return;
  }
  bool known = method == "initialize" || method == "tools/list" || method == "ping";
  if (!known) {
    answer_error(out, id, -32601, "method not found");
    return;
  }
  answer_result_open(out, id, Era::handshake);
  if (method == "initialize") initialize_members(out, params);
  if (method == "tools/list") tools_list_members(out);
  answer_result_close(out, Era::handshake);
}

void answer_stateless(Buf& out, std::string_view method, std::string_view id, JsonVal params, Session& s,
                      FILE* err) {
  if (refuse_stateless_envelope(out, id, params)) return;
  if (method == "tools/call") {
    tool_call(out, params, id, Era::stateless, s, err);
    return;
  }
  bool known = method == "server/discover" || method == "tools/list";
  if (!known) {
    answer_error(out, id, -32601, "method not found");
    return;
  }
  answer_result_open(out, id, Era::stateless);
  if (method == "server/discover") discover_members(out);
  if (method == "tools/list") tools_list_members(out);
  answer_result_close(out, Era::stateless, true);
}

}  // namespace

void tools_list_members(Buf& out) {
  buf_add(out, R"("tools":[{)");
  buf_add(out, VELTRANE_TOOL_ENTRY_HEAD);
  json_escape_buf(out, VELTRANE_TOOL_DESC);
  buf_add(out, R"(,"inputSchema":)");
  buf_add(out, VELTRANE_TOOL_SCHEMA);
  buf_add(out, R"(,"outputSchema":)");
  buf_add(out, VELTRANE_TOOL_OUTPUT);
  buf_add(out, VELTRANE_TOOL_ANNOTATIONS);
  buf_add(out, "}]");
}

void handle_line(std::string_view line, Session& s, FILE* out, FILE* err) {
  // The request is the text before the first NUL byte.
  line = up_to_nul(line);
  if (line.find('{') == std::string_view::npos) return;
  std::optional<JsonDoc> doc = json_parse(line);
  if (!doc) return;
  JsonVal root = doc->root();
  if (!json_is_object(root) || json_size(root) == 0) return;
  JsonVal method_val = json_member(root, "method");
  if (!json_is_string(method_val)) return;
  std::string_view method = json_str(method_val);
  if (method.substr(0, kNotificationPrefix.size()) == kNotificationPrefix) return;
  std::string_view id;
  if (!request_id_text(line, root, id)) return;

  JsonVal params = json_member(root, "params");
  Buf answer;
  if (request_era(params) == Era::stateless) {
    answer_stateless(answer, method, id, params, s, err);
  } else {
    answer_handshake(answer, method, id, params, s, err);
  }
  answer_write(out, answer);
}
