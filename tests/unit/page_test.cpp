#include "web/page/page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>

#include "support/temp_dir.h"
#include "web/page/assets.h"

namespace {

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

std::string source_file(const char* name) {
  return read_bytes(std::string(VELTRANE_SOURCE_DIR) + "/src/web/page/" + name);
}

std::size_t count(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(Page, EmbeddedAssetsMatchTheirSources) {
  struct {
    const char* file;
    std::string_view embedded;
  } cases[] = {
      {"page.html", ASSET_PAGE_HTML},
      {"theme_head.html", ASSET_THEME_HEAD_HTML},
      {"theme_api.html", ASSET_THEME_API_HTML},
  };
  for (const auto& c : cases) {
    std::string want = source_file(c.file);
    ASSERT_FALSE(want.empty()) << c.file;
    EXPECT_TRUE(c.embedded == want) << c.file << ": embedded " << c.embedded.size() << " bytes, source "
                                    << want.size();
  }
}

TEST(Page, TemplateShape) {
  std::string_view t = ASSET_PAGE_HTML;
  EXPECT_EQ(t.substr(0, 16), "<!DOCTYPE html>\n");
  EXPECT_EQ(count(t, "\x01"), 1u);
  EXPECT_EQ(count(t, "\x02"), 1u);
  EXPECT_EQ(count(t, "<title>Thought Chains</title>\n\x01\n"), 1u)
      << "theme head on the line after the title";
  EXPECT_TRUE(t.ends_with("\n\x02</body>\n</html>\n")) << "theme API script directly before </body>";
  // Lines end in LF alone; the only other bytes outside printable ASCII are
  // the placeholders and the middle dot of the branch badge.
  std::size_t high = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    auto b = static_cast<unsigned char>(t[i]);
    if (b == '\n' || b == 1 || b == 2) continue;
    EXPECT_FALSE(b < 0x20 || b == 0x7f) << "control byte " << int(b) << " at " << i;
    if (b >= 0x80) ++high;
  }
  EXPECT_EQ(high, 2u);
  EXPECT_EQ(count(t, "\xc2\xb7"), 1u);

  std::string_view head = ASSET_THEME_HEAD_HTML;
  EXPECT_TRUE(head.starts_with("<script>\n")) << "theme head opens with its script";
  EXPECT_EQ(count(head, "</script>\n<style>\n"), 1u) << "script, one LF, style";
  EXPECT_TRUE(head.ends_with("</style>")) << "no LF after the style element";
  std::string_view api = ASSET_THEME_API_HTML;
  EXPECT_TRUE(api.starts_with("<script>\n"));
  EXPECT_TRUE(api.ends_with("</script>\n"));
  EXPECT_EQ(count(api, "<script"), 1u);
  for (std::string_view asset : {t, head, api}) EXPECT_EQ(count(asset, "\r"), 0u);
}

TEST(Page, EmissionIsHeaderThenTemplateWithBothTextsInserted) {
  std::string out = page_output();
  ASSERT_GT(out.size(), PAGE_HEADERS.size());
  // Written out here on its own, so that a change to the policy shows.
  const std::string want_headers =
      "Content-Type: text/html; charset=utf-8\r\n"
      "Cache-Control: no-store\r\n"
      "X-Content-Type-Options: nosniff\r\n"
      "X-Frame-Options: SAMEORIGIN\r\n"
      "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
      "img-src data:; connect-src 'self'; form-action 'none'; base-uri 'none'\r\n\r\n";
  EXPECT_EQ(out.substr(0, want_headers.size()), want_headers);

  std::string_view t = ASSET_PAGE_HTML;
  std::size_t p1 = t.find('\x01'), p2 = t.find('\x02');
  ASSERT_LT(p1, p2);
  std::string want;
  want.append(t.substr(0, p1));
  want.append(ASSET_THEME_HEAD_HTML);
  want.append(t.substr(p1 + 1, p2 - p1 - 1));
  want.append(ASSET_THEME_API_HTML);
  want.append(t.substr(p2 + 1));
  std::string body = out.substr(want_headers.size());
  EXPECT_TRUE(body == want) << "body differs from template with both texts inserted: " << body.size()
                            << " bytes, want " << want.size();
  EXPECT_EQ(body.find('\x01'), std::string::npos);
  EXPECT_EQ(body.find('\x02'), std::string::npos);
}

// The security policy allows inline scripts and styles only: anything the
// page would load from elsewhere is blocked, and handlers written into the
// markup are not how the page attaches behaviour.
TEST(Page, BodyReferencesNothingOutside) {
  std::string body = page_output().substr(301);
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
