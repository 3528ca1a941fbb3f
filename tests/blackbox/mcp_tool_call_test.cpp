// The tool call as a client sees it: accepted thoughts, every rejection
// message, the unknown-tool error, and the session that the answers report.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "mcp_helpers.h"

using namespace mcp_test;

namespace {

const std::string kValid = R"("thought":"t","nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":3)";

std::string args(const std::string& extra) { return "{" + kValid + (extra.empty() ? "" : "," + extra) + "}"; }

// The text inside the "branches" array of a success record.
std::string branches_of(const std::string& record) {
  size_t from = record.find(R"("branches":[)") + 12;
  return record.substr(from, record.rfind("],") - from);
}

// A success record with the session's registry and history length in place
// of its own.
std::string with_session(const std::string& record, const std::string& registry, size_t history) {
  return record.substr(0, record.find(R"("branches":[)") + 12) + registry + R"(],"thoughtHistoryLength":)" +
         std::to_string(history) + "}";
}

// Console lines off, so that only the answers are compared here.
const std::map<std::string, std::string> kQuiet = {{"DISABLE_THOUGHT_LOGGING", "tRUE"}};

}  // namespace

TEST(McpToolCall, Arguments) {
  const char* kThought = "Invalid thought: must be a string";
  const char* kNext = "Invalid nextThoughtNeeded: must be a boolean";
  const char* kNumber = "Invalid thoughtNumber: must be a number";
  const char* kTotal = "Invalid totalThoughts: must be a number";
  // want: the success record (its history length is that of the run, set
  // below), or the rejection's error record.
  struct Case {
    std::string arguments;
    std::string want;
  } cases[] = {
      {args(""), record(1, 3, true, {}, 1)},
      {R"({"thought":"t","nextThoughtNeeded":"FaLsE","thoughtNumber":"2","totalThoughts":" 4"})",
       record(2, 4, false, {}, 1)},
      {R"({"thought":"t","nextThoughtNeeded":"true","thoughtNumber":"\t3\r\n ","totalThoughts":3.0})",
       record(3, 3, true, {}, 1)},
      {R"({"thought":"t","nextThoughtNeeded":false,"thoughtNumber":1e2,"totalThoughts":"007"})",
       record(100, 100, false, {}, 1)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":7,"totalThoughts":5})",
       record(7, 7, true, {}, 1)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":2,"thoughtNumber":"x","totalThoughts":1})",
       record(2, 2, true, {}, 1)},
      {args(
           R"("isRevision":null,"revisesThought":null,"branchFromThought":null,"branchId":null,"needsMoreThoughts":null)"),
       record(1, 3, true, {}, 1)},
      {args(R"("isRevision":"TRUE","revisesThought":"1","needsMoreThoughts":false,"extra":[1,{}])"),
       record(1, 3, true, {}, 1)},
      {args(R"("branchFromThought":1,"branchId":"alt")"), record(1, 3, true, {"alt"}, 1)},
      {args(R"("branchFromThought":1,"branchId":"")"), record(1, 3, true, {""}, 1)},
      {args(R"("branchFromThought":1,"branchId":"q\"\\\/\n\u00e9")"),
       record(1, 3, true, {"q\"\\/\n\xc3\xa9"}, 1)},
      {args(R"("branchFromThought":1,"branchId":"cut\u0000here")"), record(1, 3, true, {"cut"}, 1)},
      {args(R"("branchId":"no origin")"), record(1, 3, true, {}, 1)},
      {args(R"("branchFromThought":2)"), record(1, 3, true, {}, 1)},
      {R"({"thought":"a\u0000b","nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":1})",
       record(1, 1, true, {}, 1)},
      {"{\"thought\":\"" + std::string(65536, 'x') +
           "\",\"nextThoughtNeeded\":true,\"thoughtNumber\":1,\"totalThoughts\":1}",
       record(1, 1, true, {}, 1)},
      {args(R"("branchFromThought":1,"branchId":")" + std::string(128, 'b') + "\""),
       record(1, 3, true, {std::string(128, 'b')}, 1)},
      {"null", failure(kThought)},
      {R"("text")", failure(kThought)},
      {"[1]", failure(kThought)},
      {"{}", failure(kThought)},
      {R"({"thought":"","nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":1})", failure(kThought)},
      {R"({"thought":null,"nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":1})", failure(kThought)},
      {R"({"thought":5,"nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":1})", failure(kThought)},
      {R"({"thought":"\u0000x","nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":1})",
       failure(kThought)},
      {R"({"thought":"t","thought":5,"nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":1,"Thought":"x"})",
       record(1, 1, true, {}, 1)},
      {"{\"thought\":\"" + std::string(65537, 'x') +
           "\",\"nextThoughtNeeded\":true,\"thoughtNumber\":1,\"totalThoughts\":1}",
       failure("Invalid thought: too long (max 65536 bytes)")},
      {R"({"nextThoughtNeeded":true,"thoughtNumber":0})",
       failure(kThought)},  // the first failure alone is reported
      {R"({"thought":"t","thoughtNumber":1,"totalThoughts":1})", failure(kNext)},
      {R"({"thought":"t","nextThoughtNeeded":null,"thoughtNumber":1,"totalThoughts":1})", failure(kNext)},
      {R"({"thought":"t","nextThoughtNeeded":"yes","thoughtNumber":1,"totalThoughts":1})", failure(kNext)},
      {R"({"thought":"t","nextThoughtNeeded":"1","thoughtNumber":1,"totalThoughts":1})", failure(kNext)},
      {R"({"thought":"t","nextThoughtNeeded":1,"thoughtNumber":1,"totalThoughts":1})", failure(kNext)},
      {R"({"thought":"t","nextThoughtNeeded":true,"totalThoughts":1})", failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":null,"totalThoughts":1})",
       failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":0,"totalThoughts":1})", failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":-1,"totalThoughts":1})", failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":2.5,"totalThoughts":1})", failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":"1.0","totalThoughts":1})",
       failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":"one","totalThoughts":1})",
       failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":" ","totalThoughts":1})",
       failure(kNumber)},  // reads as 0
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":true,"totalThoughts":1})",
       failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":18446744073709551615,"totalThoughts":1})",
       failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":1e300,"totalThoughts":1})",
       failure(kNumber)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":1})", failure(kTotal)},
      {R"({"thought":"t","nextThoughtNeeded":true,"thoughtNumber":1,"totalThoughts":"0"})", failure(kTotal)},
      {args(R"("isRevision":"no")"), failure("Invalid isRevision: must be a boolean")},
      {args(R"("isRevision":0)"), failure("Invalid isRevision: must be a boolean")},
      {args(R"("revisesThought":0)"), failure("Invalid revisesThought: must be a number")},
      {args(R"("revisesThought":"x")"), failure("Invalid revisesThought: must be a number")},
      {args(R"("branchFromThought":-2)"), failure("Invalid branchFromThought: must be a number")},
      {args(R"("branchFromThought":false)"), failure("Invalid branchFromThought: must be a number")},
      {args(R"("branchId":7)"), failure("Invalid branchId: must be a string")},
      {args(R"("branchId":["a"])"), failure("Invalid branchId: must be a string")},
      {args(R"("branchFromThought":1,"branchId":")" + std::string(129, 'b') + "\""),
       failure("Invalid branchId: too long (max 128 bytes)")},
      {args(R"("needsMoreThoughts":"maybe")"), failure("Invalid needsMoreThoughts: must be a boolean")},
      {args(R"("needsMoreThoughts":{})"), failure("Invalid needsMoreThoughts: must be a boolean")},
      {args(R"("isRevision":"x","revisesThought":0)"), failure("Invalid isRevision: must be a boolean")},
  };
  // One run for the whole table. After each case a valid call shows that a
  // rejected call left the session as it was: the history and the branch
  // registry grow only by the accepted calls.
  std::string input;
  const size_t n = std::size(cases);
  for (size_t i = 0; i < n; ++i)
    input += call("1", cases[i].arguments) + call("2", args("")) + request(marker_id(i), "ping");
  RunResult r = run_mcp(input, kQuiet);
  EXPECT_EQ(r.err, "");
  std::vector<std::string> answers = split_at_markers(r.out, n);
  ASSERT_GE(answers.size(), n) << "server stopped answering after: "
                               << cases[answers.size()].arguments.substr(0, 200);
  size_t history = 0;
  std::string registry;  // the registered branch ids as JSON text, in order
  for (size_t i = 0; i < n; ++i) {
    const auto& c = cases[i];
    bool accepted = c.want.rfind(R"({"thoughtNumber")", 0) == 0;
    std::string want;
    if (accepted) {
      std::string own = branches_of(c.want);  // every branch id of the table is distinct
      if (!own.empty()) registry += (registry.empty() ? "" : ",") + own;
      want = tool_result("1", with_session(c.want, registry, ++history), false);
    } else {
      want = tool_result("1", c.want, true);
    }
    want += tool_result("2", with_session(record(1, 3, true, {}, 0), registry, ++history), false);
    EXPECT_EQ(answers[i], want) << c.arguments.substr(0, 200);
  }
  EXPECT_EQ(answers.size(), n) << "output after the last case: " << answers.back();
}

