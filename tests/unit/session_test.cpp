#include "mcp/session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "scoped_env.h"

namespace {

Thought make_thought(int64_t number, int64_t from = 0, const char* branch = nullptr) {
  Thought t;
  t.thought = "thought " + std::to_string(number);
  t.thoughtNumber = number;
  t.totalThoughts = number;
  t.branchFromThought = from;
  if (branch) t.branchId = branch;
  return t;
}

// The registry as "id:count" words, in order.
std::vector<std::string> registry(const Session& s) {
  std::vector<std::string> out;
  for (const auto& b : s.branches) out.push_back(b.id + ":" + std::to_string(b.count));
  return out;
}

std::vector<int64_t> numbers(const Session& s) {
  std::vector<int64_t> out;
  for (const auto& t : s.history) out.push_back(t.thoughtNumber);
  return out;
}

Session test_session(int64_t max_history) {
  Session s;
  s.max_history = max_history;
  s.persist = false;  // unit tests never touch the chain store
  return s;
}

}  // namespace

TEST(Session, HistoryOfOneKeepsOnlyTheLatestBranch) {
  Session s = test_session(1);
  session_record(s, make_thought(1, 1, "a"));
  EXPECT_EQ(registry(s), (std::vector<std::string>{"a:1"}));
  session_record(s, make_thought(2, 1, "b"));
  EXPECT_EQ(numbers(s), (std::vector<int64_t>{2}));
  EXPECT_EQ(registry(s), (std::vector<std::string>{"b:1"}));
  session_record(s, make_thought(3));
  EXPECT_EQ(numbers(s), (std::vector<int64_t>{3}));
  EXPECT_TRUE(s.branches.empty());
  // The same branch again, with a history of one: the new thought's entry is
  // registered before the old one is trimmed, so the id survives.
  session_record(s, make_thought(4, 1, "c"));
  session_record(s, make_thought(5, 2, "c"));
  EXPECT_EQ(registry(s), (std::vector<std::string>{"c:1"}));
}

TEST(Session, BranchStaysUntilItsLastThoughtIsTrimmed) {
  Session s = test_session(3);
  session_record(s, make_thought(1, 1, "x"));
  session_record(s, make_thought(2, 1, "y"));
  session_record(s, make_thought(3, 1, "x"));
  EXPECT_EQ(registry(s), (std::vector<std::string>{"x:2", "y:1"}));
  session_record(s, make_thought(4, 1, "z"));  // trims the first x
  EXPECT_EQ(registry(s), (std::vector<std::string>{"x:1", "y:1", "z:1"}));
  session_record(s, make_thought(5));  // trims y; the order of the others is kept
  EXPECT_EQ(registry(s), (std::vector<std::string>{"x:1", "z:1"}));
  session_record(s, make_thought(6));  // trims the second x
  EXPECT_EQ(registry(s), (std::vector<std::string>{"z:1"}));
  EXPECT_EQ(numbers(s), (std::vector<int64_t>{4, 5, 6}));
}

TEST(Session, WhatCountsAsABranch) {
  Session s = test_session(1000);
  session_record(s, make_thought(1, 0, "id-only"));  // no origin: nothing registered
  session_record(s, make_thought(2, 1, nullptr));    // no id: nothing registered
  EXPECT_TRUE(s.branches.empty());
  session_record(s, make_thought(3, 1, ""));  // the empty id is a branch
  Thought revision = make_thought(4, 2, "rev");
  revision.isRevision = true;
  session_record(s, revision);
  EXPECT_EQ(registry(s), (std::vector<std::string>{":1", "rev:1"}));
  EXPECT_EQ(s.history.size(), 4u);
}

TEST(Session, DefaultLimitKeepsTheLatestThousand) {
  Session s = test_session(1000);
  for (int64_t i = 1; i <= 1001; ++i) session_record(s, make_thought(i, 1, i == 1 ? "first" : "later"));
  EXPECT_EQ(s.history.size(), 1000u);
  EXPECT_EQ(s.history.front().thoughtNumber, 2);
  EXPECT_EQ(registry(s), (std::vector<std::string>{"later:1000"}));
}

