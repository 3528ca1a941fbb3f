#include "common/oom.h"

#include <cstdio>
#include <cstdlib>

void die_out_of_memory() {
  static constexpr char kLine[] = "out of memory\n";
  std::fwrite(kLine, 1, sizeof kLine - 1, stderr);
  std::exit(1);
}
