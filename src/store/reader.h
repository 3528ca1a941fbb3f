// The chains file as the web's read actions read it. Each answer comes from
// the summary when the summary describes the file exactly as it is now, and
// otherwise from one streaming pass over the whole file, which accepts any
// JSON text (up to its first NUL byte) and re-validates all of it. Both
// give the same bytes. A file that is missing, cannot be opened, or is
// larger than READ_FILE_MAX reads as the empty store. Nothing at the path
// is ever waited for (a FIFO), created, locked or changed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "store/format_list.h"

enum class StoreStatus {
  ok,
  // The file was read but is no JSON text (an empty file included), reading
  // it failed part way, or the path names something that is not a regular
  // file (a directory, a FIFO, a socket).
  unreadable,
};

struct StoreList {
  size_t count = 0;     // elements of the chain array
  std::string records;  // the list records of its chain objects, joined by commas
};

StoreStatus store_list(const std::string& chains_path, StoreList& out);

StoreStatus store_totals(const std::string& chains_path, StoreTotals& out);

// The first chain object whose first "id" member is the string id (an id of
// ASCII letters, digits, "-" and "_"), as compact JSON text written by the
// JSON library; nothing in out when no chain has that id.
StoreStatus store_chain(const std::string& chains_path, std::string_view id, std::optional<std::string>& out);

// ---- Extra functions (for testing) ----

// fastest: as the functions above read; full_pass: the re-validating pass
// alone, never the summary.
enum class ReadWay { fastest, full_pass };

// Which way an answer was found.
struct StoreReadReport {
  bool from_summary = false;
};

// The functions above, read the given way, with a report of how it went.
StoreStatus TEST_store_list(const std::string& chains_path, StoreList& out, ReadWay way,
                            StoreReadReport& report);
StoreStatus TEST_store_totals(const std::string& chains_path, StoreTotals& out, ReadWay way,
                              StoreReadReport& report);
StoreStatus TEST_store_chain(const std::string& chains_path, std::string_view id,
                             std::optional<std::string>& out, ReadWay way, StoreReadReport& report);
