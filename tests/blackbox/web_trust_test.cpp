// What an action asks of a request besides the password: no other site
// sent it (Sec-Fetch-Site), it uses GET or POST, and a change of the store
// comes as a POST of a JSON object sent as application/json. The order of
// these checks, and the exact bytes of each refusal.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/temp_dir.h"
#include "web_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kPassword = "s3cr+t";
const std::string kStore = R"({"chains":[{"id":"th-1","thoughts":[{"thought":"kept"}]}]})";
const std::string kClearBody = R"({"action":"clear","confirm":true})";

const std::string kCrossSite = "403: request from another site refused";
const std::string kReadMethods = "405: method not allowed; use GET or POST";
const std::string kChangeRule =
    "clear needs a POST with Content-Type: application/json and a JSON object as its body";

// A state directory holding kStore.
struct Store {
  TempDir tmp;
  std::string dir = tmp.file("state");
  Store() {
    fs::create_directory(dir);
    write_bytes(file(), kStore);
  }
  std::string file() const { return (fs::path(dir) / "chains.json").string(); }
  bool intact() const { return fs::exists(file()) && read_bytes(file()) == kStore; }
  RunResult send(std::map<std::string, std::string> env, const std::string& body = {}) const {
    if (!body.empty()) env["CONTENT_LENGTH"] = std::to_string(body.size());
    return web_request(dir, std::move(env), body);
  }
};

std::string label_of(const std::map<std::string, std::string>& env, const std::string& body) {
  std::string label;
  for (const auto& [k, v] : env) label += k + "=" + v + " ";
  return label + body;
}

}  // namespace

TEST(WebTrust, EachRefusalIsExact) {
  Store store;
  EXPECT_EQ(store.send({{"QUERY_STRING", "action=stats"}, {"HTTP_SEC_FETCH_SITE", "cross-site"}}).out,
            refusal_answer("403 Forbidden", "", "request from another site refused"));
  EXPECT_EQ(store.send({{"QUERY_STRING", "action=stats"}, {"REQUEST_METHOD", "OPTIONS"}}).out,
            refusal_answer("405 Method Not Allowed", "GET, POST", "method not allowed; use GET or POST"));
  EXPECT_EQ(store.send({{"QUERY_STRING", "action=clear&confirm=1"}, {"REQUEST_METHOD", "GET"}}).out,
            refusal_answer("405 Method Not Allowed", "POST", kChangeRule));
  EXPECT_EQ(store.send({{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "text/plain"}}, kClearBody).out,
            refusal_answer("415 Unsupported Media Type", "", kChangeRule));
  EXPECT_EQ(store
                .send({{"QUERY_STRING", "action=clear&confirm=1"},
                       {"REQUEST_METHOD", "POST"},
                       {"CONTENT_TYPE", "application/json"}},
                      "[1]")
                .out,
            refusal_answer("400 Bad Request", "", kChangeRule));
  RunResult r = store.send({{"QUERY_STRING", "action=stats"}, {"HTTP_SEC_FETCH_SITE", "same-site"}});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(store.intact());
}

