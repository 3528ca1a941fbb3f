// The summary beside chains.json, seen from outside: after recordings the
// web answers are the same with it and without it, it is never trusted for a
// file it does not describe, and "clear" takes it away with the store.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "mcp_helpers.h"
#include "store_helpers.h"
#include "support/store_texts.h"
#include "web_support.h"

using namespace mcp_test;
using namespace store_test;
namespace fs = std::filesystem;

namespace {

struct State {
  TempDir tmp;
  std::string dir = tmp.file("state");
  std::string chains = dir + "/chains.json";
  std::string summary = chains + ".summary";
  State() { fs::create_directory(dir); }
};

// A session of thoughts with escapes, a revision and a branch.
std::string session(const std::string& tag, int count) {
  std::string lines;
  for (int n = 1; n <= count; ++n) {
    // Appended piece by piece: optimised GCC 12 warns falsely (-Wrestrict)
    // about a chain of + on strings.
    std::string args = R"({"thought":")";
    args.append(tag).append(" thought ").append(std::to_string(n));
    args.append(R"(\nsecond line \"q\"","thoughtNumber":)").append(std::to_string(n));
    args.append(R"(,"totalThoughts":9,"nextThoughtNeeded":true)");
    if (n == 2) args += R"(,"isRevision":true,"revisesThought":1)";
    if (n == 3) args += R"(,"branchFromThought":1,"branchId":"alt")";
    lines += call(std::to_string(n), args + "}");
  }
  return lines;
}

void record(const State& s, const std::string& tag, int count) {
  RunResult r = run_program({"--mcp"}, {{"VELTRANE_STATE_DIR", s.dir}}, session(tag, count));
  ASSERT_EQ(r.status, 0);
}

// The chain ids in the file, in order, as a client reads them.
std::vector<std::string> ids_in(const State& s) {
  std::vector<std::string> ids;
  std::string why;
  auto chains = parse_store(read_bytes(s.chains), &why);
  EXPECT_TRUE(chains) << why;
  if (chains) {
    for (const SeenChain& c : *chains) ids.push_back(c.id);
  }
  return ids;
}

// Every read answer over the state directory, one after another.
std::string answers(const State& s, const std::vector<std::string>& ids) {
  std::string all;
  std::vector<std::string> queries = {"action=chains", "action=stats", "action=chain&id=nope"};
  for (const std::string& id : ids) queries.push_back(std::string("action=chain&id=").append(id));
  for (const std::string& q : queries)
    all.append(q).append(" -> ").append(web_request(s.dir, {{"QUERY_STRING", q}}).out);
  return all;
}

// The answers as they are, and as the full pass alone gives them (the
// summary moved away for a moment) must be the same.
std::string expect_summary_changes_nothing(const State& s, const std::vector<std::string>& ids,
                                           const std::string& label) {
  std::string with = answers(s, ids);
  bool had_summary = fs::exists(s.summary);
  if (had_summary) fs::rename(s.summary, s.summary + ".away");
  std::string without = answers(s, ids);
  if (had_summary) fs::rename(s.summary + ".away", s.summary);
  EXPECT_EQ(with, without) << label;
  return with;
}

}  // namespace

TEST(SummaryFile, RecordingsWriteASummaryThatChangesNoAnswer) {
  State s;
  record(s, "one", 4);
  ASSERT_TRUE(fs::exists(s.summary)) << "a recording writes the summary beside the store";
  record(s, "two", 3);
  std::vector<std::string> ids = ids_in(s);
  ASSERT_EQ(ids.size(), 2u);
  // Reading from the summary changes nothing in the directory either.
  const std::map<std::string, std::string> files = snapshot_files(s.dir);
  answers(s, ids);
  EXPECT_EQ(snapshot_files(s.dir), files);
  std::string got = expect_summary_changes_nothing(s, ids, "two sessions");
  EXPECT_NE(got.find(R"("thoughts":7,"branches":2,"revisions":2,)"), std::string::npos) << got;
  EXPECT_NE(got.find(R"("last_head":"two thought 3")"), std::string::npos) << got;
}

