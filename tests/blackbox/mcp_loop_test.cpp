// The request loop of the MCP mode: which lines are answered, with which id,
// and that the server goes on after anything it drops.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "mcp_helpers.h"

using namespace mcp_test;

namespace {

std::string initialize_answer(const std::string& id) {
  return R"({"jsonrpc":"2.0","id":)" + id +
         R"(,"result":{"protocolVersion":"2024-11-05","capabilities":{"tools":{}},"serverInfo":{"name":"veltrane","version":"1.0.1"}}})"
         "\n";
}

std::string tools_list_answer(const std::string& id) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{"tools":[{)" + expected::kToolEntry + "}]}}\n";
}

}  // namespace

TEST(McpLoop, DropsAndIdEchoes) {
  std::string long_id = "\"";  // 300 bytes, an escaped quote, 10 bytes
  long_id.append(300, 'k').append("\\\"").append(10, 'z').append("\"");
  const std::string long_number(150, '9');
  struct Case {
    std::string line;  // written with its own line end
    std::string want;  // the answer, or empty for a dropped line
  } cases[] = {
      // Dropped: not a usable request.
      {"\n", ""},
      {" \t \n", ""},
      {"hello\n", ""},
      {"{\n", ""},
      {"{}\n", ""},
      {R"([{"jsonrpc":"2.0","id":1,"method":"ping"}])"
       "\n",
       ""},
      {R"({"id":1,"method":"ping",})"
       "\n",
       ""},
      {R"({"id":1,"method":"ping"} {})"
       "\n",
       ""},
      {R"({"id":1,"method":"ping"} // note)"
       "\n",
       ""},
      {R"({"id":NaN,"method":"ping"})"
       "\n",
       ""},
      {"{\"id\":1,\"method\":\"p\xffng\"}\n", ""},
      {R"({"id":1})"
       "\n",
       ""},
      {"\xEF\xBB\xBF{\"id\":1,\"method\":\"ping\"}\n", ""},  // a byte-order mark is no JSON
      {"\xEF{\"id\":1,\"method\":\"ping\"}\n", ""},
      {R"({"id":1,"method":5})"
       "\n",
       ""},
      {R"({"id":1,"method":null,"method":"ping"})"
       "\n",
       ""},  // only the first "method" counts
      {R"({"method":"ping"})"
       "\n",
       ""},
      {R"({"method":"initialize","params":{}})"
       "\n",
       ""},
      {R"({"id":1,"method":"notifications/initialized"})"
       "\n",
       ""},
      {R"({"method":"notifications/cancelled","params":{"requestId":1}})"
       "\n",
       ""},
      {R"({"id":null,"method":"ping"})"
       "\n",
       ""},
      {R"({"id":true,"method":"ping"})"
       "\n",
       ""},
      {R"({"id":false,"method":"ping"})"
       "\n",
       ""},
      {R"({"id":{"n":1},"method":"ping"})"
       "\n",
       ""},
      {R"({"id":[1],"method":"ping"})"
       "\n",
       ""},
      {std::string(R"({"method":"ping"})") + '\0' +
           R"(,"id":5})"
           "\n",
       ""},  // the id after a NUL is not read
      // Answered, with the id as written.
      {R"({"jsonrpc":"2.0","id":1,"method":"ping"})"
       "\n",
       pong("1")},
      {R"({"method":"ping","id":-3})"
       "\n",
       pong("-3")},
      {R"({"method":"ping","id":2.5})"
       "\n",
       pong("2")},
      {R"({"method":"ping","id":1e3})"
       "\n",
       pong("1")},
      {R"({"method":"ping","id" :  0})"
       "\n",
       pong("0")},
      {R"({"method":"ping","id":"abc"})"
       "\n",
       pong(R"("abc")")},
      {R"({"method":"ping","id":"a\"b\\"})"
       "\n",
       pong(R"("a\"b\\")")},
      {R"({"method":"ping","id":"\u00e9"})"
       "\n",
       pong(R"("\u00e9")")},
      {R"({"method":"ping","id":)" + long_id + "}\n", pong(long_id)},
      {R"({"method":"ping","id":)" + long_number + "}\n", pong(long_number)},
      {R"({"params":{"id":7},"method":"ping","id":1})"
       "\n",
       pong("1")},  // only the root's "id" counts
      {R"({"x":"id","id":1,"method":"ping"})"
       "\n",
       pong("1")},
      {R"({"jsonrpc":"2.0","id":1,"method":"ping"})"
       "\r\n",
       pong("1")},
      {"\t{ \"id\" : 4 , \"method\" : \"ping\" }\r\n", pong("4")},
      {std::string(R"({"method":"ping","id":5})") + '\0' + "garbage\n",
       pong("5")},  // text after a NUL ignored
      {R"({"method":"ping","id":6,"method":"tools/list"})"
       "\n",
       pong("6")},
      {R"({"method":"ping","id":1,"params":[1,2]})"
       "\n",
       pong("1")},
      {R"({"method":"Ping","id":8})"
       "\n",
       rpc_error("8", -32601, "method not found")},
      {R"({"method":"tools/lists","id":8})"
       "\n",
       rpc_error("8", -32601, "method not found")},
      {R"({"method":"","id":8})"
       "\n",
       rpc_error("8", -32601, "method not found")},
      {R"({"method":"notification/x","id":8})"
       "\n",
       rpc_error("8", -32601, "method not found")},
      {R"({"method":"initialize","id":"i"})"
       "\n",
       initialize_answer(R"("i")")},
  };
  // One run for the whole table (a process start is slow under wine): each
  // line is followed by a ping, which must be answered whatever came before.
  std::string input;
  const size_t n = std::size(cases);
  for (size_t i = 0; i < n; ++i) input += cases[i].line + request(marker_id(i), "ping");
  RunResult r = run_mcp(input);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  std::vector<std::string> answers = split_at_markers(r.out, n);
  ASSERT_GE(answers.size(), n) << "server stopped answering after: " << cases[answers.size()].line;
  for (size_t i = 0; i < n; ++i) EXPECT_EQ(answers[i], cases[i].want) << "line: " << cases[i].line;
  EXPECT_EQ(answers.size(), n) << "output after the last case: " << answers.back();
}

