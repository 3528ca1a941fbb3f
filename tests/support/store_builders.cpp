#include "support/store_builders.h"

#include <gtest/gtest.h>

#include "common/buf.h"
#include "store/format_records.h"
#include "store/format_write.h"
#include "support/temp_dir.h"

namespace store_builders {

Thought accepted(int64_t n, std::string text) {
  Thought t;
  t.thought = std::move(text);
  t.thoughtNumber = n;
  t.totalThoughts = n;
  t.nextThoughtNeeded = true;
  return t;
}

StoredThought stored(int64_t n, std::string text) {
  StoredThought t;
  t.text = std::move(text);
  t.thought_number = n;
  t.total_thoughts = n;
  t.at = n;
  return t;
}

Chain chain_of(const std::string& id, int64_t updated_at, size_t thoughts, size_t text_size) {
  Chain c;
  c.id = id;
  c.updated_at = updated_at;
  for (size_t i = 0; i < thoughts; ++i)
    chain_add(c, stored(static_cast<int64_t>(i + 1), std::string(text_size, 'x')));
  return c;
}

std::vector<Chain> chains_in_file(const std::string& path) {
  std::string bytes = read_bytes(path);
  auto chains = read_chains(bytes);
  EXPECT_TRUE(chains) << "not a store: " << bytes.substr(0, 200);
  if (!chains) return {};
  Buf again;
  chains_text(again, *chains);
  EXPECT_EQ(again.view(), bytes) << "the file is not in its exact written form";
  return *chains;
}

}  // namespace store_builders
