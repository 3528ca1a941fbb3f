// The chains file's text form and its lenient reading.
#include <gtest/gtest.h>

#include <string>

#include "store/chain.h"
#include "store/format_records.h"
#include "store/format_write.h"
#include "support/store_texts.h"

namespace {

std::string text_of(const std::vector<Chain>& chains) {
  Buf b;
  chains_text(b, chains);
  return std::string(b.view());
}

// Reads the bytes as a store and writes it again.
std::string rewrite(const std::string& bytes) {
  auto chains = read_chains(bytes);
  return chains ? text_of(*chains) : "<not a store>";
}

const std::string kEmptySlot =
    R"({"id":"","started_at":0,"updated_at":0,"thoughts":[],"count":0,"branches":[]})";

std::string store_of(const std::string& chain_texts) { return store_texts::store_text(chain_texts); }

}  // namespace

TEST(StoreFormat, ExampleFileIsWrittenBackByteForByte) {
  const std::string example =
      R"({"chains":[{"id":"th-64-1a2c","started_at":100,"updated_at":130,"thoughts":[{"thought":"List the inputs","thought_number":1,"total_thoughts":3,"next_needed":true,"at":100},{"thought":"Try the other order","thought_number":2,"total_thoughts":3,"next_needed":false,"branch_from":1,"branch_id":"alt","at":130}],"count":2,"branches":["alt"]}]})";
  EXPECT_EQ(rewrite(example), example);
}

TEST(StoreFormat, ThoughtMembersInOrderOptionalOnesLeftOut) {
  StoredThought all;
  all.text = "a\"b\\c\n\x01/\xc3\xa9";
  all.thought_number = 2;
  all.total_thoughts = 9;
  all.next_needed = true;
  all.is_revision = true;
  all.needs_more = true;
  all.revises = 1;
  all.branch_from = -4;
  all.branch_id = "";
  all.at = -1;
  StoredThought none;
  none.text = "";
  struct {
    StoredThought in;
    std::string want;
  } cases[] = {
      {all,
       "{\"thought\":\"a\\\"b\\\\c\\n\\u0001/\xc3\xa9\",\"thought_number\":2,\"total_thoughts\":9,"
       "\"next_needed\":true,\"is_revision\":true,\"revises\":1,\"branch_from\":-4,\"branch_id\":\"\","
       "\"needs_more\":true,\"at\":-1}"},
      {none, R"({"thought":"","thought_number":0,"total_thoughts":0,"next_needed":false,"at":0})"},
  };
  for (const auto& c : cases) {
    Buf b;
    stored_thought_text(b, c.in);
    EXPECT_EQ(b.view(), c.want) << c.want;
  }
  Chain unnamed;
  EXPECT_EQ(text_of({unnamed}), store_of(kEmptySlot));
  EXPECT_EQ(text_of({}), R"({"chains":[]})");
}

TEST(StoreFormat, BranchesListFirstBranchingUseOfEachId) {
  auto t = [](std::optional<std::string> id, int64_t from) {
    StoredThought s;
    s.text = "x";
    s.branch_id = std::move(id);
    s.branch_from = from;
    return s;
  };
  struct {
    const char* name;
    std::vector<StoredThought> thoughts;
    std::vector<std::string_view> want;
  } cases[] = {
      {"one branch", {t("alt", 1)}, {"alt"}},
      {"id without origin shadows a later branch", {t("alt", 0), t("alt", 1)}, {}},
      {"same id twice listed once", {t("a", 1), t("b", 2), t("a", 3)}, {"a", "b"}},
      {"origin without id", {t(std::nullopt, 1)}, {}},
      {"empty id counts", {t("", 2)}, {""}},
      {"walk order", {t("z", 1), t("m", 0), t("a", 1), t("m", 2)}, {"z", "a"}},
  };
  for (const auto& c : cases) {
    Chain chain;
    chain.id = "c";
    for (const auto& s : c.thoughts) chain_add(chain, s);
    EXPECT_EQ(chain_branches(chain), c.want) << c.name;
  }
}

