// The request gate as a web server drives it: password sources, action
// selection, the request body, and the exact bytes of the fixed answers.
#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "web_support.h"

namespace {

const std::string kPassword = "s3cr+t";

}  // namespace

TEST(WebGate, PasswordSources) {
  TempDir dir;
  struct Case {
    std::map<std::string, std::string> env;
    bool pass;
  } cases[] = {
      {{}, false},
      {{{"HTTP_X_BOT_PASSWORD", "s3cr+t"}}, true},
      {{{"HTTP_X_BOT_PASSWORD", "S3CR+T"}}, false},
      {{{"HTTP_X_BOT_PASSWORD", "s3cr+t "}}, false},
      {{{"HTTP_X_BOT_PASSWORD", "s3cr"}}, false},
      {{{"HTTP_AUTHORIZATION", "Bearer s3cr+t"}}, true},
      {{{"HTTP_AUTHORIZATION", "   bEaReR    s3cr+t"}}, true},
      {{{"HTTP_AUTHORIZATION", "BEARER s3cr+t"}}, true},
      {{{"HTTP_AUTHORIZATION", "Bearer s3cr+t "}}, false},
      {{{"HTTP_AUTHORIZATION", "Bearer\ts3cr+t"}}, false},
      {{{"HTTP_AUTHORIZATION", "\tBearer s3cr+t"}}, false},
      {{{"HTTP_AUTHORIZATION", "Basic s3cr+t"}}, false},
      {{{"HTTP_AUTHORIZATION", "s3cr+t"}}, false},
      {{{"HTTP_AUTHORIZATION", "Bearer"}}, false},
      {{{"QUERY_STRING", "action=stats&pwd=s3cr%2Bt"}}, true},
      {{{"QUERY_STRING", "pwd=s3cr%2bt&action=stats"}}, true},
      {{{"QUERY_STRING", "action=stats&pwd=s3cr+t"}}, false},  // a raw plus is a space
      {{{"QUERY_STRING", "action=stats&pwd=s3cr%2Bt2"}}, false},
      {{{"QUERY_STRING", "action=stats&xpwd=s3cr%2Bt"}}, false},
      {{{"QUERY_STRING", "action=stats&PWD=s3cr%2Bt"}}, false},
      // Any one source suffices, whatever the others hold.
      {{{"HTTP_X_BOT_PASSWORD", "wrong"}, {"QUERY_STRING", "action=stats&pwd=s3cr%2Bt"}}, true},
      {{{"HTTP_X_BOT_PASSWORD", "wrong"}, {"HTTP_AUTHORIZATION", "Bearer s3cr+t"}}, true},
      {{{"HTTP_AUTHORIZATION", "Bearer wrong"}, {"HTTP_X_BOT_PASSWORD", "s3cr+t"}}, true},
      {{{"HTTP_AUTHORIZATION", "Bearer wrong"}, {"QUERY_STRING", "action=stats&pwd=wrong"}}, false},
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> env = c.env;
    env["BOT_PASSWORD"] = kPassword;
    if (!env.count("QUERY_STRING")) env["QUERY_STRING"] = "action=stats";
    RunResult r = web_request(dir.str(), env);
    std::string label;
    for (const auto& [k, v] : c.env) label += k + "=" + v + " ";
    EXPECT_EQ(r.status, 0) << label;
    EXPECT_EQ(answer_kind(r), c.pass ? "stats" : "refused") << label;
  }
}

