// Entry point: prepares the standard streams, picks the run mode from the
// first argument (and TK_PLUGIN_META, GATEWAY_INTERFACE) and hands the whole
// run over.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/buf.h"
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

// The one line that tells a person at a terminal, who got the web answer,
// how to ask for help. Control bytes of the argument are written as \xHH,
// so that the hint stays one line.
void print_mode_hint(const char* mode) {
  Buf hint;
  if (!mode) {
    buf_str(hint, "no mode given");
  } else {
    buf_str(hint, "unknown mode '");
    for (const char* p = mode; *p; ++p) {
      auto byte = static_cast<unsigned char>(*p);
      if (byte < 0x20 || byte == 0x7f) {
        buf_addf(hint, "\\x%02x", static_cast<unsigned>(byte));
      } else {
        buf_add(hint, p, 1);
      }
    }
    buf_str(hint, "'");
  }
  buf_str(hint, "; see --help\n");
  std::fwrite(hint.bytes, 1, hint.length, stderr);
  std::fflush(stderr);
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
  // help, and the hint that points to it, are only for a person at a
  // terminal.
  const bool under_web_server = std::getenv("GATEWAY_INTERFACE") != nullptr;
  if (mode && (std::strcmp(mode, "--help") == 0 || std::strcmp(mode, "-h") == 0) && !under_web_server) {
    std::fwrite(VELTRANE_USAGE.data(), 1, VELTRANE_USAGE.size(), stdout);
    return 0;
  }
  int status = run_web(stdin, stdout, stderr);
  // After the answer, so that the hint is the last thing on the screen.
  if (!under_web_server) print_mode_hint(mode);
  return status;
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
