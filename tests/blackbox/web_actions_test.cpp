// The JSON actions over a hand-written chains file, byte for byte as the
// web server passes them on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "support/temp_dir.h"
#include "web_support.h"

namespace fs = std::filesystem;

namespace {

// Five chain objects and one number. The first and the last chain share
// their id; the second has the wrong types in several places.
const std::string kChainOne =
    R"({"id":"th-1","started_at":100,"updated_at":130,"thoughts":[)"
    R"({"thought":"List the inputs","thought_number":1,"total_thoughts":3,"next_needed":true,"at":100},)"
    R"({"thought":"Try\r\nthe other order","thought_number":2,"total_thoughts":3,"next_needed":false,)"
    R"("is_revision":true,"revises":1,"branch_from":1,"branch_id":"alt","at":130}],"count":2,"branches":["alt"]})";
const std::string kChainTwo =
    R"({"id":"th-2","started_at":1.5,"updated_at":-5,"thoughts":[{"thought":"old","is_revision":1},)"
    R"({"thought":"older","is_revision":"true"},"x"],"branches":["b1",7,"b\"2"]})";
const std::string kFixture = R"({"chains":[)" + kChainOne + "," + kChainTwo +
                             R"(,42,{"thoughts":[]},{"id":"12345","updated_at":7},)"
                             R"({"id":"th-1","started_at":1,"updated_at":999,"thoughts":[]}]})";

const std::string kFixtureList =
    R"({"ok":true,"plugin":"plugin_veltrane","count":6,"state_dir_name":"state","chains":[)"
    R"({"id":"th-1","started_at":100,"updated_at":130,"thoughts":2,"branches":["alt"],"last_head":"Try\r","truncated":false,"first_head":"List the inputs"},)"
    R"({"id":"th-2","started_at":0,"updated_at":-5,"thoughts":3,"branches":["b1","","b\"2"],"last_head":"","truncated":false,"first_head":"old"},)"
    R"({"id":"","started_at":0,"updated_at":0,"thoughts":0,"branches":[],"last_head":"","truncated":false,"first_head":""},)"
    R"({"id":"12345","started_at":0,"updated_at":7,"thoughts":0,"branches":[],"last_head":"","truncated":false,"first_head":""},)"
    R"({"id":"th-1","started_at":1,"updated_at":999,"thoughts":0,"branches":[],"last_head":"","truncated":false,"first_head":""}]})";

// A state directory named "state" inside a temporary folder.
struct Store {
  TempDir tmp;
  std::string dir = tmp.file("state");
  Store() { fs::create_directory(dir); }
  explicit Store(const std::string& chains) : Store() { write(chains); }
  std::string chains_file() const { return (fs::path(dir) / "chains.json").string(); }
  void write(const std::string& chains) const { write_bytes(chains_file(), chains); }
  RunResult get(const std::string& query) const { return web_request(dir, {{"QUERY_STRING", query}}); }
  // A POST of JSON, the only request that may change the store.
  RunResult post(const std::string& query, const std::string& body) const {
    return web_request(dir,
                       {{"QUERY_STRING", query},
                        {"REQUEST_METHOD", "POST"},
                        {"CONTENT_TYPE", "application/json"},
                        {"CONTENT_LENGTH", std::to_string(body.size())}},
                       body);
  }
};

std::string ok_answer(const std::string& body) { return kJsonHeaders + body + "\n"; }

std::string chain_with_thoughts(size_t n, const std::string& last) {
  std::string s = R"({"chains":[{"id":"big","thoughts":[)";
  for (size_t i = 1; i < n; ++i) s += R"({"thought":"t"},)";
  return s + R"({"thought":")" + last + R"("}]}]})";
}

// Every file below the folder with its bytes and modification time.
struct Snapshot {
  std::vector<std::string> entries;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const std::string& root) {
  Snapshot s;
  if (!fs::exists(root)) return s;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string line = e.path().string();
    if (e.is_regular_file()) {
      // Appended piece by piece: GCC 12 at -O2 warns falsely (-Wrestrict)
      // about a chain of + on strings here.
      line.append(" ").append(read_bytes(e.path().string()));
      line.append(" ").append(std::to_string(fs::last_write_time(e.path()).time_since_epoch().count()));
      line.append(" ").append(std::to_string(static_cast<unsigned>(fs::status(e.path()).permissions())));
    }
    s.entries.push_back(line);
  }
  return s;
}

}  // namespace

