#include "common/json.h"

#include <gtest/gtest.h>

#include <string>

#include "common/json_stream.h"
#include "reference_json.h"
#include "support/text_pieces.h"

namespace {

using namespace std::string_literals;  // texts with NUL bytes

// The events as one line of text: o/c for a container (with its offset and
// { or [), k:NAME, s:STRING, i:INTEGER, r, b:0/1, n.
class Trace final : public JsonEvents {
 public:
  std::string seen;
  bool scalar(const JsonScalar& v) override {
    switch (v.type) {
      case JsonType::null:
        seen += "n ";
        break;
      case JsonType::boolean:
        seen += v.boolean ? "b:1 " : "b:0 ";
        break;
      case JsonType::integer:
        seen += "i:" + std::to_string(v.integer) + " ";
        break;
      case JsonType::real:
        seen += "r ";
        break;
      case JsonType::string:
        seen += "s:" + std::string(v.string) + " ";
        break;
    }
    return true;
  }
  bool key(std::string_view name) override {
    seen += "k:" + std::string(name) + " ";
    return true;
  }
  bool open(bool object, uint64_t offset) override {
    seen += (object ? "o{" : "o[") + std::to_string(offset) + " ";
    return true;
  }
  bool close(bool object, uint64_t offset) override {
    seen += (object ? "c}" : "c]") + std::to_string(offset) + " ";
    return true;
  }
};

bool streams(std::string_view text, size_t piece, JsonNul nul) {
  TextPieces input(text, piece);
  Trace trace;
  return json_stream(input, trace, nul);
}

}  // namespace

TEST(Json, EveryReaderAcceptsTheSameTexts) {
  const std::string long_ascii(40, 'a');
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {" {\"a\":[1,2]} \r\n", true},
      {"[\"\\ud83d\\ude00\", \"\\\\udc00\", \"\\ud7ff\"]", true},  // a pair, an escaped backslash
      {"\"a\\u0000b\"", true},
      {"[\"\xEF\xBB\xBF\"]", true},  // the mark's character inside a string
      {"\"\xf0\x9f\x98\x80 \xed\x9f\xbf \xf4\x8f\xbf\xbf \xc3\xa9\"", true},
      {"{\"" + long_ascii + "\\ud83d\\ude00\xed\x9f\xbf\":\"" + long_ascii + "\xc3\xa9\"}", true},
      {"[18446744073709551616, -0.5e-3, 1e308]", true},
      // Syntax the library rejects itself.
      {"", false},
      {"{", false},
      {"[1,]", false},
      {"{\"a\":1,}", false},
      {"NaN", false},
      {"[Infinity]", false},
      {"// c\n{}", false},
      {"{} {}", false},
      {"1.5e400", false},
      {"\"a\x01\"", false},
      {"\"" + long_ascii + "\x1b\"", false},  // raw control bytes after a long run
      {"[\"" + long_ascii + "\x1a\x1f" + long_ascii + "\"]", false},
      {"\"\\ud800\"", false},
      {"\"\\ud83d\\ud83d\"", false},
      {"\"a\\ud83dx\\ude00\"", false},
      // Lone low surrogates, in strings and keys, after ASCII runs and pairs.
      {"\"\\udc00\"", false},
      {"{\"\\udfff\":1}", false},
      {"\"\\ud83d\\ude00\\ude00\"", false},
      {"[\"" + long_ascii + "\\udc00\"]", false},
      {"{\"" + long_ascii + "\":\"" + long_ascii + "\xc3\xa9\\udc01\"}", false},
      // UTF-8: invalid bytes, overlong forms, encoded surrogates, above
      // U+10FFFF, a cut character, a byte above 0x7F outside a string.
      {"\"\xff\"", false},
      {"\"\xc0\xaf\"", false},
      {"\"\xe0\x80\xaf\"", false},
      {"\"\xed\xa0\x80\"", false},
      {"\"\xf4\x90\x80\x80\"", false},
      {"\"\xf5\x80\x80\x80\"", false},
      {"\"\xc3\"", false},
      {"\"\xe2\x82\"", false},
      {"[1]\x80", false},
      {"\"" + long_ascii + "\xff\"", false},
      // A byte-order mark, or a byte of one, before the value.
      {"\xEF\xBB\xBF{}", false},
      {"\xBB\xBF{}", false},
      {"\xBF[1]", false},
      {"\xEF 1", false},
      {" \xEF\xBB\xBF{}", false},
      // A NUL anywhere.
      {"{\"a\":1}\0xx"s, false},
      {"\0"s, false},
      {"[1,\0 2]"s, false},
      {"\"a\0b\""s, false},
  };
  for (const Case& c : cases) {
    const std::string& text = c.text;
    EXPECT_EQ(reference_json_valid(text), c.valid) << text;
    EXPECT_EQ(json_parse(text).has_value(), c.valid) << text;
    EXPECT_EQ(streams(text, JSON_STREAM_PIECE, JsonNul::fails), c.valid) << text;
    EXPECT_EQ(streams(text, 1, JsonNul::fails), c.valid) << text << ": in pieces of one byte";
    std::string compact;
    EXPECT_EQ(json_compact(text, compact), c.valid) << text;
  }
}

