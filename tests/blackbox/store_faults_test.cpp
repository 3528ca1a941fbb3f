// The chain store when its directory or its file is not as it should be:
// the server's answers never change, nothing extra is printed, and no
// stored byte is lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mcp_helpers.h"
#include "store_helpers.h"
#include "support/unwritable_dir.h"

using namespace mcp_test;
using namespace store_test;
namespace fs = std::filesystem;

namespace {

// One session: two thoughts (the second opens a branch), a rejected call,
// a third thought and a ping.
const std::string kSession =
    call("1", thought_args("first", 1, 3)) +
    call("2", R"({"thought":"second","thoughtNumber":2,"totalThoughts":3,"nextThoughtNeeded":true,)"
              R"("branchFromThought":1,"branchId":"alt"})") +
    call("3", R"({"thoughtNumber":3})") + call("4", thought_args("third", 3, 3)) + request("5", "ping");

const std::string kSessionAnswers = tool_result("1", record(1, 3, true, {}, 1), false) +
                                    tool_result("2", record(2, 3, true, {"alt"}, 2), false) +
                                    tool_result("3", failure("Invalid thought: must be a string"), true) +
                                    tool_result("4", record(3, 3, false, {"alt"}, 3), false) + pong("5");

const std::string kSessionConsole =
    "[veltrane] Thought 1/3\n[veltrane] Branch 2/3 (from thought 1, ID: alt)\n[veltrane] Thought 3/3\n";

const std::vector<SeenThought> kSessionThoughts = {{"first", 1}, {"second", 2}, {"third", 3}};

RunResult run_session(const std::string& state_dir) {
  return run_program({"--mcp"}, {{"VELTRANE_STATE_DIR", state_dir}}, kSession);
}

// Runs the session against a state directory where nothing can be
// recorded, and checks that the server behaves exactly as usual and leaves
// every file under root as it was.
void expect_unrecorded_session(const TempDir& root, const std::string& state_dir, const std::string& label) {
  std::map<std::string, std::string> before = snapshot_files(root.str());
  RunResult r = run_session(state_dir);
  EXPECT_EQ(r.status, 0) << label;
  EXPECT_EQ(r.out, kSessionAnswers) << label;
  EXPECT_EQ(r.err, kSessionConsole) << label << ": only the console lines";
  EXPECT_EQ(snapshot_files(root.str()), before) << label << ": files changed";
}

std::vector<std::string> aside_names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    if (name.rfind("chains.json.unreadable-", 0) == 0) names.push_back(name);
  }
  return names;
}

// A valid store of one chain, padded with blanks after its value to size
// bytes.
std::string padded_store(size_t size) {
  std::string text =
      R"({"chains":[{"id":"th-old","started_at":1,"updated_at":2,"thoughts":[{"thought":"old","thought_number":1,)"
      R"("total_thoughts":1,"next_needed":false,"at":1}],"count":1,"branches":[]}]})";
  text.resize(size, ' ');
  return text;
}

constexpr size_t kReadCap = 8388608;

}  // namespace

TEST(StoreFaults, AStateDirectoryThatIsAFileChangesNoAnswer) {
  struct Case {
    std::string below;  // the state directory, under the test's folder
    std::string what;
  } cases[] = {
      {"plain", "the path names a regular file"},
      {"plain/sub", "an ancestor is a regular file"},
      {"plain/sub/deeper", "a further ancestor is a regular file"},
  };
  for (const auto& c : cases) {
    TempDir root;
    write_bytes(root.file("plain"), "not a directory");
    expect_unrecorded_session(root, root.file(c.below), c.what);
  }
}

TEST(StoreFaults, AnUnwritableStateDirectoryChangesNoAnswer) {
  struct Case {
    bool with_store;  // a server recorded there before it became unwritable
    std::string what;
  } cases[] = {
      {true, "unwritable directory holding a store"},
      {false, "unwritable empty directory"},
  };
  for (const auto& c : cases) {
    TempDir root;
    std::string dir = root.file("state");
    fs::create_directory(dir);
    if (c.with_store) {
      RunResult first = run_session(dir);
      ASSERT_EQ(first.out, kSessionAnswers);
      ASSERT_TRUE(read_if_present(root.file("state/chains.json")));
    }
    UnwritableDir guard(dir);  // undone before root goes away
    if (!guard.on()) GTEST_SKIP() << guard.how();
    expect_unrecorded_session(root, dir, c.what + " (" + guard.how() + ")");
  }
}

TEST(StoreFaults, AFileThatIsNotAStoreIsKeptAsideWhole) {
  const std::string torn = padded_store(200).substr(0, 90);  // cut inside the first thought
  struct Case {
    std::string bytes;
    bool moved_aside;
    std::string what;
  } cases[] = {
      {"this is not JSON\n", true, "not JSON"},
      {torn, true, "a store cut short"},
      {"", true, "an empty file"},
      {"\xEF\xBB\xBF" + padded_store(200), true, "a store behind a byte-order mark"},
      {padded_store(kReadCap + 1), true, "a valid store one byte over the read cap"},
      {padded_store(kReadCap), false, "a valid store exactly at the read cap"},
  };
  for (const auto& c : cases) {
    TempDir state;
    const std::string path = state.file("chains.json");
    write_bytes(path, c.bytes);

    RunResult r = run_session(state.str());
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_EQ(r.out, kSessionAnswers) << c.what;
    EXPECT_EQ(r.err, kSessionConsole) << c.what;

    std::vector<std::string> aside = aside_names(state.str());
    std::string why;
    auto chains = parse_store(read_bytes(path), &why);
    ASSERT_TRUE(chains) << c.what << ": " << why;
    std::vector<SeenThought> old_chain = {{"old", 1}};
    if (c.moved_aside) {
      ASSERT_EQ(aside.size(), 1u) << c.what;
      EXPECT_EQ(read_bytes(state.file(aside[0])), c.bytes)
          << c.what << ": the old bytes must be kept exactly";
      EXPECT_NE(aside[0].find_first_of("0123456789"), std::string::npos) << aside[0];
      ASSERT_EQ(chains->size(), 1u) << c.what;
      EXPECT_EQ((*chains)[0].thoughts, kSessionThoughts) << c.what;
    } else {
      EXPECT_TRUE(aside.empty()) << c.what;
      ASSERT_EQ(chains->size(), 2u) << c.what;
      EXPECT_EQ((*chains)[0].thoughts, old_chain) << c.what;
      EXPECT_EQ((*chains)[1].thoughts, kSessionThoughts) << c.what;
    }

    // The fresh file is a store: the next server records beside the first
    // session and moves nothing aside again.
    RunResult next =
        run_program({"--mcp"}, {{"VELTRANE_STATE_DIR", state.str()}}, call("1", thought_args("next", 1, 1)));
    EXPECT_EQ(next.out, tool_result("1", record(1, 1, false, {}, 1), false)) << c.what;
    EXPECT_EQ(aside_names(state.str()).size(), aside.size()) << c.what;
    auto after = parse_store(read_bytes(path), &why);
    ASSERT_TRUE(after) << c.what << ": " << why;
    ASSERT_EQ(after->size(), chains->size() + 1) << c.what;
    EXPECT_EQ(after->back().thoughts, (std::vector<SeenThought>{{"next", 1}})) << c.what;
    EXPECT_FALSE(read_if_present(path + ".tmp")) << c.what << ": no temporary file stays behind";
  }
}