TEST(WebActions, ChainList) {
  Store store(kFixture);
  RunResult r = store.get("action=chains");
  EXPECT_EQ(r.out, ok_answer(kFixtureList));
  EXPECT_EQ(r.status, 0);

  struct Case {
    std::string chains;
    std::string want_records;  // the "chains" array of the answer, with the count before it
  } cases[] = {
      {R"({"chains":[]})", R"("count":0,"state_dir_name":"state","chains":[]})"},
      {R"({"chains":{"id":"x"}})", R"("count":0,"state_dir_name":"state","chains":[]})"},
      {R"([{"chains":[]}])", R"("count":0,"state_dir_name":"state","chains":[]})"},
      {R"({"chains":[1,"two",null]})", R"("count":3,"state_dir_name":"state","chains":[]})"},
      {std::string(R"({"chains":[{"id":"nul"}]})") + '\0' + "after",
       R"("count":1,"state_dir_name":"state","chains":[{"id":"nul","started_at":0,"updated_at":0,"thoughts":0,"branches":[],"last_head":"","truncated":false,"first_head":""}]})"},
      {chain_with_thoughts(999, std::string(200, 'h')),
       R"("count":1,"state_dir_name":"state","chains":[{"id":"big","started_at":0,"updated_at":0,"thoughts":999,"branches":[],"last_head":")" +
           std::string(160, 'h') + R"(","truncated":false,"first_head":"t"}]})"},
      {chain_with_thoughts(1000, "\\nafter a line feed"),
       R"("count":1,"state_dir_name":"state","chains":[{"id":"big","started_at":0,"updated_at":0,"thoughts":1000,"branches":[],"last_head":"","truncated":true,"first_head":"t"}]})"},
  };
  for (const auto& c : cases) {
    store.write(c.chains);
    EXPECT_EQ(store.get("action=chains").out,
              ok_answer(R"({"ok":true,"plugin":"plugin_veltrane",)" + c.want_records))
        << c.chains.substr(0, 80);
  }

  // No chains file at all: the empty list, and the directory is not created.
  TempDir tmp;
  RunResult none = web_request(tmp.file("absent"), {{"QUERY_STRING", "action=chains"}});
  EXPECT_EQ(
      none.out,
      ok_answer(R"({"ok":true,"plugin":"plugin_veltrane","count":0,"state_dir_name":"absent","chains":[]})"));
  EXPECT_FALSE(fs::exists(tmp.file("absent")));
}

// The heads of the first and the newest thought are cut within 160 bytes,
// never inside a character of 2, 3 or 4 bytes, so the answer stays UTF-8.
TEST(WebActions, ListHeadsAreCutBetweenCharacters) {
  const std::string e2 = "\xc3\xa9", e3 = "\xe2\x82\xac", e4 = "\xf0\x9f\x98\x80";
  auto a = [](size_t n) { return std::string(n, 'a'); };
  struct {
    std::string text;  // the line, in the file as it stands
    std::string head;
  } lines[] = {
      {a(159) + e2 + "tail", a(159)},       // a 2-byte character across the cut
      {a(158) + e2 + "tail", a(158) + e2},  // ... that ends at the cut
      {a(158) + e3 + "tail", a(158)},       // a 3-byte one, 2 bytes before the cut
      {a(159) + e3 + "tail", a(159)},       // ... 1 byte before
      {a(157) + e3 + "tail", a(157) + e3},  // ... that ends at the cut
      {a(157) + e4 + "tail", a(157)},       // a 4-byte one, 3 bytes before the cut
      {a(158) + e4, a(158)},                // ... 2 bytes before
      {a(156) + e4 + "\\n", a(156) + e4},   // ... that ends at the cut
      {e2 + e3 + e4 + "\\nnext line", e2 + e3 + e4},
  };
  const size_t n = std::size(lines);
  std::string chains, want;
  for (size_t i = 0; i < n; ++i) {
    // Each line is the first thought of one chain and the newest of the one
    // before it. (Appended piece by piece: GCC 12 warns falsely about a
    // chain of + here.)
    const std::string id = std::string("c").append(std::to_string(i));
    const auto& next = lines[(i + 1) % n];
    chains.append(i ? "," : "").append(R"({"id":")").append(id).append(R"(","thoughts":[{"thought":")");
    chains.append(lines[i].text).append(R"("},{"thought":")").append(next.text).append(R"("}]})");
    want.append(i ? "," : "").append(R"({"id":")").append(id);
    want.append(R"(","started_at":0,"updated_at":0,"thoughts":2,"branches":[],"last_head":")");
    want.append(next.head)
        .append(R"(","truncated":false,"first_head":")")
        .append(lines[i].head)
        .append("\"}");
  }
  Store store(R"({"chains":[)" + chains + "]}");
  EXPECT_EQ(store.get("action=chains").out,
            ok_answer(R"({"ok":true,"plugin":"plugin_veltrane","count":)" + std::to_string(n) +
                      R"(,"state_dir_name":"state","chains":[)" + want + "]}"));
}

