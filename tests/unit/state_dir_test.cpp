#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/platform.h"
#include "scoped_env.h"
#include "store/files.h"
#include "store/limits.h"

TEST(StateDir, FirstSetVariableDecides) {
  const std::string long_dir(1200, 'd');
  struct Case {
    const char* state;  // VELTRANE_STATE_DIR; null: unset
    const char* local;  // LOCALAPPDATA
    const char* home;   // HOME
    std::string want;
  } cases[] = {
      {"/srv/state", "D:\\local", "/home/u1", "/srv/state"},
      {"/srv/state/", nullptr, nullptr, "/srv/state/"},
      {" /with blanks ", nullptr, nullptr, " /with blanks "},
      {"", "D:\\local", "/home/u1", "D:\\local\\tavrokin\\connectors\\plugin_veltrane"},
      {nullptr, "D:\\local", nullptr, "D:\\local\\tavrokin\\connectors\\plugin_veltrane"},
      {nullptr, "", "/home/u1", "/home/u1/.tavrokin/connectors/plugin_veltrane"},
      {nullptr, nullptr, "/home/u1", "/home/u1/.tavrokin/connectors/plugin_veltrane"},
      {nullptr, nullptr, "", "/root/.tavrokin/connectors/plugin_veltrane"},
      {"", "", nullptr, "/root/.tavrokin/connectors/plugin_veltrane"},
      {long_dir.c_str(), nullptr, nullptr, long_dir.substr(0, 999)},
  };
  for (const auto& c : cases) {
    ScopedEnv state("VELTRANE_STATE_DIR", c.state);
    ScopedEnv local("LOCALAPPDATA", c.local);
    ScopedEnv home("HOME", c.home);
    std::string label = std::string(c.state ? c.state : "-") + " | " + (c.local ? c.local : "-") + " | " +
                        (c.home ? c.home : "-");
    EXPECT_EQ(state_dir(), c.want) << label;
    EXPECT_EQ(chains_path(), c.want + PATH_SEPARATOR + "chains.json") << label;
  }
}

TEST(StateDir, HistoryLimitFromTheEnvironment) {
  struct Case {
    const char* value;  // MAX_THOUGHT_HISTORY; null: unset
    int64_t want;
    const char* warning;  // the value shown in the warning; null: no warning
  } cases[] = {
      {nullptr, 1000, nullptr}, {"", 1000, nullptr},
      {"  \t ", 1000, nullptr}, {"25", 25, nullptr},
      {" \t25", 25, nullptr},   {"0025", 25, nullptr},
      {"1", 1, nullptr},        {"99999999999999999999", INT64_MAX, nullptr},
      {"25 ", 1000, "25 "},     {"+25", 1000, "+25"},
      {"-25", 1000, "-25"},     {"2.5", 1000, "2.5"},
      {"many", 1000, "many"},   {" 12x", 1000, "12x"},
      {"0", 1000, "0"},         {"000", 1000, "000"},
      {"\n25", 1000, "\n25"},  // only space and tab count as blanks
  };
  for (const auto& c : cases) {
    ScopedEnv limit("MAX_THOUGHT_HISTORY", c.value);
    std::unique_ptr<FILE, decltype(&std::fclose)> err(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(err);
    std::string label = c.value ? std::string("\"") + c.value + "\"" : "(unset)";
    EXPECT_EQ(read_max_history(err.get()), c.want) << label;
    std::string want_err;
    if (c.warning) {
      want_err = std::string("MAX_THOUGHT_HISTORY must be a positive integer, got \"") + c.warning +
                 "\"; using 1000\n";
    }
    EXPECT_EQ(stream_text(err.get()), want_err) << label;
  }
}
