// Several processes recording into one state directory, and recorders that
// die at any moment: no thought may be lost and the file must always read
// as a whole store.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "scoped_env.h"
#include "store/format_records.h"
#include "store/format_write.h"
#include "store/recorder.h"
#include "support/store_builders.h"
#include "support/temp_dir.h"

namespace {

Thought numbered(int64_t n) { return store_builders::accepted(n, "thought " + std::to_string(n)); }

// Thought counts per chain id; fails the test when the file exists but is
// not exactly a store as the writer writes it.
std::map<std::string, size_t> snapshot(const std::string& path, bool* ok) {
  std::map<std::string, size_t> counts;
  *ok = true;
  std::ifstream in(path, std::ios::binary);
  if (!in) return counts;  // not there yet
  in.seekg(0, std::ios::end);
  std::string bytes(static_cast<size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  auto chains = read_chains(bytes);
  if (!chains) {
    *ok = false;
    return counts;
  }
  Buf again;
  chains_text(again, *chains);
  if (again.view() != bytes) *ok = false;
  for (const Chain& c : *chains) {
    // Within a chain the thoughts are 1..n without a gap.
    for (size_t i = 0; i < c.thoughts.size(); ++i) {
      if (c.thoughts[i].thought_number != static_cast<int64_t>(i + 1)) *ok = false;
    }
    counts[c.id.value_or("")] = c.thoughts.size();
  }
  return counts;
}

pid_t spawn_recorder(const std::string& session, int64_t first, int64_t count) {
  pid_t pid = fork();
  if (pid == 0) {
    StoreRecorder recorder;
    for (int64_t n = first; count < 0 || n < first + count; ++n)
      persist_thought(recorder, session.c_str(), numbered(n));
    _exit(0);
  }
  return pid;
}

int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return status;
}

}  // namespace

TEST(StoreProcesses, ConcurrentRecordersLoseNothing) {
  TempDir tmp;
  ScopedEnv env("VELTRANE_STATE_DIR", tmp.str().c_str());
  std::string path = tmp.file("chains.json");
  constexpr int kWriters = 4;
  constexpr int64_t kEach = 100;
  std::vector<pid_t> pids;
  for (int w = 0; w < kWriters; ++w) pids.push_back(spawn_recorder("th-w" + std::to_string(w), 1, kEach));

  // A reader polls the file the whole time, as the web actions do (no lock).
  size_t polls = 0, torn = 0;
  for (;;) {
    bool ok = false;
    snapshot(path, &ok);
    ++polls;
    if (!ok) ++torn;
    bool running = false;
    for (pid_t p : pids) running = running || waitpid(p, nullptr, WNOHANG) == 0;
    if (!running) break;
  }
  EXPECT_EQ(torn, 0u) << "of " << polls << " reads";

  bool ok = false;
  std::map<std::string, size_t> counts = snapshot(path, &ok);
  EXPECT_TRUE(ok);
  ASSERT_EQ(counts.size(), static_cast<size_t>(kWriters));
  for (const auto& [id, n] : counts) EXPECT_EQ(n, static_cast<size_t>(kEach)) << id;
}

TEST(StoreProcesses, ARecorderKilledAtAnyMomentLeavesAWholeFile) {
  TempDir tmp;
  ScopedEnv env("VELTRANE_STATE_DIR", tmp.str().c_str());
  std::string path = tmp.file("chains.json");
  std::mt19937 random(12345);
  std::map<std::string, size_t> settled;  // chains of recorders already killed
  // Rounds go on until 15 recorders got something recorded before they died
  // (staying well below the chain cap, so that nothing is evicted).
  for (int round = 0; round < 150 && settled.size() < 15; ++round) {
    std::string session = "th-k" + std::to_string(round);
    pid_t pid = spawn_recorder(session, 1, -1);
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 40000)(random)));
    kill(pid, SIGKILL);
    wait_for(pid);

    bool ok = false;
    std::map<std::string, size_t> counts = snapshot(path, &ok);
    ASSERT_TRUE(ok) << "round " << round;
    for (const auto& [id, n] : settled) EXPECT_EQ(counts[id], n) << id << " changed after round " << round;
    if (counts.count(session)) settled[session] = counts[session];
  }
  EXPECT_EQ(settled.size(), 15u) << "the recorders got too little done to test anything";
  // The lock is free again after all those deaths.
  StoreRecorder recorder;
  persist_thought(recorder, "th-after", numbered(1));
  bool ok = false;
  EXPECT_EQ(snapshot(path, &ok)["th-after"], 1u);
}
