// The cost of recording one thought into stores of several sizes, beside
// the floor that no recording can beat: writing the same number of bytes to
// a temporary file, syncing it to the disk and renaming it over the target.
//
//   build/bench/bench/store_bench [rounds]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "store/persist.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A store of `chains` chains of 1000 thoughts each, thought texts of
// `text_size` bytes, written as the recorder writes it.
std::string fixture(int chains, size_t text_size) {
  std::string text(text_size, 'x');
  std::string s = "{\"chains\":[";
  for (int k = 0; k < chains; ++k) {
    if (k) s += ",";
    s += "{\"id\":\"th-bench-" + std::to_string(k) + "\",\"started_at\":1700000000,\"updated_at\":" +
         std::to_string(1700000000 + k) + ",\"thoughts\":[";
    for (int i = 1; i <= 1000; ++i) {
      if (i > 1) s += ",";
      s += "{\"thought\":\"" + text + "\",\"thought_number\":" + std::to_string(i) +
           ",\"total_thoughts\":1000,\"next_needed\":true,\"at\":1700000000}";
    }
    s += "],\"count\":1000,\"branches\":[]}";
  }
  return s + "]}";
}

void write_all(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// One write + fsync + rename + directory fsync of `data`, the same steps the
// recorder's replacement takes.
double floor_once(const fs::path& dir, const std::string& data) {
  std::string tmp = (dir / "floor.tmp").string(), target = (dir / "floor.json").string();
  auto start = Clock::now();
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) std::abort();
  fsync(fd);
  close(fd);
  std::rename(tmp.c_str(), target.c_str());
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  fsync(dfd);
  close(dfd);
  return ms_since(start);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

Thought thought_of(int64_t n, size_t text_size) {
  Thought t;
  t.thought = std::string(text_size, 'n');
  t.thoughtNumber = n;
  t.totalThoughts = n;
  t.nextThoughtNeeded = true;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
  struct {
    const char* name;
    int chains;
    size_t text_size;
  } sizes[] = {{"0", 0, 0}, {"1 MiB", 6, 85}, {"8 MiB", 50, 72}};

  std::printf("%-8s %12s %14s %14s %10s\n", "store", "file bytes", "record ms", "floor ms", "ratio");
  for (const auto& size : sizes) {
    std::string pattern = (fs::temp_directory_path() / "veltrane-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    fs::path dir = pattern;
    setenv("VELTRANE_STATE_DIR", dir.c_str(), 1);
    fs::path chains = dir / "chains.json";
    if (size.chains > 0) write_all(chains.string(), fixture(size.chains, size.text_size));

    // Record into the most recently updated chain (or a new one), so that
    // each recording trims one thought and the size stays the same. The
    // first recording reads the file; the following ones are measured.
    std::string session = size.chains > 0 ? "th-bench-" + std::to_string(size.chains - 1) : "th-bench-new";
    persist_thought(session.c_str(), thought_of(1001, size.text_size));
    // Recordings and floor runs take turns, so that both meet the same disk
    // conditions; the medians are compared.
    std::string same_size(fs::file_size(chains), 'y');
    std::vector<double> record_ms, floor_ms;
    for (int r = 0; r < rounds; ++r) {
      auto start = Clock::now();
      persist_thought(session.c_str(), thought_of(1002 + r, size.text_size));
      record_ms.push_back(ms_since(start));
      floor_ms.push_back(floor_once(dir, same_size));
    }
    double record = median(record_ms), floor = median(floor_ms);

    // The cost when the file was changed by someone else since the last
    // recording: read and parsed again.
    double reread = 0;
    for (int r = 0; r < 3; ++r) {
      std::string bytes;
      {
        FILE* f = std::fopen(chains.c_str(), "rb");
        bytes.resize(fs::file_size(chains));
        if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
        std::fclose(f);
      }
      write_all(chains.string() + ".x", bytes);
      fs::rename(chains.string() + ".x", chains);
      auto s = Clock::now();
      persist_thought(session.c_str(), thought_of(5000 + r, size.text_size));
      reread += ms_since(s) / 3;
    }

    size_t bytes = fs::file_size(chains);
    std::printf("%-8s %12zu %14.3f %14.3f %10.2f   (after an outside change: %.3f ms)\n", size.name, bytes, record,
                floor, record / floor, reread);
    fs::remove_all(dir);
  }
  return 0;
}
