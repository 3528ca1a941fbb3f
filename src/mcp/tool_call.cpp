#include "mcp/tool_call.h"

#include "common/descriptors.h"
#include "mcp/answer.h"
#include "mcp/tool_args.h"

void success_record(Buf& out, const Thought& t, const Session& s) {
  buf_addf(out, R"({"thoughtNumber":%lld,"totalThoughts":%lld,"nextThoughtNeeded":%s,"branches":[)",
           static_cast<long long>(t.thoughtNumber), static_cast<long long>(t.totalThoughts),
           t.nextThoughtNeeded ? "true" : "false");
  for (size_t i = 0; i < s.branches.size(); ++i) {
    if (i) buf_add(out, ",");
    json_escape_buf(out, s.branches[i].id);
  }
  buf_addf(out, R"(],"thoughtHistoryLength":%zu})", s.history.size());
}

void error_record(Buf& out, std::string_view message) {
  buf_add(out, R"({"error":)");
  json_escape_buf(out, message);
  buf_add(out, R"(,"status":"failed"})");
}

void tool_result(Buf& out, std::string_view record, bool is_error) {
  buf_add(out, R"("content":[{"type":"text","text":)");
  json_escape_buf(out, record);
  buf_add(out, R"(}],"structuredContent":)");
  buf_add(out, record);
  buf_add(out, is_error ? R"(,"isError":true)" : R"(,"isError":false)");
}

void tool_call(Buf& out, const McpRequest& request, Session& s, FILE* err) {
  JsonVal params = request.params;
  JsonVal name = json_member(params, "name");
  if (json_size(params) == 0 || !json_is_string(name) || json_str(name) != VELTRANE_TOOL_NAME) {
    answer_error(out, request.id, -32602, "unknown tool");
    return;
  }
  Thought t;
  std::string message;
  Buf record;
  bool accepted = read_thought(json_member(params, "arguments"), t, message);
  if (accepted) {
    session_accept(s, std::move(t), err);
    success_record(record, s.history.back(), s);
  } else {
    error_record(record, message);
  }
  answer_result_open(out, request.id, request.era);
  tool_result(out, record.view(), !accepted);
  answer_result_close(out, request.era);
}
