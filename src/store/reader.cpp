#include "store/reader.h"

#include "common/file.h"
#include "common/json_stream.h"
#include "common/platform.h"
#include "store/format_list.h"
#include "store/format_walk.h"
#include "store/summary.h"

namespace {

// The summary, when it describes the chains file as it is now.
std::optional<StoreSummary> summary_of_path(const std::string& chains_path) {
  std::optional<FileIdentity> now = platform_file_identity(chains_path.c_str());
  if (!now) return std::nullopt;
  return trusted_summary(chains_path, *now);
}

// One pass over the file. A file that is missing, cannot be opened or is
// over the cap is the empty store; something at the path that is not a
// regular file, and a file whose reading failed part way, are unreadable:
// what was read of it says nothing about the store.
StoreStatus scan_file(FileReader& reader, const ScanWants& wants, ScanResult& out) {
  if (reader.status() == FileOpen::not_regular) return StoreStatus::unreadable;
  if (reader.status() != FileOpen::ok) return StoreStatus::ok;
  FileInput input(reader);
  bool parsed = scan_chains(input, wants, out);
  return parsed && !reader.failed() ? StoreStatus::ok : StoreStatus::unreadable;
}

StoreStatus read_list(const std::string& chains_path, StoreList& out, ReadWay way, StoreReadReport& report) {
  if (way == ReadWay::fastest) {
    if (std::optional<StoreSummary> summary = summary_of_path(chains_path)) {
      out.count = summary->chains.size();
      for (const SummaryChain& c : summary->chains) {
        if (!out.records.empty()) out.records += ',';
        out.records += c.record;
      }
      report.from_summary = true;
      return StoreStatus::ok;
    }
  }
  FileReader reader(chains_path.c_str(), READ_FILE_MAX);
  ScanWants wants;
  wants.records = true;
  ScanResult scan;
  StoreStatus status = scan_file(reader, wants, scan);
  out.count = scan.count;
  out.records = std::move(scan.records);
  return status;
}

StoreStatus read_totals(const std::string& chains_path, StoreTotals& out, ReadWay way,
                        StoreReadReport& report) {
  if (way == ReadWay::fastest) {
    if (std::optional<StoreSummary> summary = summary_of_path(chains_path)) {
      out = summary_totals(*summary);
      report.from_summary = true;
      return StoreStatus::ok;
    }
  }
  FileReader reader(chains_path.c_str(), READ_FILE_MAX);
  ScanResult scan;
  StoreStatus status = scan_file(reader, ScanWants(), scan);
  out = scan.totals;
  return status;
}

StoreStatus read_chain(const std::string& chains_path, std::string_view id, std::optional<std::string>& out,
                       ReadWay way, StoreReadReport& report) {
  out.reset();
  FileReader reader(chains_path.c_str(), READ_FILE_MAX);
  if (way == ReadWay::fastest && reader.status() == FileOpen::ok) {
    // The summary must describe the very file that is open, from which the
    // chain's bytes are then read.
    std::optional<FileIdentity> open_file = platform_file_identity(reader.file());
    std::optional<StoreSummary> summary;
    if (open_file) summary = trusted_summary(chains_path, *open_file);
    if (summary) {
      const SummaryChain* chain = summary_find(*summary, id);
      if (!chain) {
        report.from_summary = true;
        return StoreStatus::ok;
      }
      std::string bytes, compact;
      std::string start = "{\"id\":\"" + std::string(id) + "\"";
      // The recorder writes what the JSON library writes (compact, the same
      // string escapes and integers), except for the control characters it
      // writes as \u escapes of its own (the library writes some of them in
      // short forms, the others in capitals): without a "\u", its text is
      // already the answer.
      bool read = reader.read_range(chain->offset, chain->length, bytes);
      if (read && bytes.find("\\u") == std::string::npos) {
        compact = std::move(bytes);
      } else if (read && !json_compact(bytes, compact)) {
        compact.clear();
      }
      if (compact.compare(0, start.size(), start) == 0) {
        out = std::move(compact);
        report.from_summary = true;
        return StoreStatus::ok;
      }
      // Not what the summary promised: the full pass decides.
    }
  }
  ScanWants wants;
  wants.target = id;
  ScanResult scan;
  StoreStatus status = scan_file(reader, wants, scan);
  if (status != StoreStatus::ok || !scan.target) return status;
  std::string bytes, compact;
  if (!reader.read_range(scan.target->first, scan.target->second, bytes) || !json_compact(bytes, compact)) {
    // The file changed between the pass and this read.
    return StoreStatus::unreadable;
  }
  out = std::move(compact);
  return status;
}

}  // namespace

StoreStatus store_list(const std::string& chains_path, StoreList& out) {
  StoreReadReport report;
  return read_list(chains_path, out, ReadWay::fastest, report);
}

StoreStatus store_totals(const std::string& chains_path, StoreTotals& out) {
  StoreReadReport report;
  return read_totals(chains_path, out, ReadWay::fastest, report);
}

StoreStatus store_chain(const std::string& chains_path, std::string_view id,
                        std::optional<std::string>& out) {
  StoreReadReport report;
  return read_chain(chains_path, id, out, ReadWay::fastest, report);
}

StoreStatus TEST_store_list(const std::string& chains_path, StoreList& out, ReadWay way,
                            StoreReadReport& report) {
  return read_list(chains_path, out, way, report);
}

StoreStatus TEST_store_totals(const std::string& chains_path, StoreTotals& out, ReadWay way,
                              StoreReadReport& report) {
  return read_totals(chains_path, out, way, report);
}

StoreStatus TEST_store_chain(const std::string& chains_path, std::string_view id,
                             std::optional<std::string>& out, ReadWay way, StoreReadReport& report) {
  return read_chain(chains_path, id, out, way, report);
}