TEST(WebGate, RefusalIsExactAndThePageNeedsNoPassword) {
  TempDir dir;
  // The page holds no data: it opens without credentials and asks for them.
  for (const char* method : {"GET", "HEAD"}) {
    RunResult page = web_request(dir.str(), {{"BOT_PASSWORD", kPassword}, {"REQUEST_METHOD", method}});
    EXPECT_EQ(answer_kind(page), "page") << method;
    EXPECT_EQ(page.err, "");
    EXPECT_EQ(page.status, 0);
  }
  // Every action is refused; no body is read and nothing else is written.
  RunResult post = web_request(
      dir.str(), {{"BOT_PASSWORD", kPassword}, {"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "18"}},
      R"({"action":"info"})"
      "\n");
  EXPECT_EQ(post.out, kRefusal);
}

TEST(WebGate, PasswordLengths) {
  TempDir dir;
  const std::string long_password(300, 'k');
  std::map<std::string, std::string> base = {{"BOT_PASSWORD", long_password},
                                             {"QUERY_STRING", "action=stats"}};
  auto with = [&](const std::string& name, const std::string& value) {
    auto env = base;
    env[name] = value;
    return answer_kind(web_request(dir.str(), env));
  };
  EXPECT_EQ(with("HTTP_X_BOT_PASSWORD", long_password), "stats");
  EXPECT_EQ(with("HTTP_AUTHORIZATION", "Bearer " + long_password), "stats");
  EXPECT_EQ(with("QUERY_STRING", "action=stats&pwd=" + long_password), "refused")
      << "a query password is cut to 255 bytes";

  // With no password, or an empty one, there is no gate.
  EXPECT_EQ(answer_kind(web_request(dir.str(), {{"QUERY_STRING", "action=stats"}})), "stats");
  if (!under_wrapper()) {
    EXPECT_EQ(answer_kind(web_request(dir.str(), {{"BOT_PASSWORD", ""}, {"QUERY_STRING", "action=stats"}})),
              "stats");
  }
}

TEST(WebGate, ActionSelection) {
  TempDir dir;
  const std::string stats_body = R"({"action":"stats"})";
  struct Case {
    const char* query;   // null: QUERY_STRING unset
    const char* method;  // null: REQUEST_METHOD unset
    std::string body;    // sent with its CONTENT_LENGTH when not empty
    std::string want;
  } cases[] = {
      {nullptr, "GET", "", "page"},
      {nullptr, nullptr, "", "page"},
      {"", "GET", "", "page"},
      {"x=1", "GET", "", "page"},
      {nullptr, "post", "", "page"},
      {nullptr, "HEAD", "", "page"},
      {nullptr, "POST", "", "chains"},
      {"action=", "GET", "", "chains"},
      {"action=stats", nullptr, "", "stats"},
      {"action=st%61ts", "GET", "", "stats"},
      {"action=info&action=stats", "GET", "", "info"},
      {"action=Stats", "GET", "", "unknown action"},
      {"action=stats%20", "GET", "", "unknown action"},
      {"action=stats+", "GET", "", "unknown action"},
      {"format=json", "GET", "", "chains"},
      {"format=json&action=stats", "GET", "", "stats"},
      {"x=1&format=json", "GET", "", "chains"},
      {"xformat=json", "GET", "", "chains"},
      {"q=format=json&r=2", "GET", "", "chains"},
      {"format=jsonp", "GET", "", "page"},
      {"format=json2&format=json", "GET", "", "page"},
      {"format=JSON", "GET", "", "page"},
      {"format=jsonp", "POST", "", "chains"},
      // The body's action wins over the query's, when it is a non-empty text.
      {nullptr, "POST", stats_body, "stats"},
      {"action=chains", "POST", stats_body, "stats"},
      {"action=info", "POST", R"({"action":""})", "info"},
      {"action=info", "POST", R"({"action":null})", "info"},
      // A body behind a byte-order mark is no JSON: the query's action stands.
      {"action=info", "POST", "\xEF\xBB\xBF" + stats_body, "info"},
      {nullptr, "POST", "\xBF" + stats_body, "chains"},
      {"action=info", "POST", R"({"action":1.5})", "info"},
      {"action=info", "POST", R"({"other":"stats"})", "info"},
      {"action=info", "POST", "action=stats", "info"},
      {"action=info", "POST", R"(["stats"])", "info"},
      {nullptr, "POST", R"({"action":5})", "unknown action"},
      {nullptr, "POST", R"({"action":true})", "unknown action"},
      {nullptr, "POST", R"({"action":"info","action":"stats"})", "info"},
      // A GET's body is read too; other methods run no action.
      {"action=chains", "GET", stats_body, "stats"},
      {"format=json", "PUT", stats_body, "405: method not allowed; use GET or POST"},
      // A GET without an action is the page, and its body is not read.
      {nullptr, "GET", stats_body, "page"},
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> env;
    if (c.query) env["QUERY_STRING"] = c.query;
    if (c.method) env["REQUEST_METHOD"] = c.method;
    if (!c.body.empty()) env["CONTENT_LENGTH"] = std::to_string(c.body.size());
    if (under_wrapper() && c.query && !*c.query) continue;  // wine may drop empty variables
    RunResult r = web_request(dir.str(), env, c.body);
    std::string label = std::string(c.query ? c.query : "(no query)") + " " +
                        (c.method ? c.method : "(no method)") + " " + c.body;
    EXPECT_EQ(r.status, 0) << label;
    EXPECT_EQ(answer_kind(r), c.want) << label;
  }
}

TEST(WebGate, RequestBodyLength) {
  TempDir dir;
  const std::string body = R"({"action":"stats"})";  // 18 bytes
  struct Case {
    const char* content_length;  // null: unset
    std::string input;
    std::string want;
  } cases[] = {
      {"18", body, "stats"},
      {" 18", body, "stats"},
      {"+18", body, "stats"},
      {"18abc", body, "stats"},
      {"18", body + "garbage after the announced length", "stats"},
      {"100", body, "stats"},  // fewer bytes than announced: what arrived is the body
      {"10", body, "chains"},  // cut short: no longer JSON
      {"0", body, "chains"},
      {"-18", body, "chains"},
      {"abc", body, "chains"},
      {"", body, "chains"},
      {nullptr, body, "chains"},
      {"2097153", body, "chains"},
      {"99999999999999999999999", body, "chains"},
      {"-99999999999999999999999", body, "chains"},
      {"21", body + std::string("\0zz", 3), "stats"},  // the body counts up to its first NUL
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> env = {{"REQUEST_METHOD", "POST"}};
    if (c.content_length) env["CONTENT_LENGTH"] = c.content_length;
    if (under_wrapper() && c.content_length && !*c.content_length) continue;
    RunResult r = web_request(dir.str(), env, c.input);
    EXPECT_EQ(answer_kind(r), c.want) << (c.content_length ? c.content_length : "(unset)");
  }

  // The largest body that is read, and one byte more.
  std::string largest = body + std::string(2097152 - body.size(), ' ');
  EXPECT_EQ(answer_kind(
                web_request(dir.str(), {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "2097152"}}, largest)),
            "stats");
  EXPECT_EQ(answer_kind(web_request(dir.str(), {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "2097153"}},
                                    largest + " ")),
            "chains");
}

TEST(WebGate, UnknownActionIsExact) {
  TempDir dir;
  RunResult r = web_request(dir.str(), {{"QUERY_STRING", "action=nope"}});
  EXPECT_EQ(r.out, error_answer("unknown action"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}
