// The chain store when the system fails it: every file call of a recording
// failing once, a clear racing a recording, something that is not a file at
// the store's path, and a lock held by a process that has stopped. Nothing
// answered is lost, nothing healthy is moved aside, and no reader or server
// hangs. Linux only: the faults come from an injector loaded with
// LD_PRELOAD, and the other cases need POSIX processes, FIFOs and sockets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "live_mcp.h"
#include "mcp_helpers.h"
#include "store_helpers.h"
#include "web_support.h"

using namespace mcp_test;
using namespace store_test;
namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

// How long a server may wait for the store's lock before it answers anyway
// (the program's bounded wait), and what the tests allow beyond it. These
// are deadlines against hanging, not measures of speed: what they catch
// waits for ever.
constexpr milliseconds kLockWait{2000};
constexpr milliseconds kSlack{1000};
// "At once": well under the lock's wait, which a server must not even begin.
constexpr milliseconds kAtOnce{1500};

const char* fault_library() {
  const char* lib = std::getenv("VELTRANE_FAULT_LIB");
  return lib && *lib ? lib : nullptr;
}

#define SKIP_UNLESS_NATIVE_LINUX()                                                      \
  do {                                                                                  \
    if (under_wrapper()) GTEST_SKIP() << "POSIX processes, FIFOs and LD_PRELOAD only";  \
    if (!fault_library()) GTEST_SKIP() << "VELTRANE_FAULT_LIB names no fault injector"; \
  } while (0)

// The environment of a server with the injector loaded; an ASan build must
// be told that the injector may come first.
std::map<std::string, std::string> faulty_env(const std::string& state_dir,
                                              std::map<std::string, std::string> faults) {
  faults["VELTRANE_STATE_DIR"] = state_dir;
  faults["LD_PRELOAD"] = fault_library();
  faults["ASAN_OPTIONS"] = "verify_asan_link_order=0";
  return faults;
}

std::vector<std::string> log_lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// How many calls of this kind the log shows.
int calls_of(const std::vector<std::string>& log, const std::string& op) {
  int n = 0;
  for (const auto& line : log) n += line.rfind(op + " ", 0) == 0 ? 1 : 0;
  return n;
}

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool has_name_starting(const std::string& dir, const std::string& prefix) {
  for (const auto& name : names_in(dir))
    if (name.rfind(prefix, 0) == 0) return true;
  return false;
}

// A store that another program wrote: no summary beside it.
const std::string kForeignStore =
    R"({"chains":[{"id":"th-old","started_at":1,"updated_at":2,"thoughts":[{"thought":"old","thought_number":1,)"
    R"("total_thoughts":1,"next_needed":false,"at":2}],"count":1,"branches":[]}]})";

const std::string kTwoCalls = call("1", thought_args("alpha", 1, 2)) + call("2", thought_args("beta", 2, 2));
const std::string kTwoAnswers =
    tool_result("1", record(1, 2, true, {}, 1), false) + tool_result("2", record(2, 2, false, {}, 2), false);

struct Start {
  const char* what;
  // Prepares the state directory.
  void (*prepare)(const std::string& dir);
};

const Start kStarts[] = {
    {"a first recording", [](const std::string&) {}},
    {"a store this program wrote",
     [](const std::string& dir) {
       RunResult r =
           run_program({"--mcp"}, {{"VELTRANE_STATE_DIR", dir}}, call("1", thought_args("earlier", 1, 1)));
       ASSERT_EQ(r.status, 0);
     }},
    {"a store another program wrote",
     [](const std::string& dir) { write_bytes(dir + "/chains.json", kForeignStore); }},
};

}  // namespace