TEST(McpLoop, MethodsInOneRun) {
  std::string input = request("1", "tools/list") + request("2", "initialize") + request("3", "ping") +
                      request("4", "initialize") + request("5", "resources/list") +
                      R"({"jsonrpc":"2.0","id":6,"method":"ping"})";  // no LF before the end of input
  RunResult r = run_mcp(input);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, tools_list_answer("1") + initialize_answer("2") + pong("3") + initialize_answer("4") +
                       rpc_error("5", -32601, "method not found") + pong("6"));
  EXPECT_EQ(r.err, "");
}

TEST(McpLoop, EmptyInputEndsQuietly) {
  for (const std::string input : {"", "\n\n", "not json"}) {
    RunResult r = run_mcp(input);
    EXPECT_EQ(r.status, 0) << input;
    EXPECT_EQ(r.out, "") << input;
    EXPECT_EQ(r.err, "") << input;
  }
}

TEST(McpLoop, LongLinesAndManyLines) {
  // A request far beyond any fixed area, and many requests in one stream.
  std::string padding(3 * 1024 * 1024, ' ');
  std::string input = R"({"method":"ping",)" + padding +
                      R"("id":1})"
                      "\n";
  std::string want = pong("1");
  for (int i = 2; i < 2000; ++i) {
    input += request(std::to_string(i), "ping");
    want += pong(std::to_string(i));
  }
  RunResult r = run_mcp(input);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out == want) << "answers: " << r.out.size() << " bytes, want " << want.size();
}
