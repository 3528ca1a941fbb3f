#include "live_mcp.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "support/run_program.h"

namespace store_test {

LiveMcp::LiveMcp(const std::map<std::string, std::string>& env) {
  int in_pipe[2], out_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  std::string exe = program_path();
  std::vector<std::string> env_strings = {
      "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")};
  for (const auto& [name, value] : env) env_strings.push_back(name + "=" + value);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], null_fd}) close(fd);
    std::vector<char*> argv = {exe.data(), const_cast<char*>("--mcp"), nullptr};
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  in_ = in_pipe[1];
  out_ = out_pipe[0];
  signal(SIGPIPE, SIG_IGN);
}

LiveMcp::~LiveMcp() {
  if (in_ >= 0) close(in_);
  if (out_ >= 0) close(out_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void LiveMcp::send(const std::string& line) {
  for (size_t done = 0; done < line.size();) {
    ssize_t n = write(in_, line.data() + done, line.size() - done);
    if (n <= 0) throw std::runtime_error("the server stopped reading");
    done += static_cast<size_t>(n);
  }
}

std::optional<std::string> LiveMcp::answer(std::chrono::milliseconds deadline) {
  auto until = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    size_t lf = pending_.find('\n');
    if (lf != std::string::npos) {
      std::string line = pending_.substr(0, lf + 1);
      pending_.erase(0, lf + 1);
      return line;
    }
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p = {out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[65536];
    ssize_t n = read(out_, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    pending_.append(chunk, static_cast<size_t>(n));
  }
}

int LiveMcp::finish() {
  close(in_);
  in_ = -1;
  int status = 0;
  pid_t done = waitpid(pid_, &status, 0);
  pid_ = -1;
  return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace store_test
