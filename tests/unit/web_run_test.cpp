// The web endpoint served in memory: it writes only to the streams it is
// given.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "scoped_env.h"
#include "support/temp_dir.h"
#include "web/cgi.h"

TEST(WebRun, TheHistoryLimitWarningGoesToTheGivenStream) {
  TempDir dir;
  ScopedEnv state("VELTRANE_STATE_DIR", dir.str().c_str());
  ScopedEnv password("BOT_PASSWORD", nullptr);
  ScopedEnv method("REQUEST_METHOD", nullptr);
  ScopedEnv length("CONTENT_LENGTH", nullptr);
  ScopedEnv limit("MAX_THOUGHT_HISTORY", "lots");
  for (const std::string action : {"stats", "info"}) {
    ScopedEnv query("QUERY_STRING", ("action=" + action).c_str());
    std::unique_ptr<FILE, decltype(&std::fclose)> in(std::tmpfile(), &std::fclose);
    std::unique_ptr<FILE, decltype(&std::fclose)> out(std::tmpfile(), &std::fclose);
    std::unique_ptr<FILE, decltype(&std::fclose)> err(std::tmpfile(), &std::fclose);
    EXPECT_EQ(run_web(in.get(), out.get(), err.get()), 0) << action;
    EXPECT_EQ(stream_text(err.get()),
              "MAX_THOUGHT_HISTORY must be a positive integer, got \"lots\"; using 1000\n")
        << action;
    EXPECT_NE(stream_text(out.get()).find(R"("max_thought_history":1000})"), std::string::npos) << action;
  }
}