TEST(SummaryFile, NeverTrustedForAFileItDoesNotDescribe) {
  struct Case {
    std::string what;
    void (*change)(const State& s, const std::string& first_summary);
  } cases[] = {
      {"a hand edit of the same size",
       [](const State& s, const std::string&) {
         std::string bytes = read_bytes(s.chains);
         size_t at = bytes.rfind("one thought 3");
         bytes.replace(at, 3, "ONE");
         write_bytes(s.chains, bytes);
       }},
      {"replaced by another writer",
       [](const State& s, const std::string&) {
         std::string bytes = read_bytes(s.chains);
         bytes.replace(bytes.find("one thought 1"), 3, "new");
         write_bytes(s.chains + ".other", bytes);
         fs::rename(s.chains + ".other", s.chains);
       }},
      {"deleted", [](const State& s, const std::string&) { fs::remove(s.chains); }},
      {"a summary from before the last recording (a crash in between)",
       [](const State& s, const std::string& first_summary) {
         record(s, "two", 1);
         write_bytes(s.summary, first_summary);
       }},
  };
  for (const auto& c : cases) {
    State s;
    record(s, "one", 3);
    const std::string first_summary = read_bytes(s.summary);
    const std::string before = answers(s, ids_in(s));
    c.change(s, first_summary);
    std::vector<std::string> ids = fs::exists(s.chains) ? ids_in(s) : std::vector<std::string>{};
    std::string after = expect_summary_changes_nothing(s, ids, c.what);
    EXPECT_NE(after, before) << c.what << ": the change must show";
  }
}

TEST(SummaryFile, ClearTakesTheSummaryAway) {
  State s;
  record(s, "one", 2);
  const std::string old_summary = read_bytes(s.summary);
  RunResult r = clear_request(s.dir);
  EXPECT_EQ(r.out, kJsonHeaders + "{\"ok\":true,\"cleared\":true}\n");
  EXPECT_FALSE(fs::exists(s.chains));
  EXPECT_FALSE(fs::exists(s.summary));
  EXPECT_TRUE(fs::exists(s.chains + ".lock")) << "the lock file stays";

  // A summary put back by hand describes nothing that is there.
  write_bytes(s.summary, old_summary);
  EXPECT_EQ(web_request(s.dir, {{"QUERY_STRING", "action=stats"}}).out,
            kJsonHeaders +
                R"({"ok":true,"chains":0,"thoughts":0,"branches":0,"revisions":0,"last_activity":0,)"
                R"("max_chains":50,"max_thoughts_each":1000,"max_thought_history":1000})"
                "\n");
  record(s, "two", 1);
  expect_summary_changes_nothing(s, ids_in(s), "after the clear");
}

TEST(SummaryFile, ServersKilledAtAnyMomentMisleadNoReader) {
  if (under_wrapper()) GTEST_SKIP() << "kills the server process itself with SIGKILL (POSIX only)";
  State s;
  // A chain of some 300 KB makes each replacement take long enough for kills
  // to land between the store's replacement and the summary's.
  std::vector<std::string> thoughts(300, store_texts::written_thought(std::string(1000, 'x'), 1, 1, 1));
  write_bytes(s.chains, store_texts::store_text(store_texts::written_chain("th-seed", 1, 1, thoughts)));
  TempDir io;
  write_bytes(io.file("in"), session("k", 3000));
  std::mt19937 random(7);
  for (int round = 0; round < 12; ++round) {
    pid_t pid = spawn_mcp({{"VELTRANE_STATE_DIR", s.dir}}, io.file("in"), io.file("out"), io.file("err"));
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(2000, 40000)(random)));
    kill(pid, SIGKILL);
    wait_child(pid);
    std::vector<std::string> ids = ids_in(s);
    expect_summary_changes_nothing(s, {ids.back()},
                                   std::string("after round ").append(std::to_string(round)));
  }
}

TEST(SummaryFile, AFifoInItsPlaceStopsNoOne) {
  if (under_wrapper()) GTEST_SKIP() << "FIFOs in the file system are POSIX only";
  State s;
  record(s, "one", 1);
  fs::remove(s.summary);
  ASSERT_EQ(mkfifo(s.summary.c_str(), 0600), 0);
  // Neither a recording nor a web read waits for a writer or a reader on
  // the other end; both go on without the summary.
  record(s, "two", 1);
  std::vector<std::string> ids = ids_in(s);
  EXPECT_EQ(ids.size(), 2u);
  std::string with_fifo = answers(s, ids);
  EXPECT_TRUE(fs::is_fifo(s.summary));
  fs::remove(s.summary);
  EXPECT_EQ(with_fifo, answers(s, ids));
}