TEST(McpToolCall, UnknownTool) {
  const std::string unknown = rpc_error("1", -32602, "unknown tool");
  const std::string params[] = {
      "",  // no params at all
      R"(,"params":null)",
      R"(,"params":{})",
      R"(,"params":[{"name":"veltraneflowstream"}])",
      R"(,"params":{"arguments":{}})",
      R"(,"params":{"name":"Veltraneflowstream","arguments":{}})",
      R"(,"params":{"name":"veltraneflowstream ","arguments":{}})",
      R"(,"params":{"name":"veltraneflowstream\u0000","arguments":{}})",
      R"(,"params":{"name":5,"arguments":{}})",
      R"(,"params":{"name":null,"name":"veltraneflowstream"})",
  };
  for (const auto& p : params) {
    RunResult r = run_mcp(
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call")" + p + "}\n" + request("2", "ping"), kQuiet);
    EXPECT_EQ(r.out, unknown + pong("2")) << p;
  }
  // The right name without arguments is the tool's own error, not the RPC one.
  RunResult r = run_mcp(R"({"id":3,"method":"tools/call","params":{"name":"veltraneflowstream"}})"
                        "\n",
                        kQuiet);
  EXPECT_EQ(r.out, tool_result("3", failure("Invalid thought: must be a string"), true));
}

