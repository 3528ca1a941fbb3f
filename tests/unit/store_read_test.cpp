// The web's read actions over edge-case stores: the answer from the summary,
// from the streaming pass over the whole file and from the straightforward
// full parse must be the same bytes, before and after a recording rewrites
// the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/file.h"
#include "reference_store.h"
#include "scoped_env.h"
#include "store/files.h"
#include "store/format_records.h"
#include "store/reader.h"
#include "store/recorder.h"
#include "store/summary.h"
#include "support/store_texts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string store_of(const std::string& chains) { return store_texts::store_text(chains); }

std::string thought(const std::string& text, const std::string& more = "") {
  return store_texts::thought_object(text, more);
}

std::string chain(const std::string& id, const std::string& thoughts, const std::string& more = "") {
  return store_texts::chain_object(id, thoughts, more);
}

// A chain of n thoughts whose texts are `text`.
std::string long_chain(const std::string& id, size_t n, const std::string& text) {
  std::string thoughts;
  for (size_t i = 0; i < n; ++i) thoughts.append(i ? "," : "").append(thought(text));
  return chain(id, thoughts);
}

std::string nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// A valid store padded with blanks to exactly `size` bytes.
std::string padded(size_t size) {
  std::string s = store_of(chain("pad", thought("p")));
  s.resize(size, ' ');
  return s;
}

struct Case {
  std::string name;
  std::string bytes;
};

