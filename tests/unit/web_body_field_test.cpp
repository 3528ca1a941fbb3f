#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "store/format_list.h"
#include "web/api_chain.h"
#include "web/api_chains.h"
#include "web/body_field.h"
#include "web/gate.h"

TEST(WebBodyField, ReadsFirstMemberAsText) {
  struct Case {
    const char* body;
    size_t capacity;
    bool found;
    std::string want;
  } cases[] = {
      {R"({"action":"stats"})", 64, true, "stats"},
      {R"({"action":""})", 64, true, ""},
      {R"({"action":5})", 64, true, "5"},
      {R"({"action":-9223372036854775808})", 64, true, "-9223372036854775808"},
      {R"({"action":18446744073709551615})", 64, true, "-1"},
      {R"({"action":true})", 64, true, "true"},
      {R"({"action":false})", 64, true, "false"},
      {R"({"action":"a\"b\u00e9"})", 64, true, "a\"b\xC3\xA9"},
      {R"({"action":"st\u0000ats"})", 64, true, "st"},
      {R"({"action":"0123456789abcdefXYZ"})", 16, true, "0123456789abcde"},
      {R"( {"x":1, "action" : "info", "action":"stats"} )", 64, true, "info"},
      {R"({"action":null,"action":"stats"})", 64, false, ""},  // only the first member counts
      {R"({"action":1.0})", 64, false, ""},
      {R"({"action":1e3})", 64, false, ""},
      {R"({"action":["stats"]})", 64, false, ""},
      {R"({"action":{}})", 64, false, ""},
      {R"({"Action":"stats"})", 64, false, ""},
      {R"({"actio":"stats"})", 64, false, ""},
      {R"({})", 64, false, ""},
      {R"(["action","stats"])", 64, false, ""},
      {R"("stats")", 64, false, ""},
      {R"({"action":"stats",})", 64, false, ""},
      {R"({"action":"stats"} x)", 64, false, ""},
      {"{\"action\":\"st\xff\"}", 64, false, ""},
      {"", 64, false, ""},
  };
  for (const auto& c : cases) {
    char out[64] = "untouched";
    std::optional<JsonDoc> doc = body_parse(c.body);
    bool found = json_str_field(doc ? doc->root() : JsonVal{}, "action", out, c.capacity);
    EXPECT_EQ(found, c.found) << c.body;
    EXPECT_EQ(std::string(out), c.found ? c.want : "untouched") << c.body;
  }
}

TEST(WebBodyField, TheBodyEndsAtItsFirstNul) {
  const std::string body("{\"action\":\"stats\"}\0garbage", 26);
  std::optional<JsonDoc> doc = body_parse(body);
  ASSERT_TRUE(doc);
  char out[64];
  ASSERT_TRUE(json_str_field(doc->root(), "action", out, sizeof out));
  EXPECT_STREQ(out, "stats");
}

TEST(WebGate, SameSecretComparesWholeTexts) {
  struct Case {
    const char* given;
    const char* secret;
    bool want;
  } cases[] = {
      {"s3cret", "s3cret", true},   {"s3cre", "s3cret", false},
      {"s3crett", "s3cret", false}, {"S3cret", "s3cret", false},
      {"s3creT", "s3cret", false},  {"", "s3cret", false},
      {"s3cret ", "s3cret", false}, {"x", "", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(same_secret(c.given, c.secret), c.want) << c.given << " vs " << c.secret;
}

TEST(WebChains, DirectoryNameAndThoughtHead) {
  struct Case {
    const char* dir;
    std::string want;
  } dirs[] = {
      {"/home/u/.tavrokin/connectors/plugin_veltrane", "plugin_veltrane"},
      {"C:\\Users\\u\\plugin_x", "plugin_x"},
      {"D:/data\\plugin_x", "data\\plugin_x"},
      {"/tmp/state/", ""},
      {"plain", "plain"},
  };
  for (const auto& c : dirs) EXPECT_EQ(state_dir_name(c.dir), c.want) << c.dir;
  EXPECT_EQ(state_dir_name("/" + std::string(200, 'n')), std::string(127, 'n'));

  EXPECT_EQ(thought_head("first\r\nsecond"), "first\r");
  EXPECT_EQ(thought_head("\nrest"), "");
  EXPECT_EQ(thought_head(std::string(200, 'h')), std::string(160, 'h'));
  EXPECT_EQ(thought_head(std::string(170, 'h') + "\n"), std::string(160, 'h'));
}

TEST(WebChain, IdRules) {
  EXPECT_TRUE(chain_id_valid("th-64-1a2c"));
  EXPECT_TRUE(chain_id_valid("A_z-09"));
  EXPECT_TRUE(chain_id_valid(std::string(64, 'a').c_str()));
  const std::string bad[] = {"", std::string(65, 'a'), "a.b", "a b", "a/b", "caf\xC3\xA9", "a%41", "a+b"};
  for (const auto& id : bad) EXPECT_FALSE(chain_id_valid(id.c_str())) << id;
}
