// The MCP revisions on one process: the negotiation of "initialize" in the
// handshake era, the stateless era decided by each request's _meta, and the
// request id taken from the top level in both.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "mcp_helpers.h"

using namespace mcp_test;

namespace {

const std::string kMeta =
    R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28","io.modelcontextprotocol/clientInfo":{"name":"t","version":"1"},"io.modelcontextprotocol/clientCapabilities":{}})";
const std::string kServerMeta =
    R"("_meta":{"io.modelcontextprotocol/serverInfo":{"name":"veltrane","version":"1.0.1"}})";
const std::string kArgs = R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":3})";
const std::map<std::string, std::string> kQuiet = {{"DISABLE_THOUGHT_LOGGING", "tRUE"}};

// A request as the official clients write it: the id after the params.
std::string client_request(const std::string& id, const std::string& method, const std::string& params) {
  return R"({"method":")" + method + R"(","params":)" + params + R"(,"jsonrpc":"2.0","id":)" + id + "}\n";
}

std::string stateless(const std::string& id, const std::string& method, const std::string& members = "") {
  return client_request(id, method, "{" + members + (members.empty() ? "" : ",") + kMeta + "}");
}

std::string stateless_call(const std::string& id, const std::string& arguments) {
  return stateless(id, "tools/call", R"("name":"veltraneflowstream","arguments":)" + arguments);
}

std::string initialize_answer(const std::string& id, const std::string& revision) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{"protocolVersion":")" + revision +
         R"(","capabilities":{"tools":{}},"serverInfo":{"name":"veltrane","version":"1.0.1"}}})"
         "\n";
}

std::string stateless_tool_result(const std::string& id, const std::string& body, bool is_error) {
  return R"({"jsonrpc":"2.0","id":)" + id +
         R"(,"result":{"resultType":"complete","content":[{"type":"text","text":)" + quote(body) +
         R"(}],"structuredContent":)" + body + R"(,"isError":)" + (is_error ? "true" : "false") + "," +
         kServerMeta + "}}\n";
}

struct Case {
  std::string line;
  std::string want;  // empty: no answer
};

// Runs the cases in one server, a ping after each (always in the handshake
// era, so it is always answered), and compares each case's answer.
void run_cases(const Case* cases, size_t n, const std::map<std::string, std::string>& env = kQuiet) {
  std::string input;
  for (size_t i = 0; i < n; ++i) input += cases[i].line + request(marker_id(i), "ping");
  RunResult r = run_mcp(input, env);
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> answers = split_at_markers(r.out, n);
  ASSERT_GE(answers.size(), n) << "server stopped answering after: " << cases[answers.size()].line;
  for (size_t i = 0; i < n; ++i) EXPECT_EQ(answers[i], cases[i].want) << "line: " << cases[i].line;
  EXPECT_EQ(answers.size(), n) << "output after the last case: " << answers.back();
}

}  // namespace

TEST(McpEras, InitializeNegotiatesTheRevision) {
  const std::string params = R"("capabilities":{},"clientInfo":{"name":"c","version":"1"})";
  const Case cases[] = {
      {client_request("0", "initialize", R"({"protocolVersion":"2024-11-05",)" + params + "}"),
       initialize_answer("0", "2024-11-05")},
      {client_request("1", "initialize", R"({"protocolVersion":"2025-03-26",)" + params + "}"),
       initialize_answer("1", "2025-03-26")},
      {client_request("2", "initialize", R"({"protocolVersion":"2025-06-18",)" + params + "}"),
       initialize_answer("2", "2025-06-18")},
      {client_request("3", "initialize", R"({"protocolVersion":"2025-11-25",)" + params + "}"),
       initialize_answer("3", "2025-11-25")},
      // Any other string: the latest revision of this era, never the stateless one.
      {client_request("4", "initialize", R"({"protocolVersion":"2099-01-01"})"),
       initialize_answer("4", "2025-11-25")},
      {client_request("5", "initialize", R"({"protocolVersion":"2026-07-28"})"),
       initialize_answer("5", "2025-11-25")},
      {client_request("6", "initialize", R"({"protocolVersion":""})"), initialize_answer("6", "2025-11-25")},
      {client_request("7", "initialize", R"({"protocolVersion":"2025-11-25 "})"),
       initialize_answer("7", "2025-11-25")},
      // No string: what the server has always answered.
      {R"({"jsonrpc":"2.0","id":8,"method":"initialize"})"
       "\n",
       initialize_answer("8", "2024-11-05")},
      {client_request("9", "initialize", "{}"), initialize_answer("9", "2024-11-05")},
      {client_request("10", "initialize", R"({"protocolVersion":20251125})"),
       initialize_answer("10", "2024-11-05")},
      {client_request("11", "initialize", R"({"protocolVersion":null,"protocolVersion":"2025-06-18"})"),
       initialize_answer("11", "2024-11-05")},
      {client_request("12", "initialize", R"(["2025-06-18"])"), initialize_answer("12", "2024-11-05")},
  };
  run_cases(cases, std::size(cases));
}

