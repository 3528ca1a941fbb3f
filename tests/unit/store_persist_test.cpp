// Recording thoughts into the chains file on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/file.h"
#include "scoped_env.h"
#include "store/files.h"
#include "store/format_records.h"
#include "store/format_write.h"
#include "store/recorder.h"
#include "support/store_builders.h"
#include "support/temp_dir.h"
#include "support/unwritable_dir.h"

namespace fs = std::filesystem;

namespace {

// The state directory at a path, for the length of a test.
struct StateDir {
  explicit StateDir(const std::string& dir) : path(dir), env("VELTRANE_STATE_DIR", dir.c_str()) {}
  std::string chains() const { return path + "/chains.json"; }

  std::string path;
  ScopedEnv env;
};

// The file must always be what the writer would write for what it holds.
using store_builders::chains_in_file;

Thought thought(int64_t n, std::string text = "a thought") {
  return store_builders::accepted(n, std::move(text));
}

std::vector<std::string> aside_files(const TempDir& tmp) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(tmp.path())) {
    std::string name = e.path().filename().string();
    if (name.find(".unreadable-") != std::string::npos) names.push_back(e.path().string());
  }
  return names;
}

}  // namespace

TEST(StorePersist, FirstRecordingCreatesTheDirectoryFromTheTop) {
  StoreRecorder recorder;
  TempDir tmp;
  StateDir dir(tmp.file("a/b/c"));
  persist_thought(recorder, "th-1", thought(1));
  std::vector<Chain> chains = chains_in_file(dir.chains());
  ASSERT_EQ(chains.size(), 1u);
  const Chain& c = chains[0];
  EXPECT_EQ(c.id, "th-1");
  ASSERT_EQ(c.thoughts.size(), 1u);
  EXPECT_EQ(c.started_at, c.updated_at);
  EXPECT_EQ(c.thoughts[0].at, c.started_at);
  EXPECT_GT(c.started_at, 1600000000);
  EXPECT_TRUE(fs::exists(dir.chains() + ".lock"));
  EXPECT_FALSE(fs::exists(dir.chains() + ".tmp"));

  int64_t started = c.started_at;
  persist_thought(recorder, "th-1", thought(2));
  persist_thought(recorder, "th-2", thought(1));
  chains = chains_in_file(dir.chains());
  ASSERT_EQ(chains.size(), 2u);
  EXPECT_EQ(chains[0].thoughts.size(), 2u);
  EXPECT_EQ(chains[0].started_at, started);
  EXPECT_EQ(chains[1].id, "th-2");
}

TEST(StorePersist, AllThoughtFieldsAreStored) {
  StoreRecorder recorder;
  TempDir tmp;
  StateDir dir(tmp.str());
  Thought t = thought(3, "line\n\"quoted\"");
  t.totalThoughts = 5;
  t.isRevision = true;
  t.revisesThought = 2;
  t.branchFromThought = 1;
  t.branchId = "";
  t.needsMoreThoughts = true;
  t.nextThoughtNeeded = false;
  persist_thought(recorder, "th-x", t);
  std::vector<Chain> chains = chains_in_file(dir.chains());
  ASSERT_EQ(chains.size(), 1u);
  StoredThought want = stored_thought_from(t, chains[0].updated_at);
  EXPECT_EQ(chains[0].thoughts.at(0), want);
  EXPECT_NE(read_bytes(dir.chains()).find(R"("branch_id":"","needs_more":true)"), std::string::npos);
  EXPECT_NE(read_bytes(dir.chains()).find(R"("branches":[""])"), std::string::npos);
}

TEST(StorePersist, NothingIsRecordedWithoutAUsableDirectory) {
  StoreRecorder recorder;
  TempDir tmp;
  write_bytes(tmp.file("plain"), "x");
  fs::path cwd = fs::current_path();
  fs::current_path(tmp.path());
  struct {
    std::string dir;
    const char* why;
  } cases[] = {
      {"ab/c", "a relative first component of two bytes is never created"},
      {tmp.file("plain"), "the path names a regular file"},
      {tmp.file("plain/sub"), "an ancestor is a regular file"},
  };
  for (const auto& c : cases) {
    StateDir dir(c.dir);
    persist_thought(recorder, "th-1", thought(1));
    EXPECT_FALSE(fs::exists(dir.chains())) << c.why;
  }
  EXPECT_FALSE(fs::exists(tmp.file("ab"))) << "ab must not be created";
  EXPECT_EQ(read_bytes(tmp.file("plain")), "x");
  fs::current_path(cwd);
}

