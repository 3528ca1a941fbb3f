#include "common/json.h"

#include <gtest/gtest.h>

#include <string>

#include "common/json_stream.h"

TEST(Json, StrictParseRejects) {
  const char* bad[] = {"", "{", "[1,]", "{\"a\":1,}", "NaN", "[Infinity]", "// c\n{}", "{} {}", "1.5e400",
                       "\"\xff\"", "\"\\ud800\"", "\"\\udc00\"", "\"\\ud83d\\ud83d\"", "\"a\\ud83dx\\ude00\"",
                       "\"a\x01\"",
                       // A byte-order mark, or a byte of one, before the value.
                       "\xEF\xBB\xBF{}", "\xBB\xBF{}", "\xBF[1]", "\xEF 1"};
  for (const char* text : bad) {
    EXPECT_FALSE(json_parse(text)) << text;
    std::string compact;
    EXPECT_FALSE(json_compact(text, compact)) << text;
  }
  EXPECT_FALSE(json_parse(std::string_view("{\"a\":1}\0xx", 10))) << "NUL after the value";
  EXPECT_TRUE(json_parse(" {\"a\":[1,2]} \r\n"));
  EXPECT_TRUE(json_parse("[\"\\ud83d\\ude00\", \"\\\\udc00\", \"\\ud7ff\"]")) << "pairs, escaped backslashes";
}

TEST(Json, NumbersAndFirstMember) {
  auto doc = json_parse(
      R"({"i":-3,"u":18446744073709551615,"big":18446744073709551616,"r":3.0,"e":1e3,"i":7,"s":"a\u0000b"})");
  ASSERT_TRUE(doc);
  JsonVal root = doc->root();
  EXPECT_TRUE(json_is_int(json_member(root, "i")));
  EXPECT_EQ(json_int(json_member(root, "i")), -3) << "the first of two members counts";
  EXPECT_EQ(json_int(json_member(root, "u")), -1) << "unsigned keeps its bits";
  EXPECT_TRUE(json_is_real(json_member(root, "big")));
  EXPECT_TRUE(json_is_real(json_member(root, "r")));
  EXPECT_TRUE(json_is_real(json_member(root, "e")));
  EXPECT_EQ(json_str(json_member(root, "s")), std::string_view("a\0b", 3));
  EXPECT_FALSE(json_member(root, "missing"));
  EXPECT_FALSE(json_member(json_member(root, "i"), "x")) << "member of a non-object";
}

TEST(Json, WriteIsCompactAndSurvivesDeepNesting) {
  auto doc = json_parse(R"( { "a" : [ 1 , -2 , 1.5 , true , null , "x\"/" ] , "b" : { } } )");
  ASSERT_TRUE(doc);
  EXPECT_EQ(*json_write(doc->root()), R"({"a":[1,-2,1.5,true,null,"x\"/"],"b":{}})");

  std::string deep(200000, '[');
  deep += std::string(200000, ']');
  auto nested = json_parse(deep);
  ASSERT_TRUE(nested);
  EXPECT_EQ(json_write(nested->root())->size(), deep.size());
}
