#include "web/page/page.h"

#include "web/page/assets.h"

namespace {

void put(FILE* out, std::string_view text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace

void page_write(FILE* out) {
  put(out, PAGE_HEADERS);
  // The template is written in runs between placeholder bytes; each inserted
  // text goes out in one write.
  std::string_view rest = ASSET_PAGE_HTML;
  for (;;) {
    std::size_t at = rest.find_first_of(std::string_view("\x01\x02", 2));
    if (at == std::string_view::npos) break;
    put(out, rest.substr(0, at));
    put(out, rest[at] == PAGE_THEME_HEAD_MARK ? ASSET_THEME_HEAD_HTML : ASSET_THEME_API_HTML);
    rest.remove_prefix(at + 1);
  }
  put(out, rest);
  std::fflush(out);
}
