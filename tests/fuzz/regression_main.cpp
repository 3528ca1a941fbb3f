// Runs a fuzz target over every file of the folders (or files) named on the
// command line, so the seed corpus stays a regression test without libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void run_file(const std::filesystem::path& path) {
  // Read with stdio: GCC 12 at -O2 warns falsely (-Wnull-dereference) about
  // istreambuf_iterator.
  std::string bytes;
  if (FILE* f = std::fopen(path.string().c_str(), "rb")) {
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    std::fclose(f);
  }
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(arg)) files.push_back(entry.path());
      for (const auto& file : files) {
        run_file(file);
        ++count;
      }
    } else {
      run_file(arg);
      ++count;
    }
  }
  std::printf("ran %zu inputs\n", count);
  return count > 0 ? 0 : 1;
}