// The site is judged first (it needs no secret, so a guesser on another
// site learns nothing), then the password, then the method; the page
// itself needs neither.
TEST(WebTrust, GateOrder) {
  const std::string with_pwd = "action=stats&pwd=s3cr%2Bt";
  struct Case {
    std::map<std::string, std::string> env;
    std::string body;
    std::string want;
  } cases[] = {
      {{{"HTTP_SEC_FETCH_SITE", "cross-site"}}, "", kCrossSite},
      {{{"HTTP_SEC_FETCH_SITE", "cross-site"}, {"HTTP_X_BOT_PASSWORD", kPassword}}, "", kCrossSite},
      {{{"HTTP_SEC_FETCH_SITE", "cross-site"}, {"QUERY_STRING", with_pwd}}, "", kCrossSite},
      {{{"HTTP_SEC_FETCH_SITE", "same-origin"}}, "", "refused"},
      {{{"HTTP_SEC_FETCH_SITE", "same-origin"}, {"HTTP_X_BOT_PASSWORD", kPassword}}, "", "stats"},
      {{{"HTTP_SEC_FETCH_SITE", "none"}, {"QUERY_STRING", with_pwd}}, "", "stats"},
      {{{"HTTP_AUTHORIZATION", "Bearer s3cr+t"}}, "", "stats"},
      {{{"REQUEST_METHOD", "OPTIONS"}}, "", "refused"},
      {{{"REQUEST_METHOD", "OPTIONS"}, {"HTTP_X_BOT_PASSWORD", kPassword}}, "", kReadMethods},
      {{{"REQUEST_METHOD", "OPTIONS"}, {"HTTP_SEC_FETCH_SITE", "cross-site"}}, "", kCrossSite},
      // A link from another site opens the page, which asks for the password.
      {{{"QUERY_STRING", ""}, {"HTTP_SEC_FETCH_SITE", "cross-site"}}, "", "page"},
      {{{"QUERY_STRING", "theme=dark&node=n1"}, {"HTTP_SEC_FETCH_SITE", "same-site"}}, "", "page"},
      // A POST without an action asks for the list: an action like any other.
      {{{"QUERY_STRING", ""}, {"REQUEST_METHOD", "POST"}, {"HTTP_SEC_FETCH_SITE", "cross-site"}},
       "",
       kCrossSite},
      {{{"QUERY_STRING", "format=json"},
        {"HTTP_SEC_FETCH_SITE", "cross-site"},
        {"HTTP_X_BOT_PASSWORD", kPassword}},
       "",
       kCrossSite},
      {{{"QUERY_STRING", "action=clear&confirm=1"}, {"HTTP_X_BOT_PASSWORD", kPassword}},
       "",
       "405: " + kChangeRule},
      {{{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "application/json"}}, kClearBody, "refused"},
      {{{"REQUEST_METHOD", "POST"},
        {"CONTENT_TYPE", "application/json"},
        {"HTTP_SEC_FETCH_SITE", "cross-site"}},
       kClearBody,
       kCrossSite},
      {{{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "text/plain"}, {"HTTP_X_BOT_PASSWORD", kPassword}},
       kClearBody,
       "415: " + kChangeRule},
  };
  for (const auto& c : cases) {
    Store store;
    std::map<std::string, std::string> env = c.env;
    env["BOT_PASSWORD"] = kPassword;
    env.emplace("QUERY_STRING", "action=stats");
    if (under_wrapper() && env["QUERY_STRING"].empty()) continue;  // wine may drop empty variables
    RunResult r = store.send(env, c.body);
    EXPECT_EQ(answer_kind(r), c.want) << label_of(c.env, c.body);
    EXPECT_TRUE(store.intact()) << label_of(c.env, c.body);
  }
}

TEST(WebTrust, SecFetchSiteValues) {
  struct Case {
    const char* value;  // null: the header is not sent (a script)
    bool admitted;
  } cases[] = {
      {nullptr, true},          {"same-origin", true},   {"none", true},
      {"cross-site", false},    {"same-site", false},    {"", false},
      {"Same-Origin", false},   {"same-origin ", false}, {"none, cross-site", false},
      {"same-origin-x", false},
  };
  for (const auto& c : cases) {
    if (under_wrapper() && c.value && !*c.value) continue;
    const std::string label = c.value ? c.value : "(unset)";
    std::map<std::string, std::string> site;
    if (c.value) site["HTTP_SEC_FETCH_SITE"] = c.value;

    Store store;
    auto read = site;
    read["QUERY_STRING"] = "action=chain&id=th-1";
    RunResult chain = store.send(read);
    if (c.admitted) {
      EXPECT_EQ(json_body(chain).rfind(R"({"ok":true,"id":"th-1",)", 0), 0u) << label << chain.out;
    } else {
      EXPECT_EQ(answer_kind(chain), kCrossSite) << label;
    }

    auto clear = site;
    clear["REQUEST_METHOD"] = "POST";
    clear["CONTENT_TYPE"] = "application/json";
    RunResult r = store.send(clear, kClearBody);
    if (c.admitted) {
      EXPECT_EQ(r.out, kJsonHeaders + R"({"ok":true,"cleared":true})" + "\n") << label;
      EXPECT_FALSE(fs::exists(store.file())) << label;
    } else {
      EXPECT_EQ(answer_kind(r), kCrossSite) << label;
      EXPECT_TRUE(store.intact()) << label;
    }
  }
}

