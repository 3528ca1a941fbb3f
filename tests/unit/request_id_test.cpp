#include "mcp/request_id.h"

#include <gtest/gtest.h>

#include <string>

#include "common/json.h"

TEST(RequestId, TheTopLevelIdAsWritten) {
  const std::string long_string = "\"" + std::string(300, 's') + "\\\"" + "\"";
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
      {"{\"id\":" + long_string + "}", long_string.c_str()},
      {"{\"id\":" + long_number + "}", long_number.c_str()},
      // Only the root's own member counts, wherever it stands.
      {R"({"params":{"id":7},"id":1})", "1"},
      {R"({"method":"tools/call","params":{"arguments":{"id":7,"x":[{"id":8}]}},"jsonrpc":"2.0","id":9})",
       "9"},
      {R"({"params":{"branchId":"id","thought":"\"id\":5"},"id":"r"})", R"("r")"},
      {R"({"x":"id","id":1})", "1"},
      {R"({"a":[1,{"b":"}"}],"c":{"d":"]"},"id":"e\\"})", R"("e\\")"},
      {R"({"\u0069d":3})", "3"},  // the key as the parser reads it
      {R"({"id":4,"id":5})", "4"},
      {R"({"id":null,"id":5})", nullptr},  // only the first member counts
      {R"({"id":null})", nullptr},
      {R"({"id":true})", nullptr},
      {R"({"id":false})", nullptr},
      {R"({"id":{"a":1}})", nullptr},
      {R"({"id":[1]})", nullptr},
      {R"({"method":"ping"})", nullptr},
      {R"({"params":{"id":7}})", nullptr},
      {R"({"ID":1})", nullptr},
  };
  for (const auto& c : cases) {
    auto doc = json_parse(c.line);
    ASSERT_TRUE(doc) << c.line;
    std::string_view id = "before";
    EXPECT_EQ(request_id_text(c.line, doc->root(), id), c.want != nullptr) << c.line;
    EXPECT_EQ(id, c.want ? c.want : "before") << c.line;
  }
}
