// The summary beside the chains file ("chains.json.summary"): what the web's
// read actions need to answer without reading the store. The recorder
// writes it after each replacement of the chains file, while it still holds
// the store's lock, over the previous one in place and without a sync: a
// reader that meets it half written, or after a crash, refuses it whole and
// reads the store instead. It describes exactly one version of the chains file,
// named by that file's identity (device and inode or volume and file index,
// size, modification and change times at full resolution), and nothing else
// may be trusted from it: a reader uses it only while the chains file has
// exactly that identity.
//
// The text, each line ended by a LF:
//   plugin_veltrane chains summary 2
//   store DEVICE INODE SIZE MODIFIED_NS CHANGED_NS
//   chain OFFSET LENGTH UPDATED_AT THOUGHTS BRANCHES REVISIONS RECORD   (one per chain, in store order)
//   end COUNT CHECKSUM
// RECORD is the chain's list record (compact JSON, which never holds a raw
// LF); CHECKSUM is the FNV-1a 64-bit hash, in 16 lower-case hexadecimal
// digits, of every byte before the "end" line. A text that is cut short,
// altered or of another version is refused whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/buf.h"
#include "common/platform.h"
#include "store/format_list.h"

struct SummaryChain {
  uint64_t offset = 0;  // the chain object's bytes in the chains file
  uint64_t length = 0;
  ChainTotals totals;  // written by the recorder, so updated_at is always an integer
  std::string record;  // its list record
  bool operator==(const SummaryChain&) const = default;
};

struct StoreSummary {
  FileIdentity store;  // the one version of the chains file described
  std::vector<SummaryChain> chains;
  bool operator==(const StoreSummary&) const = default;
};

void summary_text(Buf& out, const StoreSummary& summary);

// Reads a summary text. Nothing when it is not one in every respect: the
// first line, the checksum, the count, every number, and the layout of the
// store it describes (the chain objects one after another from the opening
// text on, one comma apart, with the closing text at the store's end, each
// record a list record).
std::optional<StoreSummary> summary_parse(std::string_view text);

// The summary at path (opened without waiting on anything that is not a
// regular file); nothing when there is none, or it is not a summary.
std::optional<StoreSummary> read_summary(const std::string& path);

// The summary beside the chains file (summary_path) when it describes
// exactly the version of the file with this identity, taken from the path
// or from the file held open, and that version is within the read cap;
// nothing otherwise. The one check by which a summary is trusted.
std::optional<StoreSummary> trusted_summary(const std::string& chains_path, const FileIdentity& file);

// The totals of the summarised store.
StoreTotals summary_totals(const StoreSummary& summary);

// The list record of the first chain whose id is exactly `id`, an id of
// ASCII letters, digits, "-" and "_" (which the records hold unescaped).
const SummaryChain* summary_find(const StoreSummary& summary, std::string_view id);