std::vector<Case> edge_cases() {
  const std::string x = "x";
  // Text that crosses the stream's 64 KiB pieces at every kind of byte: a
  // multi-byte character, an escape, a surrogate pair.
  std::string straddling;
  for (int i = 0; i < 9000; ++i)
    straddling += i % 7 == 0 ? "\\u00e9\\ud83d\\ude00" : i % 3 ? "\xc3\xa9" : "ab\\n";
  return {
      {"a recorder's store",
       store_of(chain("th-1", thought("a") + "," + thought("b", R"(,"is_revision":true,"revises":1)")) + "," +
                chain("th-2", thought("c", R"(,"branch_from":1,"branch_id":"alt")")))},
      {"empty store", R"({"chains":[]})"},
      {"empty file", ""},
      {"blanks only", "  \n"},
      {"not JSON", "{oops"},
      {"trailing comma", store_of(chain("a", thought("t")) + ",")},
      {"a comment", "// c\n" + store_of("")},
      {"NaN", R"({"chains":[{"id":"a","updated_at":NaN}]})"},
      {"two root values", store_of("") + " " + store_of("")},
      {"number too large for a double", R"({"chains":[{"id":"a","updated_at":1.5e400}]})"},
      {"a byte-order mark", "\xef\xbb\xbf" + store_of(chain("bom", thought("t")))},
      {"parts of a byte-order mark", "\xbb\xbf" + store_of(chain("bom", thought("t")))},
      {"a byte-order mark out of order", "\xbb\xef" + store_of(chain("bom", thought("t")))},
      {"a byte-order mark twice", "\xef\xbb\xbf\xef\xbb\xbf" + store_of("")},
      {"root is an array", "[" + store_of("") + "]"},
      {"root is a string", "\"chains\""},
      {"chains is an object", R"({"chains":{"id":"a"}})"},
      {"first chains is not an array", R"({"chains":7,"chains":[{"id":"a"}]})"},
      {"first chains is the array", R"({"chains":[{"id":"a"}],"chains":7})"},
      {"elements of every type", store_of(R"(1,"two",null,true,[{"id":"in"}],{"id":"ok"},{},{"id":5})")},
      {"invalid UTF-8: lone continuation byte", store_of(chain("a", thought("\x80")))},
      {"invalid UTF-8: overlong two bytes", store_of(chain("a", thought("\xc0\xaf")))},
      {"invalid UTF-8: overlong three bytes", store_of(chain("a", thought("\xe0\x80\xaf")))},
      {"invalid UTF-8: encoded surrogate", store_of(chain("a", thought("\xed\xa0\x80")))},
      {"invalid UTF-8: above U+10FFFF", store_of(chain("a", thought("\xf4\x90\x80\x80")))},
      {"invalid UTF-8: F5", store_of(chain("a", thought("\xf5\x80\x80\x80")))},
      {"invalid UTF-8: cut before the quote", store_of(chain("a", thought("\xe2\x82")))},
      {"invalid UTF-8: in a key", R"({"chains":[{"i)"
                                  "\xff"
                                  R"(d":"a"}]})"},
      {"invalid UTF-8: after the value", store_of("") + "\xff"},
      {"invalid UTF-8: cut at the end", store_of("") + " \xe2"},
      {"valid UTF-8 of every length",
       store_of(chain("a", thought("\x7f\xc2\x80\xe0\xa0\x80\xed\x9f\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf")))},
      {"lone low surrogate", store_of(chain("a", thought("\\udc00")))},
      {"lone low surrogate in a key", R"({"chains":[{"id":"a","\uDFFF":1}]})"},
      {"lone high surrogate", store_of(chain("a", thought("\\ud800")))},
      {"high surrogate before a high surrogate", store_of(chain("a", thought("\\ud800\\ud800\\udc00")))},
      {"pair then a lone low surrogate", store_of(chain("a", thought("\\ud83d\\ude00\\udc00")))},
      {"pair, and an escaped backslash before u", store_of(chain("a", thought("\\ud83d\\ude00\\\\udc00")))},
      {"NUL after the value", std::string(store_of(chain("a", thought("t")))) + '\0' + "tail"},
      {"NUL inside a string", "{\"chains\":[{\"id\":\"a" + std::string(1, '\0') + "\"}]}"},
      {"NUL before anything", std::string(1, '\0') + store_of("")},
      {"escaped NUL in id, text and branches",
       store_of(R"({"id":"a\u0000b","thoughts":[{"thought":"t\u0000u"}],"branches":["\u0000z"]})")},
      {"control characters and escapes",
       store_of(chain("e", thought("\\b\\f\\n\\r\\t\\/\\\"\\\\\\u001b\\u007f")))},
      {"big integers",
       store_of(R"({"id":"a","started_at":18446744073709551615,"updated_at":-9223372036854775808},)"
                R"({"id":"b","started_at":18446744073709551616,"updated_at":9223372036854775807},)"
                R"({"id":"c","started_at":-0,"updated_at":1e2,"thoughts":[{"thought":"x","at":-0.0}]})")},
      {"reals of many forms",
       store_of(R"({"id":"r","x":[0.1,1E5,-2.5e-3,123456789012345678901234567890,4.9e-324,1e-400]})")},
      {"duplicate members",
       store_of(
           R"({"id":"d","id":"e","updated_at":5,"updated_at":9,"thoughts":[{"thought":"a","thought":"b",)"
           R"("is_revision":true,"is_revision":false}],"thoughts":[],"branches":["x"],"branches":[]})")},
      {"wrong member types",
       store_of(
           R"({"id":7,"started_at":"1","updated_at":2.0,"thoughts":{"a":1},"branches":"b"},)"
           R"({"id":"w","thoughts":[1,"s",null,[],{"thought":5},{"is_revision":"true"},{"is_revision":1}],)"
           R"("branches":[1,null,{},"ok",[]]})")},
      {"keys one byte away from a member's",
       store_of(
           R"({"id":"k","updated_az":9,"thoughts":[{"thought":"a","is_revisiom":true},)"
           R"({"thoughx":"b","thought":"c","thought_numbex":2,"thoughT_number":3,"thought_nXmber":6,"at":4,"aT":5}],"branchez":["x"]})")},
      {"missing members", store_of(R"({},{"id":"m"},{"thoughts":[{}]})")},
      {"the newest thought is no object", store_of(R"({"id":"n","thoughts":[{"thought":"old"},7]})")},
      {"the newest thought has no text", store_of(R"({"id":"n","thoughts":[{"thought":"old"},{"x":1}]})")},
      {"integers where a thought has flags and texts",
       store_of(R"({"id":"w","thoughts":[{"thought":"first","is_revision":1,"next_needed":2,"needs_more":3,)"
                R"("branch_id":4},{"thought":5,"is_revision":6},{"thought":"last"}]})")},
      {"the first thought is no object", store_of(R"({"id":"n","thoughts":[7,{"thought":"new"}]})")},
      {"the first thought has no text",
       store_of(R"({"id":"n","thoughts":[{"thought":5},{"thought":"new"}]})")},
      {"heads",
       store_of(chain("h1", thought(std::string(200, 'h'))) + "," + chain("h2", thought("a\\r\\nb")) + "," +
                chain("h3", thought(std::string(159, 'c') + "\xc3\xa9")) + "," +
                chain("h4", thought(std::string(159, 'd') + "\xe2\x82\xac") + "," +
                                thought(std::string(157, 'e') + "\xf0\x9f\x98\x80x")) +
                "," +
                chain("h5", thought(std::string(158, 'f') + "\xf0\x9f\x98\x80") + "," + thought("short")))},
      {"1000 and 999 thoughts",
       store_of(long_chain("t1000", 1000, "x").substr(0) + "," + long_chain("t999", 999, "y"))},
      {"deep nesting inside a chain", store_of(R"({"id":"deep","extra":)" + nested(100000) + "}")},
      {"deep nesting at the root", nested(200000)},
      {"deep nesting unclosed", std::string(100000, '[')},
      {"not written by the recorder",
       "{\n  \"note\": \"by hand\",\n  \"chains\": [\n    {\"thoughts\": [ {\"at\": 1, \"thought\": \"late "
       "id\"} ],\n"
       "     \"branches\": [ \"b\" ], \"updated_at\": 7, \"id\": \"hand\"}\n  ]\n}\n"},
      {"duplicate chain ids",
       store_of(chain("dup", thought("first")) + "," + chain("dup", thought("second")))},
      {"ids that need escapes",
       store_of(R"({"id":"q\"uote"},{"id":"back\\slash"},{"id":"tab\t"},{"id":"caf\u00e9"})")},
      {"strings across the stream's pieces",
       store_of(chain("long", thought(straddling)) + "," + chain("after", thought(x)))},
      {"a file exactly at the read cap", padded(READ_FILE_MAX)},
      {"a file one byte over the read cap", padded(READ_FILE_MAX + 1)},
  };
}