TEST(StorePersist, LeftoverTemporaryFileIsReused) {
  StoreRecorder recorder;
  TempDir tmp;
  StateDir dir(tmp.str());
  write_bytes(dir.chains() + ".tmp", std::string(100000, 'z'));
  persist_thought(recorder, "th-1", thought(1));
  EXPECT_FALSE(fs::exists(dir.chains() + ".tmp"));
  EXPECT_EQ(chains_in_file(dir.chains()).size(), 1u);
}

TEST(StorePersist, AFileThatIsNotAStoreIsKeptAside) {
  StoreRecorder recorder;
  std::string oversized = R"({"chains":[]})" + std::string(READ_FILE_MAX, ' ');
  const std::string cases[] = {
      "",
      "{\"chains\":[{\"id\":\"a\"",
      std::string("{\"chains\":[]}\0tail", 18),
      "[1,2]",
      "{\"chains\":{}}",
      "{}",
      oversized,
  };
  for (const auto& bytes : cases) {
    std::string label = bytes.substr(0, 30) + " (" + std::to_string(bytes.size()) + " bytes)";
    TempDir tmp;
    StateDir dir(tmp.str());
    write_bytes(dir.chains(), bytes);
    persist_thought(recorder, "th-1", thought(1));
    std::vector<std::string> aside = aside_files(tmp);
    ASSERT_EQ(aside.size(), 1u) << label;
    EXPECT_EQ(read_bytes(aside[0]), bytes) << label;
    std::vector<Chain> chains = chains_in_file(dir.chains());
    ASSERT_EQ(chains.size(), 1u) << label;
    EXPECT_EQ(chains[0].thoughts.size(), 1u) << label;
  }
}

TEST(StorePersist, AnEmptyStoreIsNoReasonToMoveAside) {
  StoreRecorder recorder;
  TempDir tmp;
  StateDir dir(tmp.str());
  write_bytes(dir.chains(), R"({"chains":[]})");
  persist_thought(recorder, "th-1", thought(1));
  EXPECT_TRUE(aside_files(tmp).empty());
  EXPECT_EQ(chains_in_file(dir.chains()).size(), 1u);
}

TEST(StorePersist, MoveAsideNeverReplacesAnEarlierCopy) {
  TempDir tmp;
  std::string path = tmp.file("chains.json");
  struct {
    std::string content;
    std::string want_name;
  } cases[] = {
      {"one", path + ".unreadable-77"},
      {"two", path + ".unreadable-77-1"},
      {"three", path + ".unreadable-77-2"},
  };
  for (const auto& c : cases) {
    write_bytes(path, c.content);
    EXPECT_EQ(move_aside(path, 77), c.want_name);
  }
  for (const auto& c : cases) EXPECT_EQ(read_bytes(c.want_name), c.content);
  EXPECT_FALSE(fs::exists(path));
}

TEST(StorePersist, AFileThatCannotBeOpenedIsLeftAlone) {
  StoreRecorder recorder;
  TempDir tmp;
  StateDir dir(tmp.str());
  fs::create_directory(dir.chains());  // exists, but is no readable file
  persist_thought(recorder, "th-1", thought(1));
  EXPECT_TRUE(fs::is_directory(dir.chains()));
  EXPECT_TRUE(aside_files(tmp).empty());
}

