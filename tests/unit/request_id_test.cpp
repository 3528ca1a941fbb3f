#include "mcp/request_id.h"

#include <gtest/gtest.h>

#include <string>

#include "common/json.h"

TEST(RequestId, TakenFromTheRawLine) {
  const std::string long_string = "\"" + std::string(300, 's') + "\"";
  const std::string long_number(200, '7');
  struct Case {
    std::string line;
    const char* want;  // null: no usable id
  } cases[] = {
      {R"({"id":1,"method":"ping"})", "1"},
      {R"({"method":"ping","id":42})", "42"},
      {"{\"id\" \t:\r\n -3 ,\"method\":\"ping\"}", "-3"},
      {R"({"id":2.5})", "2"},
      {R"({"id":1e3})", "1"},
      {R"({"id":-0})", "-0"},
      {R"({"id":"abc"})", R"("abc")"},
      {R"({"id":""})", R"("")"},
      {R"({"id":"a\"b"})", R"("a\"b")"},
      {R"({"id":"x\\"})", R"("x\\")"},
      {R"({"id":"\u00e9\/"})", R"("\u00e9\/")"},  // escapes echoed as written
      {R"({"params":{"id":7},"id":1})", "7"},       // the first "id" in the line counts
      {R"({"id":null})", nullptr},
      {R"({"id":true})", nullptr},
      {R"({"id":false})", nullptr},
      {R"({"id":{"a":1}})", nullptr},
      {R"({"id":[1]})", nullptr},
      {R"({"method":"ping"})", nullptr},
      {R"({"x":"id","id":1})", nullptr},  // a string value "id" has no colon after it
      {R"({"ID":1})", nullptr},
      {R"({"id":)", nullptr},
      {R"({"id")", nullptr},
      {R"({"id":"open)", nullptr},
      {R"({"id":"ends in backslash\)", nullptr},
      {"{\"id\":" + long_string + "}", long_string.c_str()},
      {"{\"id\":" + long_number + "}", long_number.c_str()},
  };
  for (const auto& c : cases) {
    std::string id = "before";
    bool ok = extract_request_id(c.line, id);
    EXPECT_EQ(ok, c.want != nullptr) << c.line;
    EXPECT_EQ(id, c.want ? c.want : "before") << c.line;
    // An id taken from valid JSON is itself valid JSON text.
    if (ok && json_parse(c.line)) {
      EXPECT_TRUE(json_parse(id)) << c.line << " -> " << id;
    }
  }
}