TEST(WebActions, ChainDetail) {
  Store store(kFixture);
  const std::string one = R"({"ok":true,)" + kChainOne.substr(1);
  const std::string two =
      R"({"ok":true,"id":"th-2","started_at":1.5,"updated_at":-5,"thoughts":[{"thought":"old","is_revision":1},)"
      R"({"thought":"older","is_revision":"true"},"x"],"branches":["b1",7,"b\"2"]})";
  struct Case {
    std::string query;
    std::string body;  // posted when not empty
    std::string want;  // the answer's body
  } cases[] = {
      {"action=chain&id=th-1", "", one},  // the first of two chains with this id
      {"action=chain&id=th-2", "", two},
      {"id=th-2&action=chain", "", two},
      {"action=chain&id=th-1", R"({"action":"chain","id":"th-2"})", two},
      {"action=chain&id=th-1", R"({"id":null})", one},
      {"action=chain&id=th-1", R"({"x":1})", one},
      {"", R"({"action":"chain","id":"th-2"})", two},
      {"action=chain", R"({"id":12345})", R"({"ok":true,"id":"12345","updated_at":7})"},
      {"action=chain&id=nope", "", R"({"ok":false,"error":"chain not found"})"},
      {"action=chain&id=" + std::string(64, 'a'), "", R"({"ok":false,"error":"chain not found"})"},
      {"action=chain&id=" + std::string(65, 'a'), "", R"({"ok":false,"error":"invalid chain id"})"},
      {"action=chain", "", R"({"ok":false,"error":"invalid chain id"})"},
      {"action=chain&id=", "", R"({"ok":false,"error":"invalid chain id"})"},
      {"action=chain&id=th.1", "", R"({"ok":false,"error":"invalid chain id"})"},
      {"action=chain&id=th+1", "", R"({"ok":false,"error":"invalid chain id"})"},
      {"action=chain&id=th-1%00junk", "", one},  // a decoded NUL ends the value
      {"action=chain&id=caf%C3%A9", "", R"({"ok":false,"error":"invalid chain id"})"},
      {"action=chain&id=th-1", R"({"id":""})", R"({"ok":false,"error":"invalid chain id"})"},
      {"action=chain&id=th-1", R"({"id":"a b"})", R"({"ok":false,"error":"invalid chain id"})"},
  };
  for (const auto& c : cases) {
    RunResult r = store.post(c.query, c.body);
    EXPECT_EQ(r.out, ok_answer(c.want)) << c.query << " " << c.body;
  }
}

TEST(WebActions, ChainDetailKeepsControlCharactersEscaped) {
  // Terminal colour codes pasted into a thought: the recorder stores them
  // escaped, and the answer must carry them escaped too, wherever they stand
  // in a long text, or the viewer cannot read the answer.
  const std::string text =
      "The build log shows \\u001b[31merror\\u001b[0m in red; \\u001a\\u001f\\u0001\\u007f.";
  Store store(R"({"chains":[{"id":"th-c","thoughts":[{"thought":")" + text + R"("}]}]})");
  EXPECT_EQ(
      store.get("action=chain&id=th-c").out,
      ok_answer(
          R"({"ok":true,"id":"th-c","thoughts":[{"thought":"The build log shows \u001B[31merror\u001B[0m)"
          R"( in red; \u001A\u001F\u0001)"
          "\x7f"
          R"(."}]})"));
}