TEST(StorePersist, OutsideChangesBetweenRecordingsAreSeen) {
  StoreRecorder recorder;
  TempDir tmp;
  StateDir dir(tmp.str());
  persist_thought(recorder, "th-1", thought(1, "xxxx"));
  persist_thought(recorder, "th-1", thought(2, "zzzz"));
  EXPECT_EQ(recorder.TEST_last_source, StoreRecorder::Source::kept);
  // Rewritten in place with the same size: only the bytes differ.
  std::string bytes = read_bytes(dir.chains());
  bytes.replace(bytes.find("xxxx"), 4, "yyyy");
  write_bytes(dir.chains(), bytes);
  persist_thought(recorder, "th-1", thought(3));
  EXPECT_EQ(recorder.TEST_last_source, StoreRecorder::Source::file)
      << "neither kept nor summarised: read whole";
  std::vector<Chain> chains = chains_in_file(dir.chains());
  ASSERT_EQ(chains.size(), 1u);
  ASSERT_EQ(chains[0].thoughts.size(), 3u);
  EXPECT_EQ(chains[0].thoughts[0].text, "yyyy");

  fs::remove(dir.chains());  // as the web "clear" does
  persist_thought(recorder, "th-1", thought(3));
  chains = chains_in_file(dir.chains());
  ASSERT_EQ(chains.size(), 1u);
  EXPECT_EQ(chains[0].thoughts.size(), 1u);
  EXPECT_EQ(chains[0].thoughts[0].thought_number, 3);

  // Another writer's file, replaced by rename.
  write_bytes(
      dir.chains() + ".other",
      R"({"chains":[{"id":"th-9","started_at":1,"updated_at":2,"thoughts":[],"count":0,"branches":[]}]})");
  fs::rename(dir.chains() + ".other", dir.chains());
  persist_thought(recorder, "th-1", thought(4));
  chains = chains_in_file(dir.chains());
  ASSERT_EQ(chains.size(), 2u);
  EXPECT_EQ(chains[0].id, "th-9");
}

TEST(StorePersist, TheFileNeverOutgrowsTheReadCap) {
  StoreRecorder recorder;
  TempDir tmp;
  StateDir dir(tmp.str());
  // Three chains of about 2.65 MiB each: together just under the cap.
  std::string big(2700, 'b');
  std::string chains_json = "{\"chains\":[";
  for (int k = 0; k < 3; ++k) {
    if (k) chains_json += ",";
    chains_json += "{\"id\":\"c" + std::to_string(k) +
                   "\",\"started_at\":1,\"updated_at\":" + std::to_string(10 + k) + ",\"thoughts\":[";
    for (int i = 0; i < 1000; ++i) {
      if (i) chains_json += ",";
      chains_json += "{\"thought\":\"" + big +
                     "\",\"thought_number\":1,\"total_thoughts\":1,\"next_needed\":false,\"at\":1}";
    }
    chains_json += "],\"count\":1000,\"branches\":[]}";
  }
  chains_json += "]}";
  ASSERT_LT(chains_json.size(), READ_FILE_MAX);
  write_bytes(dir.chains(), chains_json);

  persist_thought(recorder, "th-new", thought(1, std::string(200000, 'n')));
  std::vector<Chain> chains = chains_in_file(dir.chains());
  EXPECT_LE(fs::file_size(dir.chains()), READ_FILE_MAX);
  ASSERT_EQ(chains.size(), 3u);
  EXPECT_EQ(chains[0].id, "c1") << "the least recently updated chain made room";
  EXPECT_EQ(chains[2].id, "th-new");

  // A thought that cannot fit on its own leaves the file as it was.
  std::string before = read_bytes(dir.chains());
  persist_thought(recorder, "th-new", thought(2, std::string(READ_FILE_MAX, 'h')));
  EXPECT_EQ(read_bytes(dir.chains()), before);
}

TEST(StorePersist, AnUnwritableDirectoryKeepsTheFile) {
  StoreRecorder recorder;
  TempDir tmp;
  StateDir dir(tmp.file("ro"));
  persist_thought(recorder, "th-1", thought(1));
  std::string before = read_bytes(dir.chains());
  ASSERT_FALSE(before.empty());
  {
    UnwritableDir guard(dir.path);
    if (!guard.on()) GTEST_SKIP() << guard.how();
    persist_thought(recorder, "th-1", thought(2));
    EXPECT_EQ(read_bytes(dir.chains()), before) << guard.how();
    EXPECT_FALSE(fs::exists(dir.chains() + ".tmp")) << guard.how();
  }
  persist_thought(recorder, "th-1", thought(3));
  // Recording resumes once it is writable, the thought that waited first.
  std::vector<Chain> chains = chains_in_file(dir.chains());
  std::vector<int64_t> numbers;
  for (const auto& t : chains.at(0).thoughts) numbers.push_back(t.thought_number);
  EXPECT_EQ(numbers, (std::vector<int64_t>{1, 2, 3}));
}
