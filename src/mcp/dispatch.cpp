#include "mcp/dispatch.h"

#include <span>

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

void initialize(Buf& out, const McpRequest& r, Session& /*s*/, FILE* /*err*/) {
  answer_result_open(out, r.id, r.era);
  initialize_members(out, r.params);
  answer_result_close(out, r.era);
}

void ping(Buf& out, const McpRequest& r, Session& /*s*/, FILE* /*err*/) {
  answer_result_open(out, r.id, r.era);
  answer_result_close(out, r.era);
}

void discover(Buf& out, const McpRequest& r, Session& /*s*/, FILE* /*err*/) {
  answer_result_open(out, r.id, r.era);
  discover_members(out);
  answer_result_close(out, r.era, true);
}

void tools_list(Buf& out, const McpRequest& r, Session& /*s*/, FILE* /*err*/) {
  answer_result_open(out, r.id, r.era);
  tools_list_members(out);
  answer_result_close(out, r.era, true);
}

struct Method {
  std::string_view name;
  MethodHandler handler;
};

// The methods of each era; a handler listed in both answers in the
// request's era.
constexpr Method kHandshakeMethods[] = {
    {"initialize", initialize},
    {"ping", ping},
    {"tools/list", tools_list},
    {"tools/call", tool_call},
};
constexpr Method kStatelessMethods[] = {
    {"server/discover", discover},
    {"tools/list", tools_list},
    {"tools/call", tool_call},
};

MethodHandler find_method(Era era, std::string_view name) {
  std::span<const Method> methods = kHandshakeMethods;
  if (era == Era::stateless) methods = kStatelessMethods;
  for (const Method& m : methods) {
    if (m.name == name) return m.handler;
  }
  return nullptr;
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
  const McpRequest request{id, params, request_era(params)};
  Buf answer;
  // A stateless request's envelope is checked before its method is looked
  // up: a refused envelope is the answer whatever the method.
  if (request.era == Era::handshake || !refuse_stateless_envelope(answer, id, params)) {
    if (MethodHandler handler = find_method(request.era, method)) {
      handler(answer, request, s, err);
    } else {
      answer_error(answer, id, -32601, "method not found");
    }
  }
  answer_write(out, answer);
}
