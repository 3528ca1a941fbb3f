#include "web/page/page.h"

#include <array>
#include <bit>
#include <cstddef>

#include "assets/PAGE_HTML.h"

namespace {

constexpr std::array<char, PAGE_HEADERS.size()> header_bytes() {
  std::array<char, PAGE_HEADERS.size()> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = PAGE_HEADERS[i];
  return bytes;
}

// The whole answer as one array, joined by the compiler: a record of the two
// arrays read as one (the bit cast compiles only if the record has no
// padding). Copying the document element by element in a constant
// expression instead would run into the compilers' step limits as the page
// grows.
struct Answer {
  std::array<char, PAGE_HEADERS.size()> headers;
  std::array<char, ASSET_PAGE_HTML.size()> document;
};
constexpr auto kAnswer = std::bit_cast<std::array<char, PAGE_HEADERS.size() + ASSET_PAGE_HTML.size()>>(
    Answer{header_bytes(), ASSET_PAGE_HTML});

}  // namespace

void page_write(FILE* out) {
  std::fwrite(kAnswer.data(), 1, kAnswer.size(), out);
  std::fflush(out);
}
