#include "mcp/revision.h"

#include <iterator>

#include "mcp/answer.h"

namespace {

constexpr std::string_view kRevisionKey = "io.modelcontextprotocol/protocolVersion";
constexpr std::string_view kCapabilitiesKey = "io.modelcontextprotocol/clientCapabilities";

}  // namespace

std::string_view initialize_revision(JsonVal params) {
  JsonVal asked = json_member(params, "protocolVersion");
  if (!json_is_string(asked)) return HANDSHAKE_REVISIONS[0];
  for (std::string_view known : HANDSHAKE_REVISIONS) {
    if (json_str(asked) == known) return known;
  }
  return HANDSHAKE_REVISIONS[std::size(HANDSHAKE_REVISIONS) - 1];
}

Era request_era(JsonVal params) {
  JsonVal meta = json_member(params, "_meta");
  return json_is_object(meta) && json_member(meta, kRevisionKey) ? Era::stateless : Era::handshake;
}

bool refuse_stateless_envelope(Buf& out, std::string_view id, JsonVal params) {
  JsonVal meta = json_member(params, "_meta");
  JsonVal revision = json_member(meta, kRevisionKey);
  JsonVal capabilities = json_member(meta, kCapabilitiesKey);
  if (!json_is_string(revision)) {
    answer_error(out, id, -32602,
                 "Invalid params: _meta io.modelcontextprotocol/protocolVersion must be a string");
    return true;
  }
  if (!capabilities) {
    answer_error(out, id, -32602,
                 "Invalid params: _meta io.modelcontextprotocol/clientCapabilities is required");
    return true;
  }
  if (!json_is_object(capabilities)) {
    answer_error(out, id, -32602,
                 "Invalid params: _meta io.modelcontextprotocol/clientCapabilities must be an object");
    return true;
  }
  if (json_str(revision) == STATELESS_REVISION) return false;
  Buf data;
  buf_add(data, R"({"supported":[")");
  buf_add(data, STATELESS_REVISION);
  buf_add(data, R"("],"requested":)");
  json_escape_buf(data, json_str(revision));
  buf_add(data, "}");
  answer_error(out, id, -32022, "Unsupported protocol version", data.view());
  return true;
}
