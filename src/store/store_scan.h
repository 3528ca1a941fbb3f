// One streaming pass over a chains file as the web's read actions read it:
// any JSON text, looked up leniently. The chain array is the root's first
// "chains" member when the root is an object and that member an array;
// every lookup takes an object's first member with the key, and a value of
// the wrong type counts as absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/json_stream.h"
#include "store/list_record.h"

// What the pass gathers. Records are built only when asked for, and only the
// target chain's position is looked for.
struct ScanWants {
  bool records = false;
  std::optional<std::string_view> target;  // a chain id
};

struct ScanResult {
  size_t count = 0;     // elements of the chain array, objects or not
  std::string records;  // the chain objects' list records, joined by commas
  StoreTotals totals;
  // The bytes of the first chain object whose "id" is the target: offset
  // and length in the text.
  std::optional<std::pair<uint64_t, uint64_t>> target;
};

// Reads the text (up to its first NUL byte) in one pass. False when it is
// not JSON text; out is then incomplete.
bool scan_store(JsonInput& input, const ScanWants& wants, ScanResult& out);
