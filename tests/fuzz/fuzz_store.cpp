// The chains file reader on arbitrary bytes: it must not fail, and what it
// writes must read back to the same store, so that the file is stable from
// the first rewrite on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/buf.h"
#include "store/chains_text.h"
#include "store/live_store.h"
#include "store/read_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto first = read_store(bytes);
  if (!first) return 0;
  Buf once;
  chains_text(once, *first);
  auto second = read_store(once.view());
  if (!second) std::abort();  // the writer produced something that is not a store
  Buf twice;
  chains_text(twice, *second);
  if (once.view() != twice.view()) std::abort();
  // The writer that keeps each chain's text gives the same bytes.
  Buf live;
  live_store_text(live, live_store_from(std::move(*second)));
  if (live.view() != once.view()) std::abort();
  return 0;
}