// No method but GET and POST runs an action, whatever the query and the
// body say; a change of the store needs a POST.
TEST(WebTrust, MethodsThatRunNoAction) {
  const char* methods[] = {"OPTIONS", "HEAD", "PUT", "DELETE", "PATCH", "TRACE", "get", "post"};
  struct Query {
    const char* query;
    std::string want;
  } queries[] = {
      {"action=clear&confirm=1", "405: " + kChangeRule},
      {"action=stats", kReadMethods},
      {"action=chain&id=th-1", kReadMethods},
      {"format=json", kReadMethods},
      {"action=nope", kReadMethods},
  };
  for (const char* method : methods) {
    for (const auto& q : queries) {
      Store store;
      // The body would clear if it were read.
      RunResult r = store.send(
          {{"QUERY_STRING", q.query}, {"REQUEST_METHOD", method}, {"CONTENT_TYPE", "application/json"}},
          kClearBody);
      const std::string label = std::string(method) + " " + q.query;
      EXPECT_EQ(answer_kind(r), q.want) << label;
      EXPECT_NE(
          r.out.find(q.want.rfind("405: clear", 0) == 0 ? "\r\nAllow: POST\r\n" : "\r\nAllow: GET, POST\r\n"),
          std::string::npos)
          << label;
      EXPECT_TRUE(store.intact()) << label;
    }
  }
  // A GET, or a request without a method (run by hand), reads but never
  // clears, also with a JSON body.
  for (const char* method : {"GET", static_cast<const char*>(nullptr)}) {
    Store store;
    std::map<std::string, std::string> env = {{"QUERY_STRING", "action=clear&confirm=1"},
                                              {"CONTENT_TYPE", "application/json"}};
    if (method) env["REQUEST_METHOD"] = method;
    EXPECT_EQ(answer_kind(store.send(env, kClearBody)), "405: " + kChangeRule)
        << (method ? method : "(unset)");
    EXPECT_TRUE(store.intact());
    env["QUERY_STRING"] = "action=stats";
    EXPECT_EQ(answer_kind(store.send(env)), "stats") << (method ? method : "(unset)");
  }
}

// The bodies and types another site can post without asking first (forms,
// no-cors fetches), and what a script sends.
TEST(WebTrust, StateChangesNeedAPostOfJson) {
  struct Case {
    const char* content_type;  // null: unset
    std::string query;
    std::string body;
    std::string want;  // "cleared", or the refusal
  } cases[] = {
      {"application/json", "", kClearBody, "cleared"},
      {"application/json; charset=utf-8", "", kClearBody, "cleared"},
      {"Application/JSON;charset=UTF-8", "", kClearBody, "cleared"},
      {" application/json ", "", kClearBody, "cleared"},
      {"application/json", "action=clear&confirm=1", "{}", "cleared"},
      {"application/json", "action=clear", R"({"confirm":"1"})", "cleared"},
      // A form with enctype text/plain can make a body that parses as JSON.
      {"text/plain", "", R"({"action":"clear","confirm":"1","x":"="})", "415: " + kChangeRule},
      {"text/plain;charset=UTF-8", "", kClearBody, "415: " + kChangeRule},
      {"text/plain; application/json", "", kClearBody, "415: " + kChangeRule},
      // A form's fields are no JSON: the body names no action, and the list is read.
      {"application/x-www-form-urlencoded", "", "action=clear&confirm=1", "chains"},
      {"application/x-www-form-urlencoded", "action=clear&confirm=1", "x=1", "415: " + kChangeRule},
      {"multipart/form-data; boundary=b", "action=clear&confirm=1", "--b--", "415: " + kChangeRule},
      {"application/json5", "", kClearBody, "415: " + kChangeRule},
      {"application/jsonx", "", kClearBody, "415: " + kChangeRule},
      {"application/json-seq", "", kClearBody, "415: " + kChangeRule},
      {"", "", kClearBody, "415: " + kChangeRule},
      {nullptr, "", kClearBody, "415: " + kChangeRule},
      // The type is right but the body is no JSON object.
      {"application/json", "action=clear&confirm=1", "", "400: " + kChangeRule},
      {"application/json", "action=clear&confirm=1", "not json", "400: " + kChangeRule},
      {"application/json", "action=clear&confirm=1", "[1]", "400: " + kChangeRule},
      {"application/json", "action=clear&confirm=1", "\"clear\"", "400: " + kChangeRule},
      // The confirmation is still needed.
      {"application/json", "action=clear", "{}", "confirm=1 required"},
  };
  for (const auto& c : cases) {
    if (under_wrapper() && c.content_type && !*c.content_type) continue;
    Store store;
    std::map<std::string, std::string> env = {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", c.query}};
    if (c.content_type) env["CONTENT_TYPE"] = c.content_type;
    if (under_wrapper() && c.query.empty()) env.erase("QUERY_STRING");
    RunResult r = store.send(env, c.body);
    const std::string label = label_of(env, c.body);
    if (c.want == "cleared") {
      EXPECT_EQ(r.out, kJsonHeaders + R"({"ok":true,"cleared":true})" + "\n") << label;
      EXPECT_FALSE(fs::exists(store.file())) << label;
    } else {
      EXPECT_EQ(answer_kind(r), c.want) << label;
      EXPECT_TRUE(store.intact()) << label;
    }
  }
}
