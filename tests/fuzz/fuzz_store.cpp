// The chains file's readers on arbitrary bytes. They must not fail; the
// streaming readers must agree with the straightforward full parse in every
// answer, whatever pieces the text arrives in; and what the recorder writes
// must read back to the same store, so that the file is stable from the
// first rewrite on, with each chain's record and totals what a reader finds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/buf.h"
#include "common/json.h"
#include "common/json_stream.h"
#include "common/text.h"
#include "reference_json.h"
#include "reference_store.h"
#include "store/format_list.h"
#include "store/format_records.h"
#include "store/format_write.h"
#include "store/recorder_cache.h"
#include "support/text_pieces.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

struct Everything : JsonEvents {
  bool scalar(const JsonScalar&) override { return true; }
  bool key(std::string_view) override { return true; }
  bool open(bool, uint64_t) override { return true; }
  bool close(bool, uint64_t) override { return true; }
};

void check_web_reading(std::string_view bytes, size_t piece) {
  const std::optional<std::string> file{std::string(bytes)};
  std::optional<ReferenceList> list = reference_list(file);
  std::optional<StoreTotals> totals = reference_totals(file);
  std::vector<std::string> ids = reference_ids(file);
  ids.resize(std::min<size_t>(ids.size(), 3));
  ids.push_back("nope");
  for (const std::string& id : ids) {
    TextPieces input(bytes, piece);
    ScanWants wants;
    wants.records = true;
    wants.target = id;
    ScanResult scan;
    bool ok = scan_chains(input, wants, scan);
    check(ok == list.has_value());
    if (!ok) return;
    check(scan.count == list->count && scan.records == list->records && scan.totals == *totals);
    std::string want = *reference_chain(file, id);
    std::string found;
    if (scan.target) {
      check(json_compact(std::string(bytes.substr(scan.target->first, scan.target->second)), found));
    }
    check(found == want);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Strictness: the same texts are JSON to the library's own validating
  // parse, as a document, as a stream and in compact form, which is the
  // document written out; a stream that stops at a NUL reads what stands
  // before it.
  Everything events;
  TextPieces whole(bytes, JSON_STREAM_PIECE), small(bytes, size % 7 + 1), before_nul(bytes, size % 5 + 1);
  std::optional<JsonDoc> doc = json_parse(bytes);
  bool parses = doc.has_value();
  check(reference_json_valid(bytes) == parses);
  check(json_stream(whole, events, JsonNul::fails) == parses);
  check(json_stream(small, events, JsonNul::fails) == parses);
  check(json_stream(before_nul, events, JsonNul::ends_text) == json_parse(up_to_nul(bytes)).has_value());
  std::string compact;
  check(json_compact(std::string(bytes), compact) == parses);
  check(!parses || compact == json_write(doc->root()));

  check_web_reading(bytes, JSON_STREAM_PIECE);
  check_web_reading(bytes, size % 7 + 1);

  auto first = read_chains(bytes);
  check(first == reference_read_chains(bytes));
  if (!first) return 0;
  Buf once;
  chains_text(once, *first);
  auto second = read_chains(once.view());
  check(second.has_value());  // the writer produced something that is not a store
  Buf twice;
  chains_text(twice, *second);
  check(once.view() == twice.view());
  // The writer that keeps each chain's text gives the same bytes, and each
  // chain's record and totals are what a reader of the written text finds.
  LiveStore live = live_store_from(std::move(*second));
  Buf live_text;
  TEST_live_store_text(live_text, live);
  check(live_text.view() == once.view());
  TextPieces input(live_text.view(), JSON_STREAM_PIECE);
  ScanWants wants;
  wants.records = true;
  ScanResult scan;
  check(scan_chains(input, wants, scan));
  std::string records;
  StoreTotals totals;
  totals.chains = live.chains.size();
  for (const LiveChain& c : live.chains) {
    records += (records.empty() ? "" : ",") + c.record;
    add_chain_totals(totals, c.totals);
  }
  check(scan.records == records && scan.totals == totals);
  return 0;
}