TEST(McpToolCall, ConsoleLinesAndAdjustedTotal) {
  std::string input =
      call("1", R"({"thought":"a","nextThoughtNeeded":true,"thoughtNumber":7,"totalThoughts":5})") +
      call("2", args(R"("isRevision":true,"branchFromThought":1,"branchId":"r")")) +
      call("3", args(R"("isRevision":true,"revisesThought":2)")) +
      call("4", args(R"("branchFromThought":2,"branchId":"b\nx")")) +
      call("5", args(R"("branchFromThought":3)")) + call("6", args(R"("branchId":"only")")) +
      call("7", R"({"thought":""})");
  RunResult r = run_mcp(input);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "[veltrane] Thought 7/7\n"
            "[veltrane] Revision 1/3 (revising thought 0)\n"
            "[veltrane] Revision 1/3 (revising thought 2)\n"
            "[veltrane] Branch 1/3 (from thought 2, ID: b\\u000ax)\n"
            "[veltrane] Branch 1/3 (from thought 3)\n"
            "[veltrane] Thought 1/3\n");
  EXPECT_EQ(r.out, tool_result("1", record(7, 7, true, {}, 1), false) +
                       tool_result("2", record(1, 3, true, {"r"}, 2), false) +
                       tool_result("3", record(1, 3, true, {"r"}, 3), false) +
                       tool_result("4", record(1, 3, true, {"r", "b\nx"}, 4), false) +
                       tool_result("5", record(1, 3, true, {"r", "b\nx"}, 5), false) +
                       tool_result("6", record(1, 3, true, {"r", "b\nx"}, 6), false) +
                       tool_result("7", failure("Invalid thought: must be a string"), true));
}

