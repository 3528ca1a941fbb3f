// The summary's text: read back exactly as written, and refused whole when it
// is cut, altered, of another version or does not add up.
#include <gtest/gtest.h>

#include <string>

#include "store/summary.h"

namespace {

StoreSummary example() {
  StoreSummary s;
  s.store = {2049, 131, 0, -5, 1700000000123456789};
  SummaryChain a;
  a.offset = 11;
  a.length = 30;
  a.totals = {3, 1, 1, 100, true};
  a.record =
      R"({"id":"th-1","started_at":1,"updated_at":100,"thoughts":3,"branches":["b"],"last_head":"x","truncated":false,"first_head":"y"})";
  SummaryChain b = a;
  b.offset = 42;
  b.length = 20;
  b.totals = {0, 0, 0, -7, true};
  b.record =
      R"({"id":"q\"\u00e9\\","started_at":0,"updated_at":-7,"thoughts":0,"branches":[],"last_head":"","truncated":false,"first_head":""})";
  s.chains = {a, b};
  s.store.size = 42 + 20 + 2;
  return s;
}

std::string text_of(const StoreSummary& s) {
  Buf b;
  summary_text(b, s);
  return std::string(b.view());
}

}  // namespace

TEST(StoreSummary, ReadsBackWhatWasWritten) {
  StoreSummary s = example();
  EXPECT_EQ(summary_parse(text_of(s)), s);
  StoreSummary empty;
  empty.store.size = 13;  // {"chains":[]}
  EXPECT_EQ(summary_parse(text_of(empty)), empty);

  EXPECT_EQ(summary_find(s, "th-1"), &s.chains[0]);
  EXPECT_EQ(summary_find(s, "th"), nullptr) << "a prefix of an id is not the id";
  EXPECT_EQ(summary_find(s, "q"), nullptr) << "an id that needs escapes matches no request id";
  StoreTotals t = summary_totals(s);
  EXPECT_EQ(t, (StoreTotals{2, 3, 1, 1, 100}));
}

TEST(StoreSummary, RefusesAnythingElse) {
  const std::string good = text_of(example());
  auto with = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  // A layout that does not add up, written with a checksum that matches.
  StoreSummary gap = example();
  gap.chains[1].offset = 43;
  StoreSummary short_store = example();
  short_store.store.size -= 1;
  StoreSummary no_record = example();
  no_record.chains[0].record = "{}";
  const std::string cases[] = {
      "",
      "\n",
      good.substr(0, good.size() - 1),
      good.substr(0, good.size() / 2),
      good + "\n",
      good + good,
      with("summary 2", "summary 1"),  // the version before list records had first_head
      with("summary 2", "summary 3"),
      with("plugin_veltrane", "plugin_other"),
      with("\"th-1\"", "\"th-2\""),  // the checksum no longer matches
      with("end 2", "end 3"),
      with("\n", "\r\n"),
      text_of(gap),
      text_of(short_store),
      text_of(no_record),
  };
  for (const std::string& c : cases) EXPECT_FALSE(summary_parse(c)) << c;
}