StoreTotals totals_of(const std::string& path, ReadWay way, StoreReadReport& report, StoreStatus& status) {
  StoreTotals t;
  status = TEST_store_totals(path, t, way, report);
  return t;
}

// Every answer of the three ways for the file at path; `summary` says
// whether the summary must be the way the fastest reading took.
void expect_same_answers(const std::string& path, const std::string& label, bool summary,
                         std::vector<std::string> ids) {
  const std::optional<std::string> file = reference_file(path);
  for (ReadWay way : {ReadWay::fastest, ReadWay::full_pass}) {
    const std::string where = label + (way == ReadWay::fastest ? " (fastest)" : " (full pass)");
    const bool want_summary = summary && way == ReadWay::fastest;

    StoreReadReport report;
    StoreList list;
    StoreStatus status = TEST_store_list(path, list, way, report);
    std::optional<ReferenceList> want_list = reference_list(file);
    EXPECT_EQ(status == StoreStatus::ok, want_list.has_value()) << where;
    if (want_list && status == StoreStatus::ok) {
      EXPECT_EQ(list.count, want_list->count) << where;
      EXPECT_EQ(list.records, want_list->records) << where;
    }
    EXPECT_EQ(report.from_summary, want_summary) << where << ": list";

    report = StoreReadReport();
    StoreTotals totals = totals_of(path, way, report, status);
    std::optional<StoreTotals> want_totals = reference_totals(file);
    EXPECT_EQ(status == StoreStatus::ok, want_totals.has_value()) << where;
    if (want_totals && status == StoreStatus::ok) {
      EXPECT_EQ(totals, *want_totals) << where;
    }
    EXPECT_EQ(report.from_summary, want_summary) << where << ": totals";

    ids.push_back("nope");
    for (const std::string& id : ids) {
      report = StoreReadReport();
      std::optional<std::string> found;
      status = TEST_store_chain(path, id, found, way, report);
      std::optional<std::string> want = reference_chain(file, id);
      EXPECT_EQ(status == StoreStatus::ok, want.has_value()) << where << " id " << id;
      if (want && status == StoreStatus::ok) {
        EXPECT_EQ(found.value_or(""), *want) << where << " id " << id;
      }
      EXPECT_EQ(report.from_summary, want_summary) << where << ": chain " << id;
    }
  }
}

}  // namespace

TEST(StoreRead, EveryWayGivesTheSameAnswers) {
  for (const Case& c : edge_cases()) {
    TempDir dir;
    ScopedEnv env("VELTRANE_STATE_DIR", dir.str().c_str());
    const std::string path = dir.file("chains.json");
    write_bytes(path, c.bytes);
    expect_same_answers(path, c.name, false, reference_ids(reference_file(path)));

    // The streaming reading of the recorder against the full parse.
    std::optional<std::vector<Chain>> chains = read_chains(c.bytes);
    EXPECT_EQ(chains, reference_read_chains(c.bytes)) << c.name;

    // A recording rewrites the file (or keeps it aside and starts anew) and
    // writes the summary, which must then answer alike.
    StoreRecorder recorder;
    Thought t;
    t.thought = "recorded\nafter";
    t.thoughtNumber = t.totalThoughts = 1;
    t.isRevision = true;
    persist_thought(recorder, "th-diff", t);
    ASSERT_TRUE(read_summary(summary_path(path))) << c.name << ": no summary after a recording";
    std::vector<std::string> ids = reference_ids(reference_file(path));
    expect_same_answers(path, c.name + ", recorded", true, ids);
  }
}

namespace {

Thought numbered(int64_t n, const std::string& text) {
  Thought t;
  t.thought = text;
  t.thoughtNumber = t.totalThoughts = n;
  t.nextThoughtNeeded = true;
  return t;
}

// Replaces the file's bytes in place, keeping its inode.
void overwrite(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
}

}  // namespace