TEST(WebActions, Stats) {
  Store store(kFixture);
  EXPECT_EQ(store.get("action=stats").out,
            ok_answer(R"({"ok":true,"chains":6,"thoughts":5,"branches":4,"revisions":1,"last_activity":999,)"
                      R"("max_chains":50,"max_thoughts_each":1000,"max_thought_history":1000})"));

  struct Case {
    std::string chains;
    std::string want;  // the totals
  } cases[] = {
      {R"({"chains":[]})", R"("chains":0,"thoughts":0,"branches":0,"revisions":0,"last_activity":0)"},
      {R"({"chains":"x"})", R"("chains":0,"thoughts":0,"branches":0,"revisions":0,"last_activity":0)"},
      {R"({"chains":[{"updated_at":-3},{"updated_at":-1}]})",
       R"("chains":2,"thoughts":0,"branches":0,"revisions":0,"last_activity":0)"},
      {R"({"chains":[{"updated_at":5.0},{"updated_at":"9"},{"updated_at":4,"updated_at":8}]})",
       R"("chains":3,"thoughts":0,"branches":0,"revisions":0,"last_activity":4)"},
      {R"({"chains":[{"thoughts":[1,{"is_revision":true},{"is_revision":true,"is_revision":false}]},)"
       R"({"thoughts":{"a":1},"branches":"b"}]})",
       R"("chains":2,"thoughts":3,"branches":0,"revisions":2,"last_activity":0)"},
  };
  for (const auto& c : cases) {
    store.write(c.chains);
    EXPECT_EQ(store.get("action=stats").out,
              ok_answer(R"({"ok":true,)" + c.want +
                        R"(,"max_chains":50,"max_thoughts_each":1000,"max_thought_history":1000})"))
        << c.chains;
  }
}

TEST(WebActions, HistoryLimitInStatsAndInfo) {
  Store store;
  for (const char* action : {"stats", "info"}) {
    RunResult r = web_request(
        store.dir, {{"QUERY_STRING", std::string("action=") + action}, {"MAX_THOUGHT_HISTORY", "25"}});
    EXPECT_NE(r.out.find(R"("max_thought_history":25})"
                         "\n"),
              std::string::npos)
        << action;
    EXPECT_EQ(r.err, "") << action;
    r = web_request(store.dir,
                    {{"QUERY_STRING", std::string("action=") + action}, {"MAX_THOUGHT_HISTORY", "lots"}});
    EXPECT_NE(r.out.find(R"("max_thought_history":1000})"
                         "\n"),
              std::string::npos)
        << action;
    EXPECT_EQ(r.err, "MAX_THOUGHT_HISTORY must be a positive integer, got \"lots\"; using 1000\n") << action;
  }
}

TEST(WebActions, UnreadableStore) {
  // A byte-order mark, whole or any byte of it, is no JSON text either.
  for (const std::string& content :
       {std::string(), std::string("{oops"), std::string("{\"chains\":[]}x"),
        std::string("\xEF\xBB\xBF{\"chains\":[]}"), std::string("\xBB{\"chains\":[]}")}) {
    Store store(content);
    for (const char* query : {"action=chains", "action=stats", "action=chain&id=th-1"}) {
      EXPECT_EQ(store.get(query).out, error_answer("state unreadable")) << query << " over " << content;
    }
    // A bad id is refused before the store is read; info never reads it.
    EXPECT_EQ(store.get("action=chain&id=a.b").out, error_answer("invalid chain id"));
    EXPECT_EQ(answer_kind(store.get("action=info")), "info");
  }
}

TEST(WebActions, Info) {
  TempDir tmp;
  const std::string dir = tmp.str() + "\\Users\\u1 \"x\"";  // need not exist
  RunResult r = web_request(dir, {{"QUERY_STRING", "action=info"}});
  const std::string prefix =
      R"({"ok":true,"plugin":"plugin_veltrane","slug":"veltrane","version":"1.0.1","kind":"mcp","mcp":true,)"
      R"("daemon":false,"menus":false,"verified":"live","tools":["veltraneflowstream"],"tool_schema":)";
  std::string escaped;
  for (char ch : dir) {
    if (ch == '\\' || ch == '"') escaped += '\\';
    escaped += ch;
  }
  EXPECT_EQ(r.out, ok_answer(prefix + expected::kInputSchema + R"(,"tool_output_schema":)" +
                             expected::kOutputSchema + R"(,"state_dir":")" + escaped +
                             R"(","max_chains":50,"max_thoughts_each":1000,"max_thought_history":1000})"));
  EXPECT_FALSE(fs::exists(dir));
}

