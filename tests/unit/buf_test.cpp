#include "common/buf.h"

#include <gtest/gtest.h>

#include <string>

#include "common/json.h"

TEST(Buf, GrowsToThePowerOfTwoThatHoldsContentAndNul) {
  struct Case {
    size_t before;  // bytes appended first
    size_t append;
    size_t want_capacity;
  } cases[] = {
      {0, 0, 256},     {0, 255, 256},   {0, 256, 512},     {0, 1000, 1024}, {0, 1023, 1024},
      {0, 1024, 2048}, {200, 100, 512}, {500, 5000, 8192}, {255, 0, 256},   {255, 1, 512},
  };
  for (const auto& c : cases) {
    Buf b;
    std::string first(c.before, 'a'), second(c.append, 'b');
    if (c.before) buf_add(b, first.data(), first.size());
    buf_add(b, second.data(), second.size());
    std::string label = std::to_string(c.before) + "+" + std::to_string(c.append);
    EXPECT_EQ(b.capacity, c.want_capacity) << label;
    ASSERT_NE(b.bytes, nullptr) << label;
    EXPECT_EQ(b.bytes[b.length], '\0') << label;
    EXPECT_EQ(b.view(), first + second) << label << ": content kept across growth";
  }
}

TEST(Buf, AddKeepsEveryByteValue) {
  Buf b;
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  buf_add(b, all.data(), all.size());
  buf_str(b, "tail");
  EXPECT_EQ(b.view(), all + "tail");
}

TEST(Buf, FormattedAppendAroundTheLocalArea) {
  // 511 characters fit the local area with its NUL; 512 take the second pass.
  for (size_t n : {0u, 1u, 510u, 511u, 512u, 513u, 5000u}) {
    Buf b;
    buf_str(b, "<");
    std::string text(n, 'x');
    if (n) text.back() = 'y';  // the last character survives the cut-off point
    buf_addf(b, "%s", text.c_str());
    buf_addf(b, "%s", ">");
    EXPECT_EQ(b.view(), "<" + text + ">") << n;
  }
  Buf nums;
  buf_addf(nums, "%lld %lld %zu %d", static_cast<long long>(INT64_MIN), static_cast<long long>(INT64_MAX),
           static_cast<size_t>(SIZE_MAX), -7);
  EXPECT_EQ(nums.view(), "-9223372036854775808 9223372036854775807 18446744073709551615 -7");
}

TEST(Buf, JsonStringLiterals) {
  struct Case {
    const char* input;
    const char* want;
  } cases[] = {
      {nullptr, R"("")"},
      {"", R"("")"},
      {"plain", R"("plain")"},
      {"\t\n\r\"\\", R"("\t\n\r\"\\")"},
      {"\x08\x0c\x01\x1f\x1b\x0b\x0e", R"("\u0008\u000c\u0001\u001f\u001b\u000b\u000e")"},
      {"/\x7f\xc3\xa9", "\"/\x7f\xc3\xa9\""},
      {"\xff\xfe", "\"\xff\xfe\""},  // malformed UTF-8 passes unchanged
      {" !#[]", R"(" !#[]")"},
  };
  for (const auto& c : cases) {
    std::string label = c.input ? c.input : "(null)";
    Buf b;
    buf_str(b, "x");
    json_escape_buf(b, c.input);
    EXPECT_EQ(b.view(), std::string("x") + c.want) << label;
  }
}

TEST(Buf, JsonStringLiteralOfEveryByte) {
  // Every ASCII byte reads back as itself through a JSON parse, and a long
  // string that makes the buffer grow several times is the short one's
  // literal repeated.
  std::string all;
  for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
  const std::string ascii = all.substr(0, 0x7F);
  Buf literal;
  json_escape_buf(literal, ascii.c_str());
  auto doc = json_parse(literal.view());
  ASSERT_TRUE(doc) << literal.view();
  EXPECT_EQ(json_str(doc->root()), ascii);

  Buf one, many;
  json_escape_buf(one, all.c_str());
  std::string big, inner(one.view().substr(1, one.length - 2)), want = "\"";
  for (int i = 0; i < 40; ++i) {
    big += all;
    want += inner;
  }
  json_escape_buf(many, big.c_str());
  EXPECT_EQ(many.view(), want + "\"");
}