// Every file call a recording makes, failing once with EIO (and the writes
// and syncs with ENOSPC too): the answers never change, the store stays a
// valid store that holds what it held, nothing is moved aside, no temporary
// file stays, and the thought that could not be written is written with
// the next one.
TEST(StoreUnderFaults, EveryFailingCallOfARecordingLosesNothing) {
  SKIP_UNLESS_NATIVE_LINUX();
  struct Fault {
    std::string op;
    const char* error;
  } faults[] = {{"open", "EIO"},     {"read", "EIO"},   {"write", "EIO"},
                {"write", "ENOSPC"}, {"fsync", "EIO"},  {"fsync", "ENOSPC"},
                {"rename", "EIO"},   {"unlink", "EIO"}, {"flock", "EIO"}};
  int fired = 0;
  for (const Start& start : kStarts) {
    // What the two recordings do when nothing fails.
    TempDir counting;
    start.prepare(counting.str());
    std::string why;
    RunResult clean = run_program(
        {"--mcp"}, faulty_env(counting.str(), {{"VELTRANE_FAULT_LOG", counting.file("log")}}), kTwoCalls);
    ASSERT_EQ(clean.out, kTwoAnswers) << start.what;
    std::vector<std::string> log = log_lines(counting.file("log"));

    for (const Fault& f : faults) {
      // A clean recording removes nothing; the removal of a temporary file
      // left by a failed write is what can fail.
      const bool after_a_write = f.op == "unlink";
      const int count = after_a_write ? 1 : calls_of(log, f.op);
      for (int n = 1; n <= count; ++n) {
        std::string label = std::string(start.what) + ", " + f.op + " #" + std::to_string(n) + " " + f.error;
        TempDir root;
        const std::string state = root.file("state");
        fs::create_directory(state);
        start.prepare(state);
        std::vector<SeenChain> before;
        if (fs::exists(state + "/chains.json"))
          before = *parse_store(read_bytes(state + "/chains.json"), &why);
        std::string failing =
            after_a_write ? "write:1,unlink:" + std::to_string(n) : f.op + ":" + std::to_string(n);
        LiveMcp server(faulty_env(state, {{"VELTRANE_FAULT", failing},
                                          {"VELTRANE_FAULT_ERRNO", f.error},
                                          {"VELTRANE_FAULT_LOG", root.file("log")}}));
        server.send(call("1", thought_args("alpha", 1, 2)));
        std::optional<std::string> first = server.answer(kLockWait + kSlack);
        // A failed replacement takes its temporary file away with it (unless
        // removing it is what failed; the next recording then reuses it).
        if (!after_a_write) {
          EXPECT_FALSE(fs::exists(state + "/chains.json.tmp"))
              << label << ": a temporary file stayed after a failure";
        }
        server.send(call("2", thought_args("beta", 2, 2)));
        std::optional<std::string> second = server.answer(kLockWait + kSlack);
        EXPECT_EQ(server.finish(), 0) << label;
        EXPECT_EQ(first.value_or("") + second.value_or(""), kTwoAnswers) << label;
        std::vector<std::string> seen = log_lines(root.file("log"));
        bool failed = false;
        for (const auto& line : seen) failed = failed || line.find(" failed") != std::string::npos;
        EXPECT_TRUE(failed) << label << ": the fault never fired";
        fired += failed ? 1 : 0;

        auto after = parse_store(read_bytes(state + "/chains.json"), &why);
        ASSERT_TRUE(after) << label << ": " << why;
        ASSERT_EQ(after->size(), before.size() + 1) << label;
        for (size_t k = 0; k < before.size(); ++k) EXPECT_EQ((*after)[k], before[k]) << label;
        EXPECT_EQ(after->back().thoughts, (std::vector<SeenThought>{{"alpha", 1}, {"beta", 2}}))
            << label << ": both thoughts, in order";
        EXPECT_FALSE(has_name_starting(state, "chains.json.unreadable"))
            << label << ": nothing healthy moved aside";
        EXPECT_FALSE(fs::exists(state + "/chains.json.tmp")) << label << ": a temporary file stayed";
      }
    }
  }
  EXPECT_GT(fired, 40) << "too few faults fired to cover a recording";
}