TEST(Session, ConsoleLines) {
  struct Case {
    Thought t;
    const char* want;
  } cases[] = {
      {make_thought(1), "[veltrane] Thought 1/1\n"},
      {make_thought(2, 1, "alt"), "[veltrane] Branch 2/2 (from thought 1, ID: alt)\n"},
      {make_thought(2, 1, ""), "[veltrane] Branch 2/2 (from thought 1, ID: )\n"},
      {make_thought(2, 1), "[veltrane] Branch 2/2 (from thought 1)\n"},
      {make_thought(2, 0, "alt"), "[veltrane] Thought 2/2\n"},
      {make_thought(3, 1, "a\nb\x1b"), "[veltrane] Branch 3/3 (from thought 1, ID: a\\u000ab\\u001b)\n"},
      {make_thought(3, 1, "\"q\\\xc3\xa9"), "[veltrane] Branch 3/3 (from thought 1, ID: \"q\\\xc3\xa9)\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(console_line(c.t), c.want) << c.want;

  Thought revision = make_thought(5, 1, "alt");
  revision.totalThoughts = 9;
  revision.isRevision = true;
  EXPECT_EQ(console_line(revision), "[veltrane] Revision 5/9 (revising thought 0)\n");
  revision.revisesThought = 2;
  EXPECT_EQ(console_line(revision), "[veltrane] Revision 5/9 (revising thought 2)\n");
  Thought big = make_thought(INT64_MAX);
  EXPECT_EQ(console_line(big), "[veltrane] Thought 9223372036854775807/9223372036854775807\n");
}

TEST(Session, AcceptWritesTheConsoleLineUnlessSwitchedOffNow) {
  Session s = test_session(10);
  std::unique_ptr<FILE, decltype(&std::fclose)> err(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(err);
  {
    ScopedEnv on("DISABLE_THOUGHT_LOGGING", "0");
    session_accept(s, make_thought(1), err.get());
  }
  {
    ScopedEnv off("DISABLE_THOUGHT_LOGGING", "TrUe");  // looked up again for every thought
    session_accept(s, make_thought(2), err.get());
  }
  {
    ScopedEnv unset("DISABLE_THOUGHT_LOGGING", nullptr);
    session_accept(s, make_thought(3, 1, "b"), err.get());
  }
  EXPECT_EQ(stream_text(err.get()),
            "[veltrane] Thought 1/1\n[veltrane] Branch 3/3 (from thought 1, ID: b)\n");
  EXPECT_EQ(numbers(s), (std::vector<int64_t>{1, 2, 3})) << "a silenced thought is still kept";
}

TEST(Session, StartReadsTheEnvironmentOnce) {
  ScopedEnv limit("MAX_THOUGHT_HISTORY", "x");
  ScopedEnv disable("DISABLE_THOUGHT_LOGGING", "True");
  std::unique_ptr<FILE, decltype(&std::fclose)> err(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(err);
  Session s = session_start(err.get());
  EXPECT_EQ(s.max_history, 1000);
  EXPECT_FALSE(s.persist);
  EXPECT_EQ(stream_text(err.get()),
            "MAX_THOUGHT_HISTORY must be a positive integer, got \"x\"; using 1000\n");
  EXPECT_EQ(s.session_id.rfind("th-", 0), 0u) << s.session_id;

  ScopedEnv limit25("MAX_THOUGHT_HISTORY", "25");
  ScopedEnv on("DISABLE_THOUGHT_LOGGING", "tRUE");
  Session t = session_start(err.get());
  EXPECT_EQ(t.max_history, 25);
  EXPECT_TRUE(t.persist);
}

TEST(Session, IdFromTimeAndProcess) {
  EXPECT_EQ(session_id_for(0x693a1b2c, 0x1f40), "th-693a1b2c-1f40");
  EXPECT_EQ(session_id_for(0, 0), "th-0-0");
  EXPECT_EQ(session_id_for(INT64_MAX, UINT32_MAX), "th-7fffffffffffffff-ffffffff");
  EXPECT_NE(session_id_for(1000, 7), session_id_for(1000, 8));
  EXPECT_NE(session_id_for(1000, 7), session_id_for(1001, 7));
}
