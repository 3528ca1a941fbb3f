// Real MCP servers sharing one state directory, and servers killed while
// they record: no thought may be lost, and chains.json must read as a whole
// store at every moment.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "mcp_helpers.h"
#include "store_helpers.h"
#include "support/store_texts.h"

using namespace mcp_test;
using namespace store_test;

namespace {

// prefix and n in decimal. (Appending, rather than adding a literal to a
// temporary, keeps optimised GCC 12 builds free of a false restrict
// warning.)
std::string numbered(const char* prefix, long long n) {
  return std::string(prefix).append(std::to_string(n));
}

std::string text_of(int server, long long n) { return numbered("s", server).append(numbered(" t", n)); }

// The tools/call lines of one server: thoughts 1..count of count.
std::string thought_lines(int server, long long count) {
  std::string lines;
  for (long long n = 1; n <= count; ++n) {
    lines += call(std::to_string(n), thought_args(text_of(server, n), n, count));
  }
  return lines;
}

// Fails the test unless the chain holds exactly the first thoughts of the
// server's stream, in order.
void expect_prefix(const SeenChain& chain, int server, const std::string& where) {
  for (size_t i = 0; i < chain.thoughts.size(); ++i) {
    auto n = static_cast<long long>(i + 1);
    SeenThought want{text_of(server, n), n};
    if (chain.thoughts[i] != want) {
      ADD_FAILURE() << where << ": chain " << chain.id << " thought " << i << " is '"
                    << chain.thoughts[i].text << "', want '" << want.text << "'";
      return;
    }
  }
}

}  // namespace

TEST(StoreProcesses, ServersSharingADirectoryLoseNoThought) {
  if (under_wrapper()) GTEST_SKIP() << "needs fork and process ids of the servers themselves (POSIX only)";
  constexpr int kServers = 4;
  constexpr long long kEach = 50;
  TempDir io, state;
  const std::string path = state.file("chains.json");
  std::vector<pid_t> pids;
  for (int s = 0; s < kServers; ++s) {
    std::string name = io.file(numbered("s", s));
    write_bytes(name + ".in", thought_lines(s, kEach));
    pids.push_back(
        spawn_mcp({{"VELTRANE_STATE_DIR", state.str()}}, name + ".in", name + ".out", name + ".err"));
  }

  // A reader polls the file the whole time, as the web actions do: every
  // read must be a whole store, and what one read saw is never missing from
  // a later one.
  std::map<std::string, size_t> seen;  // thoughts per chain id, at the last read
  size_t reads = 0;
  std::vector<std::optional<int>> status(kServers);
  for (bool running = true; running;) {
    running = false;
    for (int s = 0; s < kServers; ++s) {
      if (!status[s]) status[s] = poll_child(pids[s]);
      running = running || !status[s];
    }
    std::optional<std::string> file = read_if_present(path);
    if (!file) continue;  // not written yet
    const std::string& bytes = *file;
    ++reads;
    std::string why;
    auto chains = parse_store(bytes, &why);
    if (!chains) {
      ADD_FAILURE() << "read " << reads << " is not a whole store (" << why << "): " << bytes.substr(0, 200);
      break;
    }
    for (const SeenChain& c : *chains) {
      EXPECT_GE(c.thoughts.size(), seen[c.id]) << c.id << " lost thoughts between two reads";
      seen[c.id] = c.thoughts.size();
    }
  }
  for (int s = 0; s < kServers; ++s) {
    if (!status[s]) status[s] = wait_child(pids[s]);  // after a failed read
  }
  EXPECT_GT(reads, 0u) << "the reader never saw the file while the servers ran";

  std::string why;
  auto chains = parse_store(read_bytes(path), &why);
  ASSERT_TRUE(chains) << why;
  EXPECT_EQ(chains->size(), static_cast<size_t>(kServers));
  for (int s = 0; s < kServers; ++s) {
    EXPECT_EQ(status[s], 0) << "server " << s;
    std::string name = io.file(numbered("s", s));
    std::string want_out, want_err;
    for (long long n = 1; n <= kEach; ++n) {
      want_out +=
          tool_result(std::to_string(n), record(n, kEach, n < kEach, {}, static_cast<size_t>(n)), false);
      want_err += "[veltrane] Thought " + std::to_string(n) + "/" + std::to_string(kEach) + "\n";
    }
    EXPECT_EQ(read_bytes(name + ".out"), want_out) << "server " << s;
    EXPECT_EQ(read_bytes(name + ".err"), want_err) << "server " << s;
    const SeenChain* chain = chain_of(*chains, pids[s]);
    ASSERT_NE(chain, nullptr) << "no chain of server " << s;
    EXPECT_EQ(chain->thoughts.size(), static_cast<size_t>(kEach)) << "server " << s;
    expect_prefix(*chain, s, "at the end");
  }
}

