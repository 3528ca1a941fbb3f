#include "store/summary.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include "common/descriptors.h"
#include "common/file.h"
#include "store/files.h"
#include "store/format.h"

namespace {

// Version 2: the list records carry first_head. A summary of another
// version is refused whole, like any summary that does not check.
constexpr std::string_view kVersion = " chains summary 2\n";
constexpr std::string_view kRecordStart = "{\"id\":\"";
// Far larger than any summary of a store within the read cap.
constexpr size_t kSummaryMax = 2 * READ_FILE_MAX;

uint64_t fnv1a(std::string_view s) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

void add_number(Buf& out, int64_t n) { buf_addf(out, " %lld", static_cast<long long>(n)); }
void add_number(Buf& out, uint64_t n) { buf_addf(out, " %llu", static_cast<unsigned long long>(n)); }

// Reads the line's fields one by one: numbers are plain decimal (a minus
// sign where a value may be negative), separated by one blank.
class Fields {
 public:
  explicit Fields(std::string_view line) : rest_(line) {}

  bool word(std::string_view want) {
    if (rest_.substr(0, want.size()) != want) return false;
    rest_.remove_prefix(want.size());
    return true;
  }
  template <class T>
  bool number(T& out) {
    if (!word(" ")) return false;
    auto [end, error] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), out);
    if (error != std::errc() || end == rest_.data() || (end - rest_.data() > 1 && rest_[0] == '0'))
      return false;
    rest_.remove_prefix(static_cast<size_t>(end - rest_.data()));
    return true;
  }
  std::string_view rest() const { return rest_; }
  bool done() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

bool take_line(std::string_view& text, std::string_view& line) {
  size_t lf = text.find('\n');
  if (lf == std::string_view::npos) return false;
  line = text.substr(0, lf);
  text.remove_prefix(lf + 1);
  return true;
}

}  // namespace

void summary_text(Buf& out, const StoreSummary& s) {
  size_t start = out.length;
  buf_add(out, VELTRANE_PROGRAM);
  buf_add(out, kVersion);
  buf_str(out, "store");
  add_number(out, s.store.device);
  add_number(out, s.store.inode);
  add_number(out, s.store.size);
  add_number(out, s.store.modified_ns);
  add_number(out, s.store.changed_ns);
  buf_str(out, "\n");
  for (const SummaryChain& c : s.chains) {
    buf_str(out, "chain");
    add_number(out, c.offset);
    add_number(out, c.length);
    add_number(out, c.totals.updated_at);
    add_number(out, static_cast<uint64_t>(c.totals.thoughts));
    add_number(out, static_cast<uint64_t>(c.totals.branches));
    add_number(out, static_cast<uint64_t>(c.totals.revisions));
    buf_str(out, " ");
    buf_add(out, c.record);
    buf_str(out, "\n");
  }
  uint64_t checksum = fnv1a(out.view().substr(start));
  buf_str(out, "end");
  add_number(out, static_cast<uint64_t>(s.chains.size()));
  buf_addf(out, " %016llx\n", static_cast<unsigned long long>(checksum));
}

std::optional<StoreSummary> summary_parse(std::string_view text) {
  // The "end" line comes last and covers everything before it.
  if (text.empty() || text.back() != '\n') return std::nullopt;
  size_t end_at = text.rfind('\n', text.size() - 2);
  end_at = end_at == std::string_view::npos ? 0 : end_at + 1;
  std::string_view body = text.substr(0, end_at);
  Fields end(text.substr(end_at, text.size() - end_at - 1));
  uint64_t count = 0;
  char hex[17];
  if (!end.word("end") || !end.number(count) || !end.word(" ") || end.rest().size() != 16)
    return std::nullopt;
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a(body)));
  if (end.rest() != hex) return std::nullopt;

  std::string_view line;
  if (!take_line(body, line) || line.substr(0, VELTRANE_PROGRAM.size()) != VELTRANE_PROGRAM ||
      std::string_view(line.data() + VELTRANE_PROGRAM.size(), line.size() - VELTRANE_PROGRAM.size() + 1) !=
          kVersion)
    return std::nullopt;
  StoreSummary s;
  if (!take_line(body, line)) return std::nullopt;
  Fields store(line);
  if (!store.word("store") || !store.number(s.store.device) || !store.number(s.store.inode) ||
      !store.number(s.store.size) || !store.number(s.store.modified_ns) ||
      !store.number(s.store.changed_ns) || !store.done())
    return std::nullopt;

  // The chain objects stand one after another between the store's opening
  // and closing texts.
  uint64_t next = STORE_OPEN.size();
  while (take_line(body, line)) {
    SummaryChain c;
    Fields f(line);
    if (!f.word("chain") || !f.number(c.offset) || !f.number(c.length) || !f.number(c.totals.updated_at) ||
        !f.number(c.totals.thoughts) || !f.number(c.totals.branches) || !f.number(c.totals.revisions) ||
        !f.word(" "))
      return std::nullopt;
    c.totals.has_updated_at = true;
    c.record = f.rest();
    if (c.offset != next || c.length < 2 || c.record.substr(0, kRecordStart.size()) != kRecordStart)
      return std::nullopt;
    next = c.offset + c.length + 1;
    s.chains.push_back(std::move(c));
  }
  if (!body.empty() || count != s.chains.size()) return std::nullopt;
  uint64_t closing = s.chains.empty() ? STORE_OPEN.size() : next - 1;
  if (closing + STORE_CLOSE.size() != s.store.size) return std::nullopt;
  return s;
}

std::optional<StoreSummary> read_summary(const std::string& path) {
  struct Close {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<FILE, Close> f(platform_open_regular(path.c_str()));
  if (!f) return std::nullopt;
  std::string text;
  char piece[16384];
  for (size_t n; (n = std::fread(piece, 1, sizeof piece, f.get())) > 0;) {
    if (text.size() + n > kSummaryMax) return std::nullopt;
    text.append(piece, n);
  }
  if (std::ferror(f.get())) return std::nullopt;
  return summary_parse(text);
}

std::optional<StoreSummary> trusted_summary(const std::string& chains_path, const FileIdentity& file) {
  if (file.size > READ_FILE_MAX) return std::nullopt;
  std::optional<StoreSummary> summary = read_summary(summary_path(chains_path));
  if (!summary || summary->store != file) return std::nullopt;
  return summary;
}

StoreTotals summary_totals(const StoreSummary& s) {
  StoreTotals t;
  t.chains = s.chains.size();
  for (const SummaryChain& c : s.chains) add_chain_totals(t, c.totals);
  return t;
}

const SummaryChain* summary_find(const StoreSummary& s, std::string_view id) {
  for (const SummaryChain& c : s.chains) {
    std::string_view r = c.record;
    r.remove_prefix(kRecordStart.size());
    // The id is followed by its closing quote; an id that needed escapes
    // can never equal one made of letters, digits, "-" and "_".
    if (r.size() > id.size() && r.substr(0, id.size()) == id && r[id.size()] == '"') return &c;
  }
  return nullptr;
}