TEST(McpEras, StatelessAnswersAndErrors) {
  const std::string discover =
      R"({"jsonrpc":"2.0","id":"server-discover-probe-1","result":{"resultType":"complete","supportedVersions":["2026-07-28"],"capabilities":{"tools":{}},"ttlMs":0,"cacheScope":"private",)" +
      kServerMeta + "}}\n";
  const std::string tools = R"({"jsonrpc":"2.0","id":0,"result":{"resultType":"complete","tools":[{)" +
                            expected::kToolEntry + R"(}],"ttlMs":0,"cacheScope":"private",)" + kServerMeta +
                            "}}\n";
  auto meta_with = [](const std::string& members) {
    return client_request("6", "tools/list", R"({"_meta":{)" + members + "}}");
  };
  const std::string kRevisionKey = R"("io.modelcontextprotocol/protocolVersion":)";
  const std::string kCaps = R"("io.modelcontextprotocol/clientCapabilities":{})";
  const std::string not_string = rpc_error(
      "6", -32602, "Invalid params: _meta io.modelcontextprotocol/protocolVersion must be a string");
  const std::string caps_required =
      rpc_error("6", -32602, "Invalid params: _meta io.modelcontextprotocol/clientCapabilities is required");
  auto unsupported = [](const std::string& requested) {
    return R"({"jsonrpc":"2.0","id":6,"error":{"code":-32022,"message":"Unsupported protocol version","data":{"supported":["2026-07-28"],"requested":)" +
           requested + "}}}\n";
  };
  const Case cases[] = {
      // The v2 client's probe, word for word.
      {R"({"jsonrpc":"2.0","id":"server-discover-probe-1","method":"server/discover","params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28","io.modelcontextprotocol/clientInfo":{"name":"t","version":"1"},"io.modelcontextprotocol/clientCapabilities":{}}}})"
       "\n",
       discover},
      {stateless("0", "tools/list"), tools},
      {stateless_call("1", kArgs), stateless_tool_result("1", record(1, 3, true, {}, 1), false)},
      {stateless_call("2", R"({"thought":""})"),
       stateless_tool_result("2", failure("Invalid thought: must be a string"), true)},
      {stateless("3", "tools/call", R"("name":"other","arguments":{})"),
       rpc_error("3", -32602, "unknown tool")},
      // Methods of the handshake era, and unknown ones, do not exist here.
      {stateless("4", "ping"), rpc_error("4", -32601, "method not found")},
      {stateless("5", "initialize", R"("protocolVersion":"2025-11-25")"),
       rpc_error("5", -32601, "method not found")},
      {stateless("5", "resources/list"), rpc_error("5", -32601, "method not found")},
      // The envelope: the claim's type, then the capabilities, then the revision.
      {meta_with(kRevisionKey + "5," + kCaps), not_string},
      {meta_with(kRevisionKey + "null," + kCaps), not_string},
      {meta_with(kRevisionKey + R"("2026-07-28")"), caps_required},
      {meta_with(kRevisionKey + R"("2099-01-01")"), caps_required},
      {meta_with(kRevisionKey + R"("2026-07-28","io.modelcontextprotocol/clientCapabilities":[])"),
       rpc_error("6", -32602,
                 "Invalid params: _meta io.modelcontextprotocol/clientCapabilities must be an object")},
      {meta_with(kRevisionKey + R"("2099-01-01",)" + kCaps), unsupported(R"("2099-01-01")")},
      {meta_with(kRevisionKey + R"("2025-11-25",)" + kCaps), unsupported(R"("2025-11-25")")},
      {meta_with(kRevisionKey + R"("a\"b\u00e9\n",)" + kCaps), unsupported("\"a\\\"b\xc3\xa9\\n\"")},
      // Notifications are never answered, whatever the era.
      {stateless("7", "notifications/cancelled", R"("requestId":1)"), ""},
      {R"({"jsonrpc":"2.0","method":"notifications/initialized","params":{)" + kMeta + "}}\n", ""},
      // Without the claim, the handshake era: discovery is unknown there,
      // and a _meta of another shape changes nothing.
      {client_request("8", "server/discover", "{}"), rpc_error("8", -32601, "method not found")},
      {client_request("9", "ping", R"({"_meta":{"progressToken":1}})"), pong("9")},
      {client_request("9", "ping", R"({"_meta":["io.modelcontextprotocol/protocolVersion"]})"), pong("9")},
  };
  run_cases(cases, std::size(cases));
}

TEST(McpEras, TheIdFromTheTopLevelInBothEras) {
  const std::string long_id = "\"" + std::string(300, 'k') + "\"";
  const std::string escaped_id = R"("a\"b\\c\u00e9")";
  const std::string with_id_key =
      R"({"id":7,"thought":"t","nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":3})";
  const std::string branch_named_id =
      R"({"thought":"\"id\":5","nextThoughtNeeded":true,"thoughtNumber":2,"totalThoughts":3,"branchFromThought":1,"branchId":"id"})";
  auto handshake_call = [](const std::string& id, const std::string& arguments) {
    return client_request(id, "tools/call", R"({"name":"veltraneflowstream","arguments":)" + arguments + "}");
  };
  const Case cases[] = {
      {handshake_call("1", with_id_key), tool_result("1", record(1, 3, true, {}, 1), false)},
      {handshake_call("2", branch_named_id), tool_result("2", record(2, 3, true, {"id"}, 2), false)},
      {handshake_call(escaped_id, kArgs), tool_result(escaped_id, record(1, 3, true, {"id"}, 3), false)},
      {handshake_call(long_id, kArgs), tool_result(long_id, record(1, 3, true, {"id"}, 4), false)},
      {stateless_call("5", with_id_key), stateless_tool_result("5", record(1, 3, true, {"id"}, 5), false)},
      {stateless_call("6", branch_named_id),
       stateless_tool_result("6", record(2, 3, true, {"id"}, 6), false)},
      {stateless_call(escaped_id, kArgs),
       stateless_tool_result(escaped_id, record(1, 3, true, {"id"}, 7), false)},
      {stateless_call(long_id, kArgs), stateless_tool_result(long_id, record(1, 3, true, {"id"}, 8), false)},
  };
  // One session across both eras: the history counts every accepted call.
  run_cases(cases, std::size(cases));
}
