#include "mcp/tool_call.h"

#include "common/buf.h"
#include "common/descriptors.h"
#include "mcp/answer.h"
#include "mcp/tool_args.h"

std::string success_record(const Thought& t, const Session& s) {
  Buf b;
  buf_addf(b, "{\"thoughtNumber\":%lld,\"totalThoughts\":%lld,\"nextThoughtNeeded\":%s,\"branches\":[",
           static_cast<long long>(t.thoughtNumber), static_cast<long long>(t.totalThoughts),
           t.nextThoughtNeeded ? "true" : "false");
  for (size_t i = 0; i < s.branches.size(); ++i) {
    if (i) buf_str(b, ",");
    json_escape_buf(b, s.branches[i].id.c_str());
  }
  buf_addf(b, "],\"thoughtHistoryLength\":%zu}", s.history.size());
  return std::string(b.view());
}

std::string error_record(const std::string& message) {
  Buf b;
  buf_str(b, "{\"error\":");
  json_escape_buf(b, message.c_str());
  buf_str(b, ",\"status\":\"failed\"}");
  return std::string(b.view());
}

std::string tool_result_line(std::string_view id, const std::string& record, bool is_error) {
  Buf b;
  buf_str(b, "{\"jsonrpc\":\"2.0\",\"id\":");
  buf_add(b, id);
  buf_str(b, ",\"result\":{\"content\":[{\"type\":\"text\",\"text\":");
  json_escape_buf(b, record.c_str());
  buf_str(b, "}],\"structuredContent\":");
  buf_add(b, record);
  buf_str(b, is_error ? ",\"isError\":true}}\n" : ",\"isError\":false}}\n");
  return std::string(b.view());
}

void tool_call(JsonVal params, std::string_view id, Session& s, FILE* out, FILE* err) {
  JsonVal name = json_member(params, "name");
  if (json_size(params) == 0 || !json_is_string(name) || json_str(name) != VELTRANE_TOOL_NAME) {
    write_answer(out, error_line(id, -32602, "unknown tool"));
    return;
  }
  Thought t;
  std::string message;
  if (!read_thought(json_member(params, "arguments"), t, message)) {
    write_answer(out, tool_result_line(id, error_record(message), true));
    return;
  }
  session_accept(s, std::move(t), err);
  write_answer(out, tool_result_line(id, success_record(s.history.back(), s), false));
}