TEST(StoreFormat, LenientReadingKeepsSlotsAndNormalises) {
  const std::string T = R"({"thought":"t","thought_number":1,"total_thoughts":1,"next_needed":false,"at":5})";
  struct {
    std::string in;
    std::string want;
  } cases[] = {
      // Unusable elements keep their position as empty slots.
      {store_of(R"(7,{"id":""},{"id":42},{"x":1},[],{"id":"\u0000x"},{"id":"k"})"),
       store_of(kEmptySlot + "," + kEmptySlot + "," + kEmptySlot + "," + kEmptySlot + "," + kEmptySlot + "," +
                kEmptySlot +
                R"(,{"id":"k","started_at":0,"updated_at":0,"thoughts":[],"count":0,"branches":[]})")},
      // First member wins, even when it is unusable.
      {store_of(
           R"({"id":"a","id":"b","started_at":"1","started_at":3,"thoughts":[{"thought":null,"thought":"x"}]})"),
       store_of(R"({"id":"a","started_at":0,"updated_at":0,"thoughts":[],"count":0,"branches":[]})")},
      // Reals, strings and huge numbers read as 0; unsigned keeps its bits.
      {store_of(
           R"({"id":"a","started_at":1.7e9,"updated_at":18446744073709551615,"thoughts":[{"thought":"x","thought_number":3.0,"total_thoughts":18446744073709551616,"revises":"2","at":9223372036854775807}]})"),
       store_of(
           R"({"id":"a","started_at":0,"updated_at":-1,"thoughts":[{"thought":"x","thought_number":0,"total_thoughts":0,"next_needed":false,"at":9223372036854775807}],"count":1,"branches":[]})")},
      // Flags only from the literal true; false flags are left out.
      {store_of(
           R"({"id":"a","thoughts":[{"thought":"x","next_needed":1,"is_revision":false,"needs_more":"true"}]})"),
       store_of(
           R"({"id":"a","started_at":0,"updated_at":0,"thoughts":[{"thought":"x","thought_number":0,"total_thoughts":0,"next_needed":false,"at":0}],"count":1,"branches":[]})")},
      // Thoughts missing, null or not objects are skipped; the empty text is kept.
      {store_of(R"({"id":"a","thoughts":[1,{"thought":null},{},{"thought":""},{"thought":7}]})"),
       store_of(
           R"({"id":"a","started_at":0,"updated_at":0,"thoughts":[{"thought":"","thought_number":0,"total_thoughts":0,"next_needed":false,"at":0}],"count":1,"branches":[]})")},
      // branch_id null is no id, "" is an empty id; count and branches are derived again.
      {store_of(R"({"id":"a","count":99,"branches":["q"],"thoughts":[)" +
                std::string(R"({"thought":"x","branch_from":1,"branch_id":null},)") +
                R"({"thought":"y","branch_from":1,"branch_id":""}]})"),
       store_of(
           R"({"id":"a","started_at":0,"updated_at":0,"thoughts":[{"thought":"x","thought_number":0,"total_thoughts":0,"next_needed":false,"branch_from":1,"at":0},{"thought":"y","thought_number":0,"total_thoughts":0,"next_needed":false,"branch_from":1,"branch_id":"","at":0}],"count":2,"branches":[""]})")},
      // Duplicate chain ids stay two chains; unknown members are dropped.
      {R"({"v":2,"chains":[{"id":"d","thoughts":[)" + T + R"(]},{"id":"d","extra":true}]})",
       store_of(
           R"({"id":"d","started_at":0,"updated_at":0,"thoughts":[)" + T +
           R"(],"count":1,"branches":[]},{"id":"d","started_at":0,"updated_at":0,"thoughts":[],"count":0,"branches":[]})")},
      // A text ends at an escaped NUL.
      {store_of(R"({"id":"a","thoughts":[{"thought":"ab\u0000cd","branch_id":"\u0000"}]})"),
       store_of(
           R"({"id":"a","started_at":0,"updated_at":0,"thoughts":[{"thought":"ab","thought_number":0,"total_thoughts":0,"next_needed":false,"branch_id":"","at":0}],"count":1,"branches":[]})")},
      {R"( {"chains" : [ ] } )", R"({"chains":[]})"},
      {R"({"chains":[],"chains":{}})", R"({"chains":[]})"},
  };
  for (const auto& c : cases) {
    std::string once = rewrite(c.in);
    EXPECT_EQ(once, c.want) << c.in;
    EXPECT_EQ(rewrite(once), once) << "stable: " << c.in;
  }
}

TEST(StoreFormat, TextsThatAreNotAStore) {
  const std::string cases[] = {
      "",
      " ",
      "not json",
      std::string("{\"chains\":[]}\0xx", 16),
      std::string("{\"chains\":[{\"id\":\"a\0\"}]}", 24),
      "{\"chains\":[]",
      "[{\"chains\":[]}]",
      "{}",
      "{\"chains\":{}}",
      "{\"chains\":{},\"chains\":[]}",
      "{\"Chains\":[]}",
  };
  for (const auto& c : cases) EXPECT_FALSE(read_chains(c)) << c;
}