TEST(Json, NulEndsTheTextWhereTheStreamAsksForIt) {
  struct Case {
    std::string text;
    bool valid;  // the text before the first NUL
  } cases[] = {
      {"{\"a\":1}\0xx"s, true},   {"[1]\0\xff\xfe"s, true},  // what follows the NUL is not checked
      {"[1] \0"s, true},          {"[1]"s, true},           {"{\"a\":\0}"s, false}, {"\0[1]"s, false},
      {"\"\xc3\0\xa9\""s, false},  // cut inside a character
      {"\xEF\0"s, false},
  };
  for (const Case& c : cases) {
    for (size_t piece : {JSON_STREAM_PIECE, size_t{1}}) {
      EXPECT_EQ(streams(c.text, piece, JsonNul::ends_text), c.valid) << c.text << " in pieces of " << piece;
      EXPECT_EQ(json_parse(c.text.substr(0, c.text.find('\0'))).has_value(), c.valid) << c.text;
    }
  }
}

TEST(Json, StreamReportsEventsAndOffsetsAcrossPieces) {
  // A container that opens after the first piece, and a string and white
  // space across the boundary.
  std::string pad(JSON_STREAM_PIECE - 3, 'x');
  std::string text = "[\"" + pad + "\" ,\t{\"k\" : [true,null,-7,1.5,18446744073709551615]}]";
  size_t object = text.find('{');
  std::string want = "o[0 s:" + pad + " o{" + std::to_string(object) + " k:k o[" +
                     std::to_string(object + 7) + " b:1 n i:-7 r i:-1 c]" + std::to_string(text.size() - 3) +
                     " c}" + std::to_string(text.size() - 2) + " c]" + std::to_string(text.size() - 1) + " ";
  for (size_t piece : {JSON_STREAM_PIECE, size_t{1}, size_t{4096}, size_t{7}}) {
    TextPieces input(text, piece);
    Trace trace;
    EXPECT_TRUE(json_stream(input, trace, JsonNul::fails)) << piece;
    EXPECT_EQ(trace.seen, want) << "pieces of " << piece;
  }
}

TEST(Json, StreamSkipsWhiteSpaceThroughItsOwnHook) {
  // The library's reader must find the stream's own white-space skip; if a
  // version of it stopped calling that, the parse would still pass, only
  // slower, and this is what tells.
  EXPECT_GT(TEST_json_stream_whitespace_skips(" [ 1 ,\n\t2 ] "), 0u);
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

TEST(Json, CompactEscapesEveryControlCharacter) {
  // Wherever they stand in a long string, the control characters are
  // written escaped; the delete character is not one.
  const std::string pad(40, 'a');
  std::string out;
  ASSERT_TRUE(json_compact("[\"" + pad + "\\u001b[31m\\u001a\\u001f\\u0001\\u007f" + pad + "\"]", out));
  EXPECT_EQ(out, "[\"" + pad + "\\u001B[31m\\u001A\\u001F\\u0001\x7f" + pad + "\"]");
}

TEST(Json, CompactIsTheDocumentWrittenOut) {
  std::string deep = std::string(100000, '[') + "{\"a\":1}" + std::string(100000, ']');
  const std::string texts[] = {
      R"( { "a" : [ 1 , -2 , 1.5 , true , null , "x\"/" ] , "b" : { } , "a" : 2 } )",
      R"([18446744073709551615, 9223372036854775808, -9223372036854775808, 18446744073709551616, 1e3, 0.1])",
      "[\"\\u00e9\\ud83d\\ude00\\t\\u0001\\u0000\", \"\xc3\xa9\"]",
      deep,
  };
  for (const std::string& text : texts) {
    auto doc = json_parse(text);
    ASSERT_TRUE(doc) << text.substr(0, 80);
    std::string compact = "kept:";
    EXPECT_TRUE(json_compact(text, compact));
    EXPECT_EQ(compact, "kept:" + *json_write(doc->root())) << text.substr(0, 80);
  }
}
