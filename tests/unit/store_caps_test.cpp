// Recording into the in-memory store: trimming, eviction and the size cap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "common/file.h"
#include "store/eviction.h"
#include "store/format_list.h"
#include "store/format_write.h"
#include "store/limits.h"
#include "store/recorder_cache.h"
#include "support/store_builders.h"
#include "support/store_texts.h"
#include "support/text_pieces.h"

namespace {

using store_builders::chain_of;
using store_builders::stored;

std::vector<std::string> ids(const LiveStore& s) {
  std::vector<std::string> out;
  for (const LiveChain& c : s.chains) out.push_back(c.chain.id.value_or("<none>"));
  return out;
}

// The store's text from its kept texts must equal a fresh writing, and each
// chain's record and totals what a reader of that text finds.
void expect_consistent(const LiveStore& s) {
  Buf live, fresh;
  TEST_live_store_text(live, s);
  std::vector<Chain> chains;
  for (const LiveChain& c : s.chains) chains.push_back(c.chain);
  chains_text(fresh, chains);
  EXPECT_EQ(live.view(), fresh.view());
  for (const LiveChain& c : s.chains) {
    const std::string whole = store_texts::store_text(c.text);
    TextPieces text(whole, whole.size());
    ScanWants wants;
    wants.records = true;
    ScanResult scan;
    ASSERT_TRUE(scan_chains(text, wants, scan));
    EXPECT_EQ(c.record, scan.records);
    StoreTotals one;
    one.chains = 1;
    add_chain_totals(one, c.totals);
    EXPECT_EQ(one, scan.totals);
  }
}

const std::string kSession = "th-now";
constexpr int64_t kNow = 1000;

}  // namespace

TEST(StoreCaps, ChooseEvictions) {
  struct {
    const char* name;
    std::vector<int64_t> times;
    size_t keep;
    std::optional<size_t> protect;
    std::vector<bool> want;
  } cases[] = {
      {"nothing over", {5, 1, 3}, 3, std::nullopt, {false, false, false}},
      {"smallest first", {5, 1, 3}, 2, std::nullopt, {false, true, false}},
      {"ties go to the front", {2, 1, 1, 1}, 2, std::nullopt, {false, true, true, false}},
      {"protected never", {1, 2, 3}, 1, 0, {false, true, true}},
      {"only the protected left", {1, 2}, 0, 1, {true, false}},
      {"signed comparison", {0, -5, INT64_MAX, INT64_MIN}, 2, std::nullopt, {false, true, false, true}},
  };
  for (const auto& c : cases) EXPECT_EQ(choose_evictions(c.times, c.keep, c.protect), c.want) << c.name;
}

TEST(StoreCaps, FirstAndLaterThoughtsOfASession) {
  LiveStore s = live_store_from({chain_of("other", 5, 1)});
  ASSERT_TRUE(live_store_record(s, kSession, stored(1), kNow, READ_FILE_MAX));
  ASSERT_TRUE(live_store_record(s, kSession, stored(2), kNow + 7, READ_FILE_MAX));
  EXPECT_EQ(ids(s), (std::vector<std::string>{"other", kSession}));
  const Chain& mine = s.chains[1].chain;
  EXPECT_EQ(mine.started_at, kNow);
  EXPECT_EQ(mine.updated_at, kNow + 7);
  ASSERT_EQ(mine.thoughts.size(), 2u);
  EXPECT_EQ(mine.thoughts[1].thought_number, 2);
  expect_consistent(s);
}

TEST(StoreCaps, TrimsOnlyTheReceivingChain) {
  struct {
    size_t before;
    size_t want;
    int64_t first;  // thought number of the oldest kept
  } cases[] = {{999, 1000, 1}, {1000, 1000, 2}, {1500, 1000, 502}};
  for (const auto& c : cases) {
    LiveStore s = live_store_from({chain_of("big", 1, 1500), chain_of(kSession, 2, c.before)});
    ASSERT_TRUE(
        live_store_record(s, kSession, stored(static_cast<int64_t>(c.before) + 1), kNow, READ_FILE_MAX));
    EXPECT_EQ(s.chains[1].chain.thoughts.size(), c.want) << c.before;
    EXPECT_EQ(s.chains[1].chain.thoughts.front().thought_number, c.first) << c.before;
    EXPECT_EQ(s.chains[1].chain.thoughts.back().thought_number, static_cast<int64_t>(c.before) + 1)
        << c.before;
    EXPECT_EQ(s.chains[0].chain.thoughts.size(), 1500u) << "another chain keeps what it has";
    expect_consistent(s);
  }
}