TEST(StoreProcesses, AServerKilledAtAnyMomentLeavesAWholeFile) {
  if (under_wrapper()) GTEST_SKIP() << "kills the server process itself with SIGKILL (POSIX only)";
  TempDir io, state;
  const std::string path = state.file("chains.json");
  const std::string in = io.file("thoughts.in");
  write_bytes(in, thought_lines(0, 5000));  // far more than a round can record
  // A chain of some 300 KB already in the store makes every replacement
  // take long enough for many kills to land in the middle of one.
  SeenChain seed{"th-seed", {}};
  std::vector<std::string> seed_thoughts;
  for (long long n = 1; n <= 300; ++n) {
    seed.thoughts.push_back({std::string(1000, 'x') + std::to_string(n), n});
    seed_thoughts.push_back(store_texts::written_thought(seed.thoughts.back().text, n, 300, 1));
  }
  write_bytes(path, store_texts::store_text(store_texts::written_chain("th-seed", 1, 1, seed_thoughts)));
  std::mt19937 random(20240611);
  std::vector<SeenChain> settled = {seed};  // the seed and the chains of the servers killed so far
  // 20 servers, each killed at a random moment: most once their first
  // answer is out (so that a recording is surely done and the next may be
  // under way), every fourth one soon after its start, whatever it did.
  // 20 chains stay well below the chain cap, so that nothing is evicted.
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    const std::string out = io.file(numbered("out", round));  // a fresh file: empty until answered
    pid_t pid = spawn_mcp({{"VELTRANE_STATE_DIR", state.str()}}, in, out, io.file("err"));
    bool early = round % 4 == 3;
    if (!early) {
      // Waits for the first answer, which follows the first recording; the
      // bound only keeps a broken server from hanging the test.
      for (int waited = 0; read_bytes(out).empty(); ++waited) {
        if (waited == 30000) {
          kill(pid, SIGKILL);
          wait_child(pid);
          FAIL() << "round " << round << ": no answer from the server";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    int most = early ? 5000 : 20000;
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, most)(random)));
    kill(pid, SIGKILL);
    wait_child(pid);

    std::string where = numbered("after round ", round);
    std::string bytes = read_if_present(path).value_or("(missing)");
    std::string why;
    auto chains = parse_store(bytes, &why);
    ASSERT_TRUE(chains) << where << ": " << why << ": " << bytes.substr(0, 200);
    const SeenChain* mine = chain_of(*chains, pid);
    ASSERT_EQ(chains->size(), settled.size() + (mine ? 1 : 0)) << where;
    for (size_t i = 0; i < settled.size(); ++i) {
      EXPECT_EQ((*chains)[i], settled[i]) << where << ": chain " << settled[i].id << " changed";
    }
    if (!early) {
      EXPECT_NE(mine, nullptr) << where << ": the server answered, but its thought is not in the file";
    }
    if (mine) {
      expect_prefix(*mine, 0, where);
      // Every answer follows its recording: what was answered is stored.
      std::string answers = read_bytes(out);
      auto answered = static_cast<size_t>(std::count(answers.begin(), answers.end(), '\n'));
      EXPECT_GE(mine->thoughts.size(), answered) << where << ": answered thoughts are missing";
      settled.push_back(*mine);
    }
  }

  // The store is not locked for good by a server that died holding it.
  RunResult r =
      run_program({"--mcp"}, {{"VELTRANE_STATE_DIR", state.str()}}, call("1", thought_args("last", 1, 1)));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, tool_result("1", record(1, 1, false, {}, 1), false));
  std::string why;
  auto chains = parse_store(read_bytes(path), &why);
  ASSERT_TRUE(chains) << why;
  ASSERT_EQ(chains->size(), settled.size() + 1);
  for (size_t i = 0; i < settled.size(); ++i) EXPECT_EQ((*chains)[i], settled[i]);
  EXPECT_EQ(chains->back().thoughts, (std::vector<SeenThought>{{"last", 1}}));
}
