// The chain store at several sizes, each figure beside its floor:
//   - each CGI read action (chains, stats, chain) of each program given,
//     against spawning `cat` on the file (its output drained through a pipe,
//     as a web server drains a CGI's), with peak memory; for a program that
//     writes the summary, both from the summary and from the full pass that
//     re-validates the whole file (the summary removed);
//   - one recording of a running MCP server, its first recording, and two
//     servers recording in turn into one directory, against writing,
//     syncing and renaming a file of the same size.
// Runs are interleaved, round by round, so that every figure meets the same
// machine; each is the median of its rounds, with the smallest and largest.
//
//   store_bench [--rounds N] [--sizes 0.1,1,4,7.5] LABEL=PROGRAM...
// The first program is the one built with this benchmark: the stores are
// prepared (and their summary written) by its library.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_process.h"
#include "store/files.h"
#include "store/format_write.h"
#include "store/recorder.h"
#include "store/summary.h"

namespace fs = std::filesystem;

namespace {

struct Program {
  std::string label;
  std::string path;
};

// Figures of one kind of work over the rounds.
struct Series {
  std::vector<double> ms;
  double peak_rss_mib = 0;
  void add(double v) { ms.push_back(v); }
  double median() const {
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
  }
  double min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
  double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

constexpr size_t kTextSize = 66;
constexpr int64_t kT0 = 1700000000;

std::string thought_text(int64_t n) {
  std::string t = "thought " + std::to_string(n) + " ";
  t.resize(kTextSize, 'x');
  return t;
}

// A store of about `bytes` bytes in the recorder's exact format: chains of
// 1000 thoughts (the last one shorter), thought texts of kTextSize bytes.
std::string generate_store(size_t bytes, size_t* chains_out) {
  StoredThought probe;
  probe.text = thought_text(1000);
  probe.thought_number = probe.total_thoughts = 1000;
  probe.next_needed = true;
  probe.at = kT0;
  Buf one;
  stored_thought_text(one, probe);
  size_t total = bytes / (one.length + 1);
  std::vector<Chain> chains;
  for (size_t k = 0; total > 0; ++k) {
    Chain c;
    c.id = "th-bench-" + std::to_string(k);
    c.started_at = kT0;
    c.updated_at = kT0 + static_cast<int64_t>(k);
    size_t n = std::min<size_t>(total, 1000);
    for (size_t i = 1; i <= n; ++i) {
      StoredThought t = probe;
      t.text = thought_text(static_cast<int64_t>(i));
      t.thought_number = static_cast<int64_t>(i);
      chain_add(c, t);
    }
    total -= n;
    chains.push_back(std::move(c));
  }
  *chains_out = chains.size();
  Buf text;
  chains_text(text, chains);
  return std::string(text.view());
}

std::string read_text(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

void write_file(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::exit(1);
  std::fclose(f);
}

// One write + fsync + rename + directory fsync of `size` bytes: what every
// recording must do at least.
double floor_once(const fs::path& dir, size_t size) {
  static std::string data;
  data.assign(size, 'y');
  std::string tmp = (dir / "floor.tmp").string(), target = (dir / "floor.json").string();
  double start = now_ms();
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) std::exit(1);
  fsync(fd);
  close(fd);
  std::rename(tmp.c_str(), target.c_str());
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  fsync(dfd);
  close(dfd);
  return now_ms() - start;
}

std::string tool_call(int64_t id, int64_t n) {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
         R"(,"method":"tools/call","params":{"name":"veltraneflowstream","arguments":{"thought":")" +
         thought_text(n) + R"(","thoughtNumber":)" + std::to_string(n) +
         R"(,"totalThoughts":1000,"nextThoughtNeeded":true}}})" + "\n";
}