TEST(StoreCaps, EvictsLeastRecentlyUpdatedBeyondTheChainCap) {
  auto many = [](size_t n, int64_t base) {
    std::vector<Chain> v(n);
    for (size_t i = 0; i < n; ++i) {
      char id[32];
      std::snprintf(id, sizeof id, "c%zu", i);
      v[i].id = id;
      v[i].updated_at = base + static_cast<int64_t>(i);
    }
    return v;
  };
  {  // 50 chains, a new session: the oldest goes; of two equal, the front one.
    std::vector<Chain> v = many(50, 100);
    v[7].updated_at = 1;
    v[3].updated_at = 1;
    LiveStore s = live_store_from(std::move(v));
    ASSERT_TRUE(live_store_record(s, kSession, stored(1), kNow, READ_FILE_MAX));
    std::vector<std::string> got = ids(s);
    ASSERT_EQ(got.size(), 50u);
    EXPECT_EQ(got.back(), kSession);
    EXPECT_EQ(std::count(got.begin(), got.end(), "c3"), 0);
    EXPECT_EQ(std::count(got.begin(), got.end(), "c7"), 1);
  }
  {  // 60 chains, recording into the oldest: ten others go, order kept.
    std::vector<Chain> v = many(60, 100);
    v[0].id = kSession;
    LiveStore s = live_store_from(std::move(v));
    ASSERT_TRUE(live_store_record(s, kSession, stored(1), kNow, READ_FILE_MAX));
    std::vector<std::string> got = ids(s);
    ASSERT_EQ(got.size(), 50u);
    EXPECT_EQ(got[0], kSession);
    EXPECT_EQ(got[1], "c11");
    EXPECT_EQ(got[49], "c59");
  }
  {  // 50 chains all in the future, a new session: the new chain is the one evicted.
    LiveStore s = live_store_from(many(50, kNow + 100));
    ASSERT_TRUE(live_store_record(s, kSession, stored(1), kNow, READ_FILE_MAX));
    std::vector<std::string> got = ids(s);
    EXPECT_EQ(got.size(), 50u);
    EXPECT_EQ(std::count(got.begin(), got.end(), kSession), 0);
    expect_consistent(s);
  }
  {  // 51 future chains and a thought for one of them: that one is protected.
    std::vector<Chain> v = many(51, kNow + 100);
    v[0].id = kSession;
    LiveStore s = live_store_from(std::move(v));
    ASSERT_TRUE(live_store_record(s, kSession, stored(1), kNow, READ_FILE_MAX));
    std::vector<std::string> got = ids(s);
    ASSERT_EQ(got.size(), 50u);
    EXPECT_EQ(got[0], kSession);
    EXPECT_EQ(got[1], "c2");
  }
}

TEST(StoreCaps, SizeCapEvictsOthersThenTrimsTheReceivingChain) {
  const size_t cap = 20000;
  struct {
    const char* name;
    std::vector<Chain> chains;
    std::vector<std::string> want_ids;
    size_t want_mine;  // thoughts left in the receiving chain
  } cases[] = {
      {"fits", {chain_of("a", 1, 10, 100), chain_of(kSession, 2, 10, 100)}, {"a", kSession}, 11},
      {"oldest other evicted",
       {chain_of("new", 9, 40, 100), chain_of("old", 1, 40, 100), chain_of(kSession, 2, 40, 100)},
       {"new", kSession},
       41},
      {"all others evicted, then trimmed",
       {chain_of("a", 1, 40, 100), chain_of(kSession, 2, 400, 100)},
       {kSession},
       0},
  };
  for (auto& c : cases) {
    LiveStore s = live_store_from(std::move(c.chains));
    ASSERT_TRUE(live_store_record(s, kSession, stored(99, std::string(100, 'n')), kNow, cap)) << c.name;
    EXPECT_EQ(ids(s), c.want_ids) << c.name;
    Buf text;
    TEST_live_store_text(text, s);
    EXPECT_LE(text.length, cap) << c.name;
    const Chain& mine = s.chains.back().chain;
    EXPECT_EQ(mine.thoughts.back().thought_number, 99) << c.name << ": the newest thought is kept";
    if (c.want_mine) {
      EXPECT_EQ(mine.thoughts.size(), c.want_mine) << c.name;
    } else {
      // Trimmed: no more than needed, so one more thought would not fit.
      EXPECT_GT(text.length + live_thought_text(s.chains.back(), 0).size() + 1, cap) << c.name;
    }
    expect_consistent(s);
  }
}

TEST(StoreCaps, AThoughtTooLargeForTheFileIsNotRecorded) {
  LiveStore s = live_store_from({chain_of("a", 1, 3), chain_of(kSession, 2, 3)});
  Buf before;
  TEST_live_store_text(before, s);
  EXPECT_FALSE(live_store_record(s, kSession, stored(4, std::string(5000, 'n')), kNow, 4000));
  Buf after;
  TEST_live_store_text(after, s);
  EXPECT_EQ(after.view(), before.view()) << "nothing evicted or trimmed for a thought that cannot fit";
}
