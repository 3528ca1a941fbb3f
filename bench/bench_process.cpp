#include "bench_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

std::vector<char*> c_strings(std::vector<std::string>& v) {
  std::vector<char*> out;
  for (std::string& s : v) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

pid_t spawn(const std::string& program, const std::vector<std::string>& args,
            const std::map<std::string, std::string>& env, int in_fd, int out_fd) {
  std::vector<std::string> argv{program}, envp;
  argv.insert(argv.end(), args.begin(), args.end());
  for (const auto& [k, v] : env) envp.push_back(k + "=" + v);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_fd, 0);
  posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  // The servers' console lines would only clutter the figures.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  std::vector<char*> a = c_strings(argv), e = c_strings(envp);
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, a.data(), e.data()) != 0) {
    std::perror(program.c_str());
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

RunFigures run_once(const std::string& program, const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) std::exit(1);
  int null_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  RunFigures f;
  double start = now_ms();
  pid_t pid = spawn(program, args, env, null_in, out[1]);
  close(out[1]);
  close(null_in);
  char buffer[65536];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0) break;
    if (f.out.size() < 1 << 20) f.out.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  f.ms = now_ms() - start;
  return f;
}

LineChild::LineChild(const std::string& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) std::exit(1);
  pid_ = spawn(program, args, env, in[0], out[1]);
  close(in[0]);
  close(out[1]);
  to_ = in[1];
  from_ = out[0];
}

LineChild::~LineChild() { finish(); }

double LineChild::exchange(const std::string& line) {
  double start = now_ms();
  for (size_t done = 0; done < line.size();) {
    ssize_t n = write(to_, line.data() + done, line.size() - done);
    if (n <= 0) std::exit(1);
    done += static_cast<size_t>(n);
  }
  for (;;) {
    size_t lf = pending_.find('\n');
    if (lf != std::string::npos) {
      pending_.erase(0, lf + 1);
      return now_ms() - start;
    }
    char buffer[4096];
    ssize_t n = read(from_, buffer, sizeof buffer);
    if (n <= 0) {
      std::fprintf(stderr, "the server ended without an answer\n");
      std::exit(1);
    }
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

void LineChild::finish() {
  if (pid_ < 0) return;
  close(to_);
  close(from_);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}
