// The chain store read the straightforward way, for comparison: the whole
// chains file parsed into a document and everything looked up in it. The
// program reads without a document, from the summary or from one streaming
// pass; every answer must be the same bytes. Shared by the unit tests and
// the store's fuzz target.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/chain.h"
#include "store/format_list.h"

// The chains file as the web actions read it: its bytes, or nothing when it
// is missing, cannot be opened or is larger than the read cap (the empty
// store).
std::optional<std::string> reference_file(const std::string& chains_path);

struct ReferenceList {
  size_t count = 0;
  std::string records;
};

// The web's answers over a file's bytes (nothing: the empty store). Each
// gives nothing when the text before its first NUL is no JSON text ("state
// unreadable").
std::optional<ReferenceList> reference_list(const std::optional<std::string>& file);
std::optional<StoreTotals> reference_totals(const std::optional<std::string>& file);
// The found chain as compact text, or an empty string when no chain has the
// id.
std::optional<std::string> reference_chain(const std::optional<std::string>& file, std::string_view id);

// The string ids of the file's chain objects that a request may ask for
// (letters, digits, "-" and "_", 1 to 64 bytes), in file order.
std::vector<std::string> reference_ids(const std::optional<std::string>& file);

// The recorder's lenient reading of a chains file into Chain records
// (the contract of read_chains).
std::optional<std::vector<Chain>> reference_read_chains(std::string_view bytes);
