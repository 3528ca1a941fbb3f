// Runs a program and writes its peak resident memory, in KiB, to a file:
//   peak_rss RESULT_FILE PROGRAM [ARGS...]
// The benchmark cannot ask the system for a child's own peak when the child
// was started from its large address space (the peak would include the
// parent's pages up to the exec), so this small process starts it instead.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0) return 1;
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) < 0) return 1;
  FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  std::fprintf(out, "%ld\n", usage.ru_maxrss);
  std::fclose(out);
  return 0;
}