// A clear while a recording is between its read and its replacement (its
// sync slowed down): the clear waits for the recording, the store stays
// cleared, and only what was answered after the clear is in it.
TEST(StoreUnderFaults, AClearIsNotUndoneByARecordingInFlight) {
  SKIP_UNLESS_NATIVE_LINUX();
  TempDir root;
  const std::string state = root.file("state");
  fs::create_directory(state);
  kStarts[1].prepare(state);  // an earlier chain, to be cleared too
  const std::string log = root.file("log");
  LiveMcp server(faulty_env(state, {{"VELTRANE_FAULT_DELAY", "fsync:1500"}, {"VELTRANE_FAULT_LOG", log}}));
  server.send(call("1", thought_args("before the clear", 1, 2)));
  // Wait until the recording is in its slowed sync, holding the lock.
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (calls_of(log_lines(log), "fsync") == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(milliseconds(10));
  ASSERT_EQ(calls_of(log_lines(log), "fsync"), 1) << "the recording never reached its sync";

  auto started = std::chrono::steady_clock::now();
  RunResult clear = clear_request(state);
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(clear.out, kJsonHeaders + "{\"ok\":true,\"cleared\":true}\n");
  EXPECT_GE(waited, milliseconds(500)) << "the clear did not wait for the recording in flight";
  EXPECT_FALSE(fs::exists(state + "/chains.json")) << "cleared";

  EXPECT_EQ(server.answer(std::chrono::seconds(5)), tool_result("1", record(1, 2, true, {}, 1), false));
  server.send(call("2", thought_args("after the clear", 2, 2)));
  EXPECT_EQ(server.answer(std::chrono::seconds(5)), tool_result("2", record(2, 2, false, {}, 2), false));
  EXPECT_EQ(server.finish(), 0);

  std::string why;
  auto chains = parse_store(read_bytes(state + "/chains.json"), &why);
  ASSERT_TRUE(chains) << why;
  ASSERT_EQ(chains->size(), 1u);
  EXPECT_EQ(chains->front().thoughts, (std::vector<SeenThought>{{"after the clear", 2}}));
}

// A FIFO, a directory or a socket named chains.json: the web's reads answer
// "state unreadable" at once, a server answers its calls at once, and
// nothing in the directory is moved, created or waited for.
TEST(StoreUnderFaults, WhatIsNotAFileAtTheStorePathIsLeftAlone) {
  SKIP_UNLESS_NATIVE_LINUX();
  struct Case {
    const char* what;
    bool (*make)(const std::string& path);
  } cases[] = {
      {"a FIFO", [](const std::string& path) { return mkfifo(path.c_str(), 0644) == 0; }},
      {"a directory", [](const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }},
      {"a socket",
       [](const std::string& path) {
         int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address = {};
         address.sun_family = AF_UNIX;
         if (fd < 0 || path.size() >= sizeof address.sun_path) return false;
         path.copy(address.sun_path, path.size());
         bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
         close(fd);  // the socket file stays
         return ok;
       }},
  };
  for (const auto& c : cases) {
    TempDir root;
    const std::string state = root.file("s");  // short: a socket's path is limited
    fs::create_directory(state);
    ASSERT_TRUE(c.make(state + "/chains.json")) << c.what;
    const std::vector<std::string> before = names_in(state);

    for (const char* query : {"action=chains", "action=stats", "action=chain&id=th-1"}) {
      auto started = std::chrono::steady_clock::now();
      RunResult r = web_request(state, {{"QUERY_STRING", query}});
      EXPECT_EQ(r.out, error_answer("state unreadable")) << c.what << " " << query;
      EXPECT_LT(std::chrono::steady_clock::now() - started, kAtOnce) << c.what << " " << query;
    }

    auto started = std::chrono::steady_clock::now();
    RunResult r = run_program({"--mcp"}, {{"VELTRANE_STATE_DIR", state}}, kTwoCalls);
    EXPECT_EQ(r.out, kTwoAnswers) << c.what;
    EXPECT_LT(std::chrono::steady_clock::now() - started, kAtOnce) << c.what << ": the server waited";
    EXPECT_EQ(names_in(state), before) << c.what << ": something was moved or created";
  }
}

// A read error while a web action reads the store answers "state
// unreadable": what was read before the error is no store, and certainly
// not an empty one. The file is left as it is.
TEST(StoreUnderFaults, AReadErrorIsNoEmptyStoreToTheWeb) {
  SKIP_UNLESS_NATIVE_LINUX();
  TempDir root;
  const std::string state = root.file("state");
  fs::create_directory(state);
  kStarts[2].prepare(state);  // no summary: every action reads the store itself
  for (const char* query : {"action=chains", "action=stats", "action=chain&id=th-old"}) {
    std::map<std::string, std::string> env = faulty_env(state, {{"VELTRANE_FAULT", "read:1"}});
    env["QUERY_STRING"] = query;
    EXPECT_EQ(run_program({}, env).out, error_answer("state unreadable")) << query;
    RunResult healthy = web_request(state, {{"QUERY_STRING", query}});
    EXPECT_NE(healthy.out.find("\"ok\":true"), std::string::npos) << query << ": " << healthy.out;
  }
  EXPECT_EQ(read_bytes(state + "/chains.json"), kForeignStore);
}

// A lock held by a process that has stopped: other servers still answer
// every call within the bounded wait, and once the holder is gone every
// thought they kept is written, in order.
TEST(StoreUnderFaults, AStoppedLockHolderDelaysNoAnswerAndLosesNoThought) {
  SKIP_UNLESS_NATIVE_LINUX();
  TempDir root;
  const std::string state = root.file("state");
  fs::create_directory(state);
  kStarts[1].prepare(state);
  const std::string lock_path = state + "/chains.json.lock";

  pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    int fd = open(lock_path.c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
    raise(SIGSTOP);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(holder, &status, WUNTRACED), holder);
  ASSERT_TRUE(WIFSTOPPED(status)) << "the holder did not take the lock";

  LiveMcp server({{"VELTRANE_STATE_DIR", state}});
  for (int i = 1; i <= 3; ++i) {
    auto started = std::chrono::steady_clock::now();
    server.send(call(std::to_string(i), thought_args("kept " + std::to_string(i), i, 4)));
    EXPECT_EQ(server.answer(kLockWait + kSlack + milliseconds(500)),
              tool_result(std::to_string(i), record(i, 4, true, {}, static_cast<size_t>(i)), false))
        << "call " << i;
    EXPECT_LT(std::chrono::steady_clock::now() - started, kLockWait + kSlack) << "call " << i;
  }
  std::string why;
  auto held = parse_store(read_bytes(state + "/chains.json"), &why);
  ASSERT_TRUE(held) << why;
  EXPECT_EQ(held->size(), 1u) << "nothing written while the lock was held";

  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  server.send(call("4", thought_args("kept 4", 4, 4)));
  EXPECT_EQ(server.answer(kLockWait + kSlack), tool_result("4", record(4, 4, false, {}, 4), false));
  auto written = parse_store(read_bytes(state + "/chains.json"), &why);
  ASSERT_TRUE(written) << why;
  ASSERT_EQ(written->size(), 2u);
  EXPECT_EQ(written->back().thoughts,
            (std::vector<SeenThought>{{"kept 1", 1}, {"kept 2", 2}, {"kept 3", 3}, {"kept 4", 4}}));
  EXPECT_EQ(server.finish(), 0);
}

// The last thoughts of a run that never got the lock are written when the
// input ends, once the lock is free again.
TEST(StoreUnderFaults, PendingThoughtsAreWrittenWhenTheInputEnds) {
  SKIP_UNLESS_NATIVE_LINUX();
  TempDir root;
  const std::string state = root.file("state");
  fs::create_directory(state);
  // Close-on-exec: a server that inherited the lock would hold it too.
  int fd = open((state + "/chains.json.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  LiveMcp server({{"VELTRANE_STATE_DIR", state}});
  server.send(kTwoCalls);
  EXPECT_TRUE(server.answer(kLockWait + kSlack));
  EXPECT_TRUE(server.answer(kLockWait + kSlack));
  EXPECT_FALSE(fs::exists(state + "/chains.json"));
  close(fd);  // the lock is free: the last attempt at the end of input succeeds
  EXPECT_EQ(server.finish(), 0);
  std::string why;
  auto chains = parse_store(read_bytes(state + "/chains.json"), &why);
  ASSERT_TRUE(chains) << why;
  ASSERT_EQ(chains->size(), 1u);
  EXPECT_EQ(chains->front().thoughts, (std::vector<SeenThought>{{"alpha", 1}, {"beta", 2}}));
}
