// Entry point: prepares the standard streams, picks the run mode from the
// first argument (and TK_PLUGIN_META, GATEWAY_INTERFACE) and hands the whole
// run over.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/descriptors.h"
#include "common/oom.h"
#include "common/platform.h"
#include "mcp/server.h"
#include "usage.h"
#include "web/cgi.h"

namespace {

void print_line(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

int run(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : nullptr;
  // The metadata line wins over every other mode; the environment variable
  // counts by its presence alone.
  if ((mode && std::strcmp(mode, "--meta") == 0) || std::getenv("TK_PLUGIN_META")) {
    print_line(VELTRANE_META);
    std::fflush(stdout);
    return 0;
  }
  if (mode && std::strcmp(mode, "--mcp") == 0) return run_mcp(stdin, stdout, stderr);
  if (mode && std::strcmp(mode, "--schema") == 0) {
    print_line(VELTRANE_TOOL_SCHEMA);
    return 0;
  }
  if (mode && std::strcmp(mode, "--version") == 0) {
    std::printf("%.*s %.*s\n", static_cast<int>(VELTRANE_PROGRAM.size()), VELTRANE_PROGRAM.data(),
                static_cast<int>(VELTRANE_VERSION.size()), VELTRANE_VERSION.data());
    return 0;
  }
  // Under a web server every other argument is the web endpoint's, so the
  // help is only for a person at a terminal.
  if (mode && (std::strcmp(mode, "--help") == 0 || std::strcmp(mode, "-h") == 0) &&
      !std::getenv("GATEWAY_INTERFACE")) {
    std::fwrite(VELTRANE_USAGE.data(), 1, VELTRANE_USAGE.size(), stdout);
    return 0;
  }
  return run_web(stdin, stdout, stderr);
}

}  // namespace

int main(int argc, char** argv) {
  platform_binary_stdio();
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    die_out_of_memory();
  }
}
