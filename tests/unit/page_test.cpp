#include "web/page/page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

// The header block, written out here on its own, so that a change to the
// security policy shows.
const std::string kHeaders =
    "Content-Type: text/html; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: SAMEORIGIN\r\n"
    "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "img-src data:; connect-src 'self'; form-action 'none'; base-uri 'none'\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Cross-Origin-Opener-Policy: same-origin\r\n\r\n";

std::string page_output() {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::tmpfile(), &std::fclose);
  if (!f) return {};
  page_write(f.get());
  std::fflush(f.get());
  std::rewind(f.get());
  std::string out;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) out.append(chunk, n);
  return out;
}

// The document the build assembled from the page's files.
std::string document() { return read_bytes(VELTRANE_PAGE_DOCUMENT); }

// The page's parts, in the order the build places them.
std::vector<std::string> part_paths() {
  std::vector<std::string> paths;
  std::string_view list = VELTRANE_PAGE_PARTS;
  for (std::size_t bar; (bar = list.find('|')) != std::string_view::npos; list.remove_prefix(bar + 1))
    paths.emplace_back(list.substr(0, bar));
  paths.emplace_back(list);
  return paths;
}

std::string where_they_differ(const std::string& got, const std::string& want) {
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  return "first difference at byte " + std::to_string(i) + " of " + std::to_string(got.size()) + " (want " +
         std::to_string(want.size()) + ")";
}

}  // namespace

TEST(Page, AnswerIsTheHeaderBlockThenTheAssembledDocument) {
  std::string doc = document();
  ASSERT_FALSE(doc.empty()) << VELTRANE_PAGE_DOCUMENT;
  std::string out = page_output();
  EXPECT_EQ(out.substr(0, kHeaders.size()), kHeaders);
  EXPECT_TRUE(out == kHeaders + doc) << where_they_differ(out, kHeaders + doc);
}

// Each part reaches the document byte for byte (the style sheet's and the
// scripts' semicolons, brackets and backslashes included), once and in the
// listed order, and no part line of the markup is left in it.
TEST(Page, DocumentHoldsEveryPartInOrder) {
  std::string doc = document();
  std::vector<std::string> paths = part_paths();
  ASSERT_GE(paths.size(), 3u);
  std::size_t from = 0;
  for (const std::string& path : paths) {
    std::string part = read_bytes(path);
    ASSERT_FALSE(part.empty()) << path;
    std::size_t at = doc.find(part, from);
    ASSERT_NE(at, std::string::npos) << path << " is not in the document after the part before it";
    EXPECT_EQ(doc.find(part, at + 1), std::string::npos) << path << " is in the document twice";
    from = at + part.size();
  }
  EXPECT_EQ(doc.find("<!-- part:"), std::string::npos);
}

// The theme is chosen before anything is drawn: its script and palette sit in
// the head, before the page's own style sheet. The script that changes it
// later runs from the body.
TEST(Page, ThemeFilesSitWhereTheyWork) {
  std::string doc = document();
  std::string page_dir = std::string(VELTRANE_SOURCE_DIR) + "/src/web/page/";
  std::string head = read_bytes(page_dir + "theme_head.html");
  std::string style = read_bytes(page_dir + "page.css");
  std::string api = read_bytes(page_dir + "theme_api.html");
  ASSERT_FALSE(head.empty() || style.empty() || api.empty());
  std::size_t at_head = doc.find(head), at_style = doc.find(style), at_api = doc.find(api);
  ASSERT_NE(at_head, std::string::npos);
  ASSERT_NE(at_style, std::string::npos);
  ASSERT_NE(at_api, std::string::npos);
  EXPECT_LT(doc.find("<head>"), at_head);
  EXPECT_LT(at_head, at_style);
  EXPECT_LE(at_head + head.size(), doc.find("</head>"));
  EXPECT_LT(doc.find("<body>"), at_api);
  EXPECT_LE(at_api + api.size(), doc.find("</body>"));
}

// The security policy allows inline scripts and styles only: anything the
// page would load from elsewhere is blocked, and handlers written into the
// markup are not how the page attaches behaviour.
TEST(Page, BodyReferencesNothingOutside) {
  std::string body = page_output().substr(kHeaders.size());
  struct {
    const char* pattern;
    const char* why;
  } forbidden[] = {
      {R"(\son[a-z]+\s*=)", "inline event handler attribute"},
      {R"(<(link|img|iframe|object|embed|base|form)\b)", "element that loads or submits"},
      {R"(\ssrc\s*=)", "src attribute"},
      // The SVG namespace is a name the DOM asks for, not an address anything is loaded from.
      {R"(https?:(?!//www\.w3\.org/2000/svg"))", "absolute address"},
      {R"(@import|\burl\()", "style sheet reference"},
      {R"(\beval\(|new Function)", "script built from text"},
  };
  for (const auto& f : forbidden) {
    std::smatch m;
    EXPECT_FALSE(std::regex_search(body, m, std::regex(f.pattern, std::regex::icase)))
        << f.why << ": " << m.str();
  }
}