fs::path fresh_dir(const fs::path& root, const std::string& name) {
  fs::path dir = root / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

void print_row(const std::string& name, const Series& s, double floor, bool rss) {
  std::printf("  %-34s %9.2f %9.2f %9.2f %8.2fx", name.c_str(), s.median(), s.min(), s.max(),
              floor > 0 ? s.median() / floor : 0.0);
  if (rss) std::printf(" %9.1f", s.peak_rss_mib);
  std::printf("\n");
}

void bench_size(const fs::path& root, double mib, const std::vector<Program>& programs, int rounds) {
  size_t chain_count = 0;
  const std::string store = generate_store(static_cast<size_t>(mib * 1048576), &chain_count);
  const std::string mid_id = "th-bench-" + std::to_string(chain_count / 2);

  // With a summary: a recording by this build's library into the newest
  // chain (one thought in, one trimmed), which writes it. Without: the same
  // bytes copied.
  // (Both directories have the same name, which the "chains" answer shows.)
  fs::path with = fresh_dir(root / "with", "state"), without = fresh_dir(root / "without", "state");
  write_file((with / "chains.json").string(), store);
  setenv("VELTRANE_STATE_DIR", with.c_str(), 1);
  {
    StoreRecorder recorder;
    Thought t;
    t.thought = thought_text(1001);
    t.thoughtNumber = t.totalThoughts = 1001;
    t.nextThoughtNeeded = true;
    persist_thought(recorder, ("th-bench-" + std::to_string(chain_count - 1)).c_str(), t);
  }
  if (!read_summary(summary_path((with / "chains.json").string())))
    std::fprintf(stderr, "no summary written\n");
  fs::copy_file(with / "chains.json", without / "chains.json");
  const std::string file = (without / "chains.json").string();
  const size_t file_size = fs::file_size(file);

  std::printf("\nstore of %.1f MiB: %zu bytes, %zu chains; load before: %s\n", mib, file_size, chain_count,
              load_average().c_str());

  // ---- CGI read actions ----
  struct Variant {
    std::string name;
    std::string program;  // empty: cat
    std::string query;
    fs::path dir;
  };
  std::vector<Variant> variants = {{"cat (floor)", "", "", without}};
  const char* actions[][2] = {
      {"chains", "action=chains"}, {"stats", "action=stats"}, {"chain", "action=chain&id="}};
  for (const auto& action : actions) {
    std::string query = std::string(action[1]) + (std::strcmp(action[0], "chain") == 0 ? mid_id : "");
    for (size_t p = 0; p < programs.size(); ++p) {
      if (p == 0) {
        variants.push_back(
            {std::string(action[0]) + " " + programs[p].label + " summary", programs[p].path, query, with});
        variants.push_back({std::string(action[0]) + " " + programs[p].label + " full pass", programs[p].path,
                            query, without});
      } else {
        variants.push_back(
            {std::string(action[0]) + " " + programs[p].label, programs[p].path, query, without});
      }
    }
  }
  std::map<std::string, Series> cgi;
  std::map<std::string, std::string> answers;  // per action, the first answer seen
  const std::string rss_file = (root / "peak_rss").string();
  for (int r = 0; r < rounds; ++r) {
    for (size_t i = 0; i < variants.size(); ++i) {
      const Variant& v = variants[(i + static_cast<size_t>(r)) % variants.size()];
      std::string program = v.program.empty() ? "/bin/cat" : v.program;
      std::vector<std::string> args;
      if (v.program.empty()) args = {file};
      std::map<std::string, std::string> env;
      if (!v.program.empty())
        env = {{"VELTRANE_STATE_DIR", v.dir.string()},
               {"QUERY_STRING", v.query},
               {"GATEWAY_INTERFACE", "CGI/1.1"}};
      RunFigures f = run_once(program, args, env);
      Series& s = cgi[v.name];
      s.add(f.ms);
      if (!v.program.empty()) {
        auto [it, fresh] = answers.emplace(v.query, f.out);
        if (!fresh && it->second != f.out)
          std::printf("  !! %s answers differently from the others\n", v.name.c_str());
      }
      if (r == 0) {
        // Peak memory from a run of its own, started by a small process.
        args.insert(args.begin(), {rss_file, program});
        run_once(PEAK_RSS_PROGRAM, args, env);
        s.peak_rss_mib = std::atof(read_text(rss_file).c_str()) / 1024.0;
      }
    }
  }
  const double cat = cgi["cat (floor)"].median();
  std::printf("  %-34s %9s %9s %9s %9s %9s\n", "CGI action (ms)", "median", "min", "max", "ratio",
              "peak MiB");
  for (const Variant& v : variants) print_row(v.name, cgi[v.name], cat, true);

  // ---- Recording ----
  // A store written by this build has its summary; one written before it
  // does not. Both are prepared by this build's library: a recording from a
  // session of its own, as a previous server run would have left it.
  auto prepare = [&](const std::string& name, bool summary) {
    fs::path dir = fresh_dir(root / name, "state");
    write_file((dir / "chains.json").string(), store);
    setenv("VELTRANE_STATE_DIR", dir.c_str(), 1);
    StoreRecorder recorder;
    Thought t;
    t.thought = thought_text(1);
    t.thoughtNumber = t.totalThoughts = 1;
    persist_thought(recorder, "th-bench-previous-run", t);
    if (!summary) fs::remove(summary_path((dir / "chains.json").string()));
    return dir;
  };
  std::map<std::string, Series> rec;
  Series floor;
  std::vector<std::string> kinds;
  auto measure = [&](const std::string& kind, double ms, const fs::path& dir) {
    if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
    rec[kind].add(ms);
    floor.add(floor_once(dir, fs::file_size(dir / "chains.json")));
  };
  for (int r = 0; r < rounds; ++r) {
    for (size_t p = 0; p < programs.size(); ++p) {
      const Program& program = programs[p];
      for (bool summary : {true, false}) {
        if (p > 0 && !summary) continue;  // the summary means nothing to the others
        std::string first = "first recording " + program.label;
        if (p == 0) first += summary ? " (summary)" : " (no summary)";
        fs::path dir = prepare("record", summary);
        LineChild server(program.path, {"--mcp"}, {{"VELTRANE_STATE_DIR", dir.string()}});
        measure(first, server.exchange(tool_call(1, 1)), dir);
        if (!summary) continue;
        for (int64_t n = 2; n <= 4; ++n)
          measure("one recording " + program.label, server.exchange(tool_call(n, n)), dir);
      }
      // Two servers in turn: each finds the file changed by the other.
      fs::path dir = prepare("shared", true);
      LineChild a(program.path, {"--mcp"}, {{"VELTRANE_STATE_DIR", dir.string()}});
      LineChild b(program.path, {"--mcp"}, {{"VELTRANE_STATE_DIR", dir.string()}});
      a.exchange(tool_call(1, 1));
      b.exchange(tool_call(1, 1));
      for (int64_t n = 2; n <= 3; ++n) {
        measure("two servers, each " + program.label, a.exchange(tool_call(n, n)), dir);
        measure("two servers, each " + program.label, b.exchange(tool_call(n, n)), dir);
      }
    }
  }
  const double floor_ms = floor.median();
  std::printf("  %-34s %9s %9s %9s %9s\n", "recording (ms)", "median", "min", "max", "ratio");
  print_row("write+fsync+rename+dir fsync (floor)", floor, floor_ms, false);
  for (const std::string& kind : kinds) print_row(kind, rec[kind], floor_ms, false);
  std::printf("  load after: %s\n", load_average().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 15;
  std::vector<double> sizes = {0.1, 1, 4, 7.5};
  std::vector<Program> programs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (arg == "--sizes" && i + 1 < argc) {
      sizes.clear();
      for (char* p = std::strtok(argv[++i], ","); p; p = std::strtok(nullptr, ","))
        sizes.push_back(std::atof(p));
    } else if (arg.find('=') != std::string::npos) {
      programs.push_back(
          {arg.substr(0, arg.find('=')), fs::absolute(arg.substr(arg.find('=') + 1)).string()});
    } else {
      std::fprintf(stderr, "usage: store_bench [--rounds N] [--sizes 0.1,1,4,7.5] LABEL=PROGRAM...\n");
      return 2;
    }
  }
  if (programs.empty() || rounds < 1) {
    std::fprintf(stderr, "store_bench: give at least one LABEL=PROGRAM\n");
    return 2;
  }
  std::string pattern = (fs::temp_directory_path() / "veltrane-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const fs::path root = pattern;
  std::printf("%d rounds, interleaved; medians, with min and max, in milliseconds\n", rounds);
  for (double mib : sizes) bench_size(root, mib, programs, rounds);
  fs::remove_all(root);
  return 0;
}
