#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "web/query.h"
#include "web/request.h"

TEST(WebQuery, FindsAndDecodes) {
  struct Case {
    const char* query;
    const char* name;
    size_t capacity;
    bool found;
    std::string want;
  } cases[] = {
      {"action=chains", "action", 64, true, "chains"},
      {"a=1&action=stats&action=info", "action", 64, true, "stats"},
      {"x=1&&action=stats", "action", 64, true, "stats"},
      {"action=", "action", 64, true, ""},
      {"action=&x=1", "action", 64, true, ""},
      {"myaction=chains", "action", 64, false, ""},
      {"actions=chains", "action", 64, false, ""},
      {"action", "action", 64, false, ""},
      {"x=action=1", "action", 64, false, ""},
      {"x=1&", "action", 64, false, ""},
      {"", "action", 64, false, ""},
      {"%61ction=chains", "action", 64, false, ""},  // names are compared raw
      {"pwd=a+b%20c", "pwd", 256, true, "a b c"},
      {"pwd=%2B%2b", "pwd", 256, true, "++"},
      {"pwd=%zz%4", "pwd", 256, true, "%zz%4"},
      {"pwd=%", "pwd", 256, true, "%"},
      {"pwd=100%", "pwd", 256, true, "100%"},
      {"pwd=ab%00cd", "pwd", 256, true, "ab"},
      {"pwd=%41%4a%4A", "pwd", 256, true, "AJJ"},
      {"pwd=%C3%A9", "pwd", 256, true, "\xC3\xA9"},
      // The raw value is cut before decoding: an escape cut in half stays.
      {"id=abcdefghijklm%41", "id", 16, true, "abcdefghijklm%4"},
      {"id=abcdefghijkl%41", "id", 16, true, "abcdefghijklA"},
      {"id=0123456789abcdefXYZ", "id", 16, true, "0123456789abcde"},
      {"id=++", "id", 2, true, " "},
  };
  for (const auto& c : cases) {
    char out[256];
    std::memset(out, 'z', sizeof out);
    bool found = get_query_val(c.query, c.name, out, c.capacity);
    EXPECT_EQ(found, c.found) << c.query;
    EXPECT_EQ(std::string(out), c.want) << c.query;
  }
}

TEST(WebQuery, NullQueryLeavesOutUntouched) {
  char out[16] = "keep";
  EXPECT_FALSE(get_query_val(nullptr, "action", out, sizeof out));
  EXPECT_STREQ(out, "keep");
  EXPECT_FALSE(get_query_val("", "action", out, sizeof out));
  EXPECT_STREQ(out, "") << "any other query empties out first";
}

TEST(WebRequest, ContentLengthReadsLikeAtol) {
  struct Case {
    const char* text;
    long want;
  } cases[] = {
      {"12", 12},
      {"  \t12", 12},
      {"+7", 7},
      {"-5", -5},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"1 2", 1},
      {"0x10", 0},
      {"00009", 9},
      {"99999999999999999999999", LONG_MAX},
      {"-99999999999999999999999", LONG_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(content_length_value(c.text), c.want) << c.text;
}
