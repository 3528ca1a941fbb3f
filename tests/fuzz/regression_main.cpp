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
  // Plain stdio: the istreambuf_iterator form trips GCC 12's
  // -Wnull-dereference in optimised builds.
  std::string bytes;
  if (FILE* in = std::fopen(path.string().c_str(), "rb")) {
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) bytes.append(chunk, n);
    std::fclose(in);
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