TEST(McpToolCall, HistoryLimitTrimsThroughTheRun) {
  std::string input = call("1", args(R"("branchFromThought":1,"branchId":"a")")) +
                      call("2", args(R"("branchFromThought":1,"branchId":"b")")) + call("3", args("")) +
                      call("4", args(R"("branchFromThought":1,"branchId":"a")"));
  RunResult one = run_mcp(input, {{"MAX_THOUGHT_HISTORY", "1"}});
  EXPECT_EQ(one.out, tool_result("1", record(1, 3, true, {"a"}, 1), false) +
                         tool_result("2", record(1, 3, true, {"b"}, 1), false) +
                         tool_result("3", record(1, 3, true, {}, 1), false) +
                         tool_result("4", record(1, 3, true, {"a"}, 1), false));
  EXPECT_EQ(one.err,
            "[veltrane] Branch 1/3 (from thought 1, ID: a)\n[veltrane] Branch 1/3 (from thought 1, ID: b)\n"
            "[veltrane] Thought 1/3\n[veltrane] Branch 1/3 (from thought 1, ID: a)\n");

  RunResult two = run_mcp(input, {{"MAX_THOUGHT_HISTORY", " 2"}, {"DISABLE_THOUGHT_LOGGING", "1"}});
  EXPECT_EQ(two.out, tool_result("1", record(1, 3, true, {"a"}, 1), false) +
                         tool_result("2", record(1, 3, true, {"a", "b"}, 2), false) +
                         tool_result("3", record(1, 3, true, {"b"}, 2), false) +
                         tool_result("4", record(1, 3, true, {"a"}, 2), false));
  EXPECT_EQ(two.err, "");
}

TEST(McpToolCall, HistoryLimitWarningAtStart) {
  struct Case {
    std::string value;
    std::string want_err;
  } cases[] = {
      {"0", "MAX_THOUGHT_HISTORY must be a positive integer, got \"0\"; using 1000\n"},
      {" 12x", "MAX_THOUGHT_HISTORY must be a positive integer, got \"12x\"; using 1000\n"},
      {"-5", "MAX_THOUGHT_HISTORY must be a positive integer, got \"-5\"; using 1000\n"},
      {"25", ""},
  };
  for (const auto& c : cases) {
    // Printed once at start, before any request, even with nothing to serve.
    RunResult r = run_mcp("", {{"MAX_THOUGHT_HISTORY", c.value}});
    EXPECT_EQ(r.err, c.want_err) << c.value;
    EXPECT_EQ(r.out, "") << c.value;
  }
}

TEST(McpToolCall, DisableThoughtLoggingSwitchesConsoleLinesAndRecording) {
  struct Case {
    const char* value;  // null: unset
    bool lines;
    bool recorded;
  } cases[] = {
      {nullptr, true, true},  {"", true, true},       {"1", false, false},   {"true", false, false},
      {"True", false, false}, {"TRUE", false, false}, {"tRuE", false, true}, {"trUe", false, true},
      {"0", true, true},      {"false", true, true},  {" true", true, true}, {"true ", true, true},
      {"yes", true, true},    {"11", true, true},     {"truee", true, true}, {"tru", true, true},
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> env;
    if (c.value) env["DISABLE_THOUGHT_LOGGING"] = c.value;
    TempDir state;
    RunResult r = run_mcp_in(state.str(), call("1", args("")), env);
    std::string label = c.value ? std::string("\"") + c.value + "\"" : "(unset)";
    EXPECT_EQ(r.err, c.lines ? "[veltrane] Thought 1/3\n" : "") << label;
    EXPECT_EQ(r.out, tool_result("1", record(1, 3, true, {}, 1), false)) << label;
    bool recorded = read_bytes(state.file("chains.json")).find(R"({"thought":"t","thought_number":1,)") !=
                    std::string::npos;
    EXPECT_EQ(recorded, c.recorded) << label;
  }
}
