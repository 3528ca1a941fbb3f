#include "support/run_program.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace {

std::string env_or(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v ? v : fallback;
}

std::vector<std::string> split_words(const std::string& s) {
  std::vector<std::string> words;
  std::string word;
  for (char c : s) {
    if (c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// The start and the end of a long text, enough to recognise it.
std::string excerpt(const std::string& text) {
  constexpr size_t kKeep = 2000;
  if (text.size() <= 2 * kKeep) return text;
  return text.substr(0, kKeep) + "\n[... " + std::to_string(text.size() - 2 * kKeep) + " bytes ...]\n" +
         text.substr(text.size() - kKeep);
}

std::string describe_run(const std::vector<std::string>& argv, const RunOptions& options) {
  std::string line;
  for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
  for (const auto& [name, value] : options.env) line += "\n  " + name + "=" + value;
  line += "\n  stdin: " + std::to_string(options.input.size()) + " bytes";
  return line;
}

}  // namespace

std::string program_path() {
  const char* exe = std::getenv("VELTRANE_EXE");
  if (!exe || !*exe) throw std::runtime_error("VELTRANE_EXE is not set");
  return exe;
}

bool under_wrapper() {
  const char* wrapper = std::getenv("VELTRANE_EXE_WRAPPER");
  return wrapper && *wrapper;
}

RunResult run_program(const RunOptions& options) {
  std::vector<std::string> argv = split_words(env_or("VELTRANE_EXE_WRAPPER", ""));
  argv.push_back(program_path());
  argv.insert(argv.end(), options.args.begin(), options.args.end());

  std::map<std::string, std::string> env;
  env["PATH"] = env_or("PATH", "/usr/bin:/bin");
  if (under_wrapper()) {
    for (const char* name : {"WINEPREFIX", "WINEDEBUG", "HOME", "WINEDLLOVERRIDES"}) {
      if (const char* v = std::getenv(name)) env[name] = v;
    }
  }
  for (const auto& [name, value] : options.env) env[name] = value;
  std::vector<std::string> env_strings;
  for (const auto& [name, value] : env) env_strings.push_back(name + "=" + value);

  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) || pipe(out_pipe) || pipe(err_pipe)) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
    std::vector<char*> cargv, cenv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    for (auto& e : env_strings) cenv.push_back(e.data());
    cenv.push_back(nullptr);
    execve(cargv[0], cargv.data(), cenv.data());
    execvpe(cargv[0], cargv.data(), cenv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  signal(SIGPIPE, SIG_IGN);

  RunResult result;
  size_t written = 0;
  int in_fd = in_pipe[1];
  if (options.input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  int out_fd = out_pipe[0], err_fd = err_pipe[0];
  // The pipes are read until the child has exited and they are drained,
  // not until every writer has closed them: under wine, helper processes
  // that the child starts inherit the pipes and outlive it. A child that
  // closes its pipes but keeps running is still waited for, up to the
  // deadline.
  const auto deadline = std::chrono::steady_clock::now() + options.deadline;
  int status = 0;
  bool exited = false;
  while (!exited || out_fd >= 0 || err_fd >= 0) {
    if (!exited) {
      pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        exited = true;
        for (int fd : {out_fd, err_fd}) {
          if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
      } else if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        exited = true;
        result.timed_out = true;
        break;
      }
    }
    pollfd fds[3];
    int n = 0;
    if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
    if (out_fd >= 0) fds[n++] = {out_fd, POLLIN, 0};
    if (err_fd >= 0) fds[n++] = {err_fd, POLLIN, 0};
    int ready = poll(fds, static_cast<nfds_t>(n), exited ? 0 : 20);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0 && exited) break;  // drained
    for (int i = 0; i < n; ++i) {
      if (!fds[i].revents) continue;
      if (fds[i].fd == in_fd) {
        ssize_t w = write(in_fd, options.input.data() + written, options.input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w < 0 || written == options.input.size()) {
          close(in_fd);
          in_fd = -1;
        }
        continue;
      }
      char chunk[65536];
      ssize_t r = read(fds[i].fd, chunk, sizeof chunk);
      std::string& sink = fds[i].fd == out_fd ? result.out : result.err;
      if (r > 0) {
        sink.append(chunk, static_cast<size_t>(r));
      } else if (r == 0 || errno != EAGAIN) {
        close(fds[i].fd);
        (fds[i].fd == out_fd ? out_fd : err_fd) = -1;
      }
    }
  }
  for (int fd : {in_fd, out_fd, err_fd}) {
    if (fd >= 0) close(fd);
  }
  // Only a failed poll leaves the loop before the child is reaped.
  while (!exited && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (result.timed_out) {
    result.status = -1;
    ADD_FAILURE() << "the program was still running after " << options.deadline.count()
                  << " ms and was killed: " << describe_run(argv, options) << "\nstdout so far ("
                  << result.out.size() << " bytes): " << excerpt(result.out) << "\nstderr so far ("
                  << result.err.size() << " bytes): " << excerpt(result.err);
  }
  return result;
}

RunResult run_program(std::vector<std::string> args, std::map<std::string, std::string> env,
                      std::string input) {
  RunOptions options;
  options.args = std::move(args);
  options.env = std::move(env);
  options.input = std::move(input);
  return run_program(options);
}