TEST(WebActions, ClearNeedsConfirmation) {
  // Each is posted as JSON; the confirmation comes from the body, else from
  // the query.
  struct Case {
    std::string query;
    std::string body;
    bool cleared;
  } cases[] = {
      {"action=clear&confirm=1", "{}", true},
      {"action=clear&confirm=true", "{}", true},
      {"action=clear&confirm=%31", "{}", true},
      {"action=clear", "{}", false},
      {"action=clear&confirm=", "{}", false},
      {"action=clear&confirm=yes", "{}", false},
      {"action=clear&confirm=TRUE", "{}", false},
      {"action=clear&confirm=0", "{}", false},
      {"action=clear&confirm=1+", "{}", false},
      {"action=clear&confirm=11", "{}", false},
      {"action=clear", R"({"confirm":true})", true},
      {"action=clear", R"({"confirm":1})", true},
      {"action=clear", R"({"confirm":"1"})", true},
      {"", R"({"action":"clear","confirm":"true"})", true},
      {"", R"({"action":"clear","confirm":true})", true},
      {"action=clear&confirm=1", R"({"x":1})", true},
      {"action=clear&confirm=1", R"({"confirm":null})", true},
      // Once the body has a confirmation, it decides.
      {"action=clear&confirm=1", R"({"confirm":false})", false},
      {"action=clear&confirm=1", R"({"confirm":""})", false},
      {"action=clear&confirm=1", R"({"confirm":0})", false},
      {"action=clear&confirm=1", R"({"confirm":"1111111111111111111"})", false},
  };
  for (const auto& c : cases) {
    Store store(kFixture);
    write_bytes(store.chains_file() + ".tmp", "partial");
    write_bytes(store.chains_file() + ".lock", "");
    write_bytes(store.chains_file() + ".summary", "summary");
    RunResult r = store.post(c.query, c.body);
    std::string label = c.query + " " + c.body;
    if (c.cleared) {
      EXPECT_EQ(r.out, ok_answer(R"({"ok":true,"cleared":true})")) << label;
      EXPECT_FALSE(fs::exists(store.chains_file())) << label;
      EXPECT_FALSE(fs::exists(store.chains_file() + ".summary"))
          << label << ": the summary goes with the store";
      // Only those go.
      EXPECT_EQ(read_bytes(store.chains_file() + ".tmp"), "partial") << label;
      EXPECT_TRUE(fs::exists(store.chains_file() + ".lock")) << label;
      EXPECT_TRUE(fs::is_directory(store.dir)) << label;
    } else {
      EXPECT_EQ(r.out, error_answer("confirm=1 required")) << label;
      EXPECT_EQ(read_bytes(store.chains_file()), kFixture) << label;
      EXPECT_EQ(read_bytes(store.chains_file() + ".summary"), "summary") << label;
    }
  }
}

TEST(WebActions, ClearEdgeCases) {
  // Already missing, and a missing directory, count as cleared; nothing is
  // created.
  Store empty;
  EXPECT_EQ(clear_request(empty.dir).out, ok_answer(R"({"ok":true,"cleared":true})"));
  TempDir tmp;
  EXPECT_EQ(clear_request(tmp.file("absent")).out, ok_answer(R"({"ok":true,"cleared":true})"));
  EXPECT_FALSE(fs::exists(tmp.file("absent")));

  // A read-only chains file is removed too.
  Store read_only(kFixture);
  fs::permissions(read_only.chains_file(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(clear_request(read_only.dir).out, ok_answer(R"({"ok":true,"cleared":true})"));
  EXPECT_FALSE(fs::exists(read_only.chains_file()));

  // Something that cannot be removed as a file: the failure is reported,
  // and what is there stays.
  Store blocked;
  fs::create_directory(blocked.chains_file());
  write_bytes((fs::path(blocked.chains_file()) / "inside").string(), "kept");
  EXPECT_EQ(clear_request(blocked.dir).out, error_answer("remove failed"));
  EXPECT_EQ(read_bytes((fs::path(blocked.chains_file()) / "inside").string()), "kept");
}

TEST(WebActions, OnlyClearChangesTheStateDirectory) {
  Store store(kFixture);
  write_bytes(store.chains_file() + ".tmp", "partial");
  fs::permissions(store.chains_file(), fs::perms::owner_read | fs::perms::group_read);
  TempDir tmp;
  const std::string absent = tmp.file("absent");
  const std::string queries[] = {"",
                                 "action=chains",
                                 "action=chain&id=th-1",
                                 "action=stats",
                                 "action=info",
                                 "action=clear",
                                 "action=clear&confirm=no",
                                 "action=clear&confirm=1",  // not a POST of JSON
                                 "action=nope",
                                 "format=json"};
  const Snapshot before = snapshot(store.dir);
  for (const auto& query : queries) {
    for (const char* method : {"GET", "POST"}) {
      for (const std::string& dir : {store.dir, absent}) {
        RunResult r = web_request(dir, {{"QUERY_STRING", query}, {"REQUEST_METHOD", method}});
        EXPECT_EQ(r.status, 0) << query;
      }
      EXPECT_EQ(snapshot(store.dir), before) << query << " " << method;
      EXPECT_FALSE(fs::exists(absent)) << query << " " << method;
    }
  }
}
