// Mode selection and the descriptor texts, as the host sees them on stdout.
#include <gtest/gtest.h>

#include <string>

#include "common/descriptors.h"
#include "support/run_program.h"

namespace {

const std::string kMetaLine = std::string(VELTRANE_META) + "\n";
const std::string kSchemaLine = std::string(VELTRANE_TOOL_SCHEMA) + "\n";
const std::string kVersionLine = "plugin_veltrane 1.0.1\n";

bool is_web_answer(const std::string& out) { return out.rfind("Content-Type: ", 0) == 0; }

}  // namespace

TEST(Modes, FirstArgumentAndMetaVariable) {
  struct Case {
    std::vector<std::string> args;
    bool meta_env;
    std::string want;  // empty: the web endpoint answers
  } cases[] = {
      {{"--meta"}, false, kMetaLine},
      {{"--version"}, true, kMetaLine},
      {{"--mcp"}, true, kMetaLine},
      {{"--schema"}, true, kMetaLine},
      {{}, true, kMetaLine},
      {{"--schema"}, false, kSchemaLine},
      {{"--schema", "--version"}, false, kSchemaLine},
      {{"--version"}, false, kVersionLine},
      {{"--version", "--meta"}, false, kVersionLine},
      {{"--mcp", "--meta"}, false, ""},  // MCP server: no input, no output
      {{"--Meta"}, false, "web"},
      {{"--VERSION"}, false, "web"},
      {{"-version"}, false, "web"},
      {{"--versions"}, false, "web"},
      {{""}, false, "web"},
      {{}, false, "web"},
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
  }
}

TEST(Modes, DescriptorTextsHaveTheirFixedSizes) {
  EXPECT_EQ(VELTRANE_TOOL_DESC.size(), 1009u);
  EXPECT_EQ(VELTRANE_TOOL_SCHEMA.size(), 944u);
  EXPECT_EQ(VELTRANE_TOOL_OUTPUT.size(), 234u);
  EXPECT_EQ(VELTRANE_TOOL_DESC.back(), 'd') << "no LF after the last line";
}