TEST(StoreRead, TheSummaryIsTrustedOnlyForTheFileItDescribes) {
  struct Case {
    std::string name;
    // Changes the state directory after two recordings of th-a (the second
    // of them saved as `before`, with its summary).
    std::function<void(const std::string& path, const std::string& before_summary)> change;
    bool trusted;
  } cases[] = {
      {"nothing changed", [](const std::string&, const std::string&) {}, true},
      {"a hand edit of the same size, in place",
       [](const std::string& path, const std::string&) {
         std::string bytes = read_bytes(path);
         bytes.replace(bytes.find("second"), 6, "SECOND");
         bytes.replace(bytes.find("\"updated_at\":") + 13, 1, "9");
         overwrite(path, bytes);
       },
       false},
      {"replaced by another writer with a file of the same size",
       [](const std::string& path, const std::string&) {
         std::string bytes = read_bytes(path);
         bytes.replace(bytes.find("first"), 5, "FIRST");
         write_bytes(path + ".other", bytes);
         fs::rename(path + ".other", path);
       },
       false},
      {"deleted", [](const std::string& path, const std::string&) { fs::remove(path); }, false},
      {"the store replaced, the summary not (a crash in between)",
       [](const std::string& path, const std::string& before_summary) {
         StoreRecorder other;
         persist_thought(other, "th-b", numbered(1, "by another server"));
         write_bytes(summary_path(path), before_summary);
       },
       false},
      {"the same bytes written again",
       [](const std::string& path, const std::string&) { write_bytes(path, read_bytes(path)); }, false},
      {"a summary that is no summary",
       [](const std::string& path, const std::string&) {
         write_bytes(summary_path(path), "not a summary\n");
       },
       false},
      {"a summary cut short",
       [](const std::string& path, const std::string&) {
         std::string s = read_bytes(summary_path(path));
         write_bytes(summary_path(path), s.substr(0, s.size() - 5));
       },
       false},
      {"no summary", [](const std::string& path, const std::string&) { fs::remove(summary_path(path)); },
       false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ScopedEnv env("VELTRANE_STATE_DIR", dir.str().c_str());
    const std::string path = dir.file("chains.json");
    StoreRecorder recorder;
    persist_thought(recorder, "th-a", numbered(1, "first"));
    persist_thought(recorder, "th-a", numbered(2, "second"));
    c.change(path, read_bytes(summary_path(path)));
    expect_same_answers(path, c.name, c.trusted, {"th-a", "th-b"});
  }
}

TEST(StoreRead, TheSummaryFollowsEveryRecording) {
  TempDir dir;
  ScopedEnv env("VELTRANE_STATE_DIR", dir.str().c_str());
  const std::string path = dir.file("chains.json");
  // th-a starts one thought below the cap, so that its recordings trim it;
  // two other chains are older than every recording, so the chain cap and
  // the order of eviction come into play through the many other sessions.
  write_bytes(path, store_of(long_chain("th-a", 999, "old \\\"a\\\"") + "," + chain("old1", thought("o1")) +
                             "," + chain("old2", thought("o2"))));
  StoreRecorder a, b;
  for (int64_t n = 1; n <= 8; ++n) {
    // (Appended piece by piece: optimised GCC 12 warns falsely about + here.)
    Thought t = numbered(n, std::string("a").append(std::to_string(n)).append("\nline two"));
    t.isRevision = n % 3 == 0;
    t.revisesThought = n % 3 == 0 ? 1 : 0;
    if (n % 2 == 0) {
      t.branchFromThought = 1;
      t.branchId = std::string("br").append(std::to_string(n % 4));
    }
    persist_thought(a, "th-a", t);
    // a reads the file afresh whenever b has written in between, through
    // the summary that b left; the first time, the hand-written file whole.
    EXPECT_EQ(a.TEST_last_source, n == 1       ? StoreRecorder::Source::file
                                  : n % 2 == 0 ? StoreRecorder::Source::summary
                                               : StoreRecorder::Source::kept)
        << n;
    if (n % 2) persist_thought(b, "th-b", numbered(n, "b\tthought"));
    expect_same_answers(path, std::string("after recording ").append(std::to_string(n)), true,
                        {"th-a", "th-b", "old1"});
  }
  // Many sessions make the store reach its chain cap: the oldest chains go.
  for (int s = 0; s < 52; ++s) {
    StoreRecorder r;
    persist_thought(r, std::string("th-s").append(std::to_string(s)).c_str(), numbered(1, "s"));
  }
  expect_same_answers(path, "at the chain cap", true, {"th-a", "th-b", "old1", "th-s0", "th-s51"});
  EXPECT_EQ(reference_ids(reference_file(path)).size(), 50u);
}
