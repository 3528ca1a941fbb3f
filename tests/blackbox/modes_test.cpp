// Mode selection and the descriptor texts, as the host sees them on stdout.
#include <gtest/gtest.h>

#include <string>

#include "expected_texts.h"
#include "support/run_program.h"

namespace {

const std::string kMetaLine = expected::kMeta + "\n";
const std::string kSchemaLine = expected::kInputSchema + "\n";
const std::string kVersionLine = "plugin_veltrane 1.0.1\n";

bool is_web_answer(const std::string& out) { return out.rfind("Content-Type: ", 0) == 0; }

}  // namespace

TEST(Modes, FirstArgumentAndMetaVariable) {
  struct Case {
    std::vector<std::string> args;
    bool meta_env;
    std::string want;  // empty: the web endpoint answers
    std::string err;   // at a terminal, the web answer comes with a hint
  } cases[] = {
      {{"--meta"}, false, kMetaLine, ""},
      {{"--version"}, true, kMetaLine, ""},
      {{"--mcp"}, true, kMetaLine, ""},
      {{"--schema"}, true, kMetaLine, ""},
      {{}, true, kMetaLine, ""},
      {{"--schema"}, false, kSchemaLine, ""},
      {{"--schema", "--version"}, false, kSchemaLine, ""},
      {{"--version"}, false, kVersionLine, ""},
      {{"--version", "--meta"}, false, kVersionLine, ""},
      {{"--mcp", "--meta"}, false, "", ""},  // MCP server: no input, no output
      {{"--Meta"}, false, "web", "unknown mode '--Meta'; see --help\n"},
      {{"--VERSION"}, false, "web", "unknown mode '--VERSION'; see --help\n"},
      {{"-version"}, false, "web", "unknown mode '-version'; see --help\n"},
      {{"--versions"}, false, "web", "unknown mode '--versions'; see --help\n"},
      {{""}, false, "web", "unknown mode ''; see --help\n"},
      {{}, false, "web", "no mode given; see --help\n"},
      {{"--nope", "--mcp"}, false, "web", "unknown mode '--nope'; see --help\n"},
      // The hint stays one line whatever the argument holds.
      {{"--x\n\ty\x7f"}, false, "web", "unknown mode '--x\\x0a\\x09y\\x7f'; see --help\n"},
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> env;
    if (c.meta_env) env["TK_PLUGIN_META"] = "";
    RunResult r = run_program(c.args, env);
    std::string label = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(r.status, 0) << label;
    if (c.want == "web") {
      EXPECT_TRUE(is_web_answer(r.out)) << label << ": " << r.out;
    } else {
      EXPECT_EQ(r.out, c.want) << label;
    }
    EXPECT_EQ(r.err, c.err) << label;
  }
}

// --help and -h explain the program to a person at a terminal. Under a web
// server (GATEWAY_INTERFACE present, whatever its value) they are ordinary
// arguments that select the web endpoint, and no hint is printed, for any
// argument or none; TK_PLUGIN_META still wins.
TEST(Modes, HelpOnlyOutsideAWebServer) {
  struct Case {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    std::string want;  // "help", "web", or the exact output
    std::string err;
  } cases[] = {
      {{"--help"}, {}, "help", ""},
      {{"-h"}, {}, "help", ""},
      {{"--help", "--version"}, {}, "help", ""},
      {{"-h", "--mcp"}, {}, "help", ""},
      {{"--help"}, {{"GATEWAY_INTERFACE", "CGI/1.1"}}, "web", ""},
      {{"-h"}, {{"GATEWAY_INTERFACE", ""}}, "web", ""},
      {{"--version"}, {{"GATEWAY_INTERFACE", "CGI/1.1"}}, kVersionLine, ""},
      {{"--nope"}, {{"GATEWAY_INTERFACE", "CGI/1.1"}}, "web", ""},
      {{}, {{"GATEWAY_INTERFACE", ""}}, "web", ""},
      {{"--help"}, {{"TK_PLUGIN_META", "1"}}, kMetaLine, ""},
      {{"-h"}, {{"TK_PLUGIN_META", ""}, {"GATEWAY_INTERFACE", "CGI/1.1"}}, kMetaLine, ""},
      {{"--HELP"}, {}, "web", "unknown mode '--HELP'; see --help\n"},
      {{"-H"}, {}, "web", "unknown mode '-H'; see --help\n"},
      {{"-help"}, {}, "web", "unknown mode '-help'; see --help\n"},
      {{"--h"}, {}, "web", "unknown mode '--h'; see --help\n"},
      {{"help"}, {}, "web", "unknown mode 'help'; see --help\n"},
  };
  // What a reader of the help must find in it.
  const char* const must_mention[] = {
      "usage: plugin_veltrane",
      "--mcp",
      "--meta",
      "--schema",
      "--version",
      "--help",
      "VELTRANE_STATE_DIR",
      "LOCALAPPDATA",
      "HOME",
      "MAX_THOUGHT_HISTORY",
      "DISABLE_THOUGHT_LOGGING",
      "BOT_PASSWORD",
      "TK_PLUGIN_META",
      "GATEWAY_INTERFACE",
      ".tavrokin/connectors/plugin_veltrane",
      "chains.json",
      "\"mcpServers\"",
      "\"args\": [\"--mcp\"]",
  };
  std::string first_help;
  for (const auto& c : cases) {
    RunResult r = run_program(c.args, c.env);
    std::string label = c.args.empty() ? "(none)" : c.args[0];
    for (const auto& [name, value] : c.env) label += " " + name + "=" + value;
    EXPECT_EQ(r.status, 0) << label;
    EXPECT_EQ(r.err, c.err) << label;
    if (c.want == "web") {
      EXPECT_TRUE(is_web_answer(r.out)) << label << ": " << r.out;
    } else if (c.want == "help") {
      EXPECT_EQ(r.out.rfind("usage: plugin_veltrane [MODE]\n", 0), 0u) << label << ": " << r.out;
      for (const char* text : must_mention)
        EXPECT_NE(r.out.find(text), std::string::npos) << label << ": " << text;
      EXPECT_EQ(r.out.find('\r'), std::string::npos) << label << ": lines end in a bare LF";
      EXPECT_EQ(r.out.back(), '\n') << label;
      if (first_help.empty()) first_help = r.out;
      EXPECT_EQ(r.out, first_help) << label << ": the same text for every way of asking";
    } else {
      EXPECT_EQ(r.out, c.want) << label;
    }
  }
}
