#include "mcp/coerce.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The value written as JSON text, parsed inside an array.
struct Parsed {
  explicit Parsed(const std::string& text) : doc(json_parse("[" + text + "]")) {}
  JsonVal value() const { return doc ? json_at(doc->root(), 0) : JsonVal{}; }
  std::optional<JsonDoc> doc;
};

}  // namespace

TEST(Coerce, IntegerReadings) {
  struct Case {
    std::string json;
    bool ok;
    int64_t want;
  } cases[] = {
      {"3", true, 3},
      {"-3", true, -3},
      {"0", true, 0},
      {"9223372036854775807", true, INT64_MAX},
      {"18446744073709551615", true, -1},  // unsigned above the signed range keeps its bits
      {"3.0", true, 3},
      {"1e2", true, 100},
      {"-0.0", true, 0},
      {"-9223372036854775808.0", true, INT64_MIN},
      {"2.5", false, 0},
      {"1e-1", false, 0},
      {"9223372036854775808.0", false, 0},  // 2^63 is outside as a real
      {"1e19", false, 0},
      {"18446744073709551616", false, 0},  // parsed as a real beyond 64 bits
      {R"("12")", true, 12},
      {R"(" 12")", true, 12},
      {R"("\t\n\r\u000b\u000c 12")", true, 12},  // leading white space of the C conversion
      {R"("12 ")", true, 12},
      {R"("12\t\r\n ")", true, 12},
      {R"("+5")", true, 5},
      {R"("-5")", true, -5},
      {R"("007")", true, 7},
      {R"("-9223372036854775808")", true, INT64_MIN},
      {R"("   ")", true, 0},
      {R"(" \t\r\n")", true, 0},
      {R"("")", false, 0},
      {R"("9223372036854775808")", false, 0},
      {R"("-9223372036854775809")", false, 0},
      {R"("99999999999999999999")", false, 0},
      {R"("1.5")", false, 0},
      {R"("1e2")", false, 0},
      {R"("abc")", false, 0},
      {R"("12a")", false, 0},
      {R"("0x10")", false, 0},
      {R"("1 2")", false, 0},
      {R"("12\u000b")", false, 0},  // only tab, LF, CR and space may follow
      {R"("12\u0000")", false, 0},
      {R"("+")", false, 0},
      {R"("\u000b")", false, 0},
      {"null", false, 0},
      {"true", false, 0},
      {"false", false, 0},
      {"[]", false, 0},
      {"{}", false, 0},
      {"[1]", false, 0},
  };
  for (const auto& c : cases) {
    Parsed p(c.json);
    ASSERT_TRUE(p.doc) << c.json;
    int64_t out = 4242;
    EXPECT_EQ(val_int(p.value(), out), c.ok) << c.json;
    EXPECT_EQ(out, c.ok ? c.want : 4242) << c.json << (c.ok ? "" : ": untouched on failure");
  }
  int64_t out = 4242;
  EXPECT_FALSE(val_int(JsonVal{}, out)) << "absent";
  EXPECT_EQ(out, 4242);
}

TEST(Coerce, BooleanReadings) {
  struct Case {
    std::string json;
    bool ok;
    bool want;
  } cases[] = {
      {"true", true, true},
      {"false", true, false},
      {R"("true")", true, true},
      {R"("TRUE")", true, true},
      {R"("tRuE")", true, true},
      {R"("false")", true, false},
      {R"("False")", true, false},
      {R"("FALSE")", true, false},
      {R"("")", false, false},
      {R"("yes")", false, false},
      {R"("1")", false, false},
      {R"("0")", false, false},
      {R"(" true")", false, false},
      {R"("true ")", false, false},
      {R"("true\u0000")", false, false},
      {R"("truetruetruetrue")", false, false},  // 16 bytes
      {"1", false, false},
      {"0", false, false},
      {"null", false, false},
      {"[]", false, false},
      {"{}", false, false},
  };
  for (const auto& c : cases) {
    Parsed p(c.json);
    ASSERT_TRUE(p.doc) << c.json;
    for (bool start : {false, true}) {
      bool out = start;
      EXPECT_EQ(val_bool(p.value(), out), c.ok) << c.json;
      EXPECT_EQ(out, c.ok ? c.want : start) << c.json << (c.ok ? "" : ": untouched on failure");
    }
  }
  bool out = true;
  EXPECT_FALSE(val_bool(JsonVal{}, out)) << "absent";
  EXPECT_TRUE(out);
}
