// A fault injector for the tests, loaded into the program under test with
// LD_PRELOAD (Linux only). It stands in front of the C library's file calls
// and makes one of them fail, or slows it down, on files whose path holds a
// given text, so that every step of a recording can be made to fail once.
//
// Configured by the environment of the process:
//   VELTRANE_FAULT        which calls fail: OP:N[,OP:N...], where OP is open,
//                         read, write, fsync, rename, unlink or flock and N
//                         counts the calls of that kind from 1
//   VELTRANE_FAULT_ERRNO  EIO (the default) or ENOSPC
//   VELTRANE_FAULT_PATH   only calls on paths holding this text count
//                         (default "chains.json": the store, its temporary
//                         file, its lock and its summary)
//   VELTRANE_FAULT_DELAY  OP:MS: every such call on a matching path first
//                         sleeps MS milliseconds
//   VELTRANE_FAULT_LOG    a file that receives one line per matching call:
//                         "<op> <n> <path>", and " failed" after a failed one
//
// Calls on descriptors count against the path they were opened with; a
// stream's reads (fread) count against the descriptor it was made from with
// fdopen. Only calls made through the C library's symbols are seen: a file
// opened with fopen is not.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

enum Op { kOpen, kRead, kWrite, kFsync, kRename, kUnlink, kFlock, kOpCount };
constexpr const char* kOpNames[kOpCount] = {"open", "read", "write", "fsync", "rename", "unlink", "flock"};

struct Config {
  std::vector<std::pair<int, long>> failures;  // op, the call that fails
  int fail_errno = EIO;
  std::string path_text = "chains.json";
  int delay_op = -1;
  long delay_ms = 0;
  std::string log;
};

int op_named(std::string_view name) {
  for (int i = 0; i < kOpCount; ++i) {
    if (name == kOpNames[i]) return i;
  }
  return -1;
}

// "OP:N" as an op and a number; -1 for an unknown op.
std::pair<int, long> op_and_number(std::string_view item) {
  size_t colon = item.find(':');
  if (colon == std::string_view::npos) return {-1, 0};
  return {op_named(item.substr(0, colon)), std::atol(std::string(item.substr(colon + 1)).c_str())};
}

Config read_config() {
  Config c;
  if (const char* list = std::getenv("VELTRANE_FAULT")) {
    std::string_view rest = list;
    while (!rest.empty()) {
      size_t comma = rest.find(',');
      c.failures.push_back(op_and_number(rest.substr(0, comma)));
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
  }
  if (const char* e = std::getenv("VELTRANE_FAULT_ERRNO"); e && std::strcmp(e, "ENOSPC") == 0)
    c.fail_errno = ENOSPC;
  if (const char* p = std::getenv("VELTRANE_FAULT_PATH")) c.path_text = p;
  if (const char* d = std::getenv("VELTRANE_FAULT_DELAY"))
    std::tie(c.delay_op, c.delay_ms) = op_and_number(d);
  if (const char* l = std::getenv("VELTRANE_FAULT_LOG")) c.log = l;
  return c;
}

const Config& config() {
  static const Config the_config = read_config();
  return the_config;
}

std::mutex& table_mutex() {
  static std::mutex m;
  return m;
}

// The paths of the open descriptors that matched.
std::unordered_map<int, std::string>& watched() {
  static auto* table = new std::unordered_map<int, std::string>();
  return *table;
}

std::atomic<long> counts[kOpCount];

template <class F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool matches(const char* path) { return path && std::strstr(path, config().path_text.c_str()) != nullptr; }

std::string path_of(int fd) {
  std::lock_guard<std::mutex> lock(table_mutex());
  auto it = watched().find(fd);
  return it == watched().end() ? std::string() : it->second;
}

void log_call(Op op, long n, const std::string& path, bool failed) {
  const Config& c = config();
  if (c.log.empty()) return;
  using OpenFn = int (*)(const char*, int, ...);
  using WriteFn = ssize_t (*)(int, const void*, size_t);
  using CloseFn = int (*)(int);
  int fd = real<OpenFn>("open")(c.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  std::string line =
      std::string(kOpNames[op]) + " " + std::to_string(n) + " " + path + (failed ? " failed" : "") + "\n";
  real<WriteFn>("write")(fd, line.data(), line.size());
  real<CloseFn>("close")(fd);
}

// Counts a call on a matching path; true when this one must fail (errno is
// then set). Sleeps first when the call is to be slowed.
bool should_fail(Op op, const std::string& path) {
  const Config& c = config();
  long n = ++counts[op];
  bool fail = false;
  for (const auto& [fail_op, nth] : c.failures) fail = fail || (fail_op == op && nth == n);
  log_call(op, n, path, fail);
  if (op == c.delay_op && c.delay_ms > 0) {
    timespec t{c.delay_ms / 1000, (c.delay_ms % 1000) * 1000000};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
  }
  if (fail) errno = c.fail_errno;
  return fail;
}

void track(int fd, const char* path) {
  if (fd < 0 || !matches(path)) return;
  std::lock_guard<std::mutex> lock(table_mutex());
  watched()[fd] = path;
}

void untrack(int fd) {
  std::lock_guard<std::mutex> lock(table_mutex());
  watched().erase(fd);
}

mode_t mode_argument(int flags, va_list args) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

int after_open(int fd, const char* path) {
  track(fd, path);
  return fd;
}

// The stream's read fails as a read from the disk would: nothing is read,
// whatever the stream holds in its buffer (a small file is read whole into
// it as early as the first seek), and the stream's error indicator is set.
size_t failing_fread(FILE* f) {
  f->_flags |= _IO_ERR_SEEN;  // what ferror() reads, in the C library's own stream record
  errno = config().fail_errno;
  return 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_argument(flags, args);
  va_end(args);
  if (matches(path) && should_fail(kOpen, path)) return -1;
  using Fn = int (*)(const char*, int, ...);
  return after_open(real<Fn>("open")(path, flags, mode), path);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_argument(flags, args);
  va_end(args);
  if (matches(path) && should_fail(kOpen, path)) return -1;
  using Fn = int (*)(const char*, int, ...);
  return after_open(real<Fn>("open64")(path, flags, mode), path);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_argument(flags, args);
  va_end(args);
  if (matches(path) && should_fail(kOpen, path)) return -1;
  using Fn = int (*)(int, const char*, int, ...);
  return after_open(real<Fn>("openat")(dirfd, path, flags, mode), path);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_argument(flags, args);
  va_end(args);
  if (matches(path) && should_fail(kOpen, path)) return -1;
  using Fn = int (*)(int, const char*, int, ...);
  return after_open(real<Fn>("openat64")(dirfd, path, flags, mode), path);
}

int close(int fd) {
  untrack(fd);
  using Fn = int (*)(int);
  return real<Fn>("close")(fd);
}

ssize_t read(int fd, void* buf, size_t n) {
  std::string path = path_of(fd);
  if (!path.empty() && should_fail(kRead, path)) return -1;
  using Fn = ssize_t (*)(int, void*, size_t);
  return real<Fn>("read")(fd, buf, n);
}

ssize_t pread64(int fd, void* buf, size_t n, off64_t offset) {
  std::string path = path_of(fd);
  if (!path.empty() && should_fail(kRead, path)) return -1;
  using Fn = ssize_t (*)(int, void*, size_t, off64_t);
  return real<Fn>("pread64")(fd, buf, n, offset);
}

ssize_t pread(int fd, void* buf, size_t n, off_t offset) { return pread64(fd, buf, n, offset); }

size_t fread(void* buf, size_t size, size_t n, FILE* f) {
  std::string path = path_of(fileno(f));
  if (!path.empty() && should_fail(kRead, path)) return failing_fread(f);
  using Fn = size_t (*)(void*, size_t, size_t, FILE*);
  return real<Fn>("fread")(buf, size, n, f);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t offset) {
  std::string path = path_of(fd);
  if (!path.empty() && should_fail(kWrite, path)) return -1;
  using Fn = ssize_t (*)(int, const void*, size_t, off64_t);
  return real<Fn>("pwrite64")(fd, buf, n, offset);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) { return pwrite64(fd, buf, n, offset); }

ssize_t write(int fd, const void* buf, size_t n) {
  std::string path = path_of(fd);
  if (!path.empty() && should_fail(kWrite, path)) return -1;
  using Fn = ssize_t (*)(int, const void*, size_t);
  return real<Fn>("write")(fd, buf, n);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
  std::string path = path_of(fd);
  if (!path.empty() && should_fail(kWrite, path)) return -1;
  using Fn = ssize_t (*)(int, const struct iovec*, int);
  return real<Fn>("writev")(fd, iov, count);
}

int fsync(int fd) {
  std::string path = path_of(fd);
  if (!path.empty() && should_fail(kFsync, path)) return -1;
  using Fn = int (*)(int);
  return real<Fn>("fsync")(fd);
}

int fdatasync(int fd) {
  std::string path = path_of(fd);
  if (!path.empty() && should_fail(kFsync, path)) return -1;
  using Fn = int (*)(int);
  return real<Fn>("fdatasync")(fd);
}

int rename(const char* from, const char* to) {
  if ((matches(from) || matches(to)) && should_fail(kRename, to)) return -1;
  using Fn = int (*)(const char*, const char*);
  return real<Fn>("rename")(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  if ((matches(from) || matches(to)) && should_fail(kRename, to)) return -1;
  using Fn = int (*)(int, const char*, int, const char*);
  return real<Fn>("renameat")(from_dir, from, to_dir, to);
}

int unlink(const char* path) {
  if (matches(path) && should_fail(kUnlink, path)) return -1;
  using Fn = int (*)(const char*);
  return real<Fn>("unlink")(path);
}

int unlinkat(int dirfd, const char* path, int flags) {
  if (matches(path) && should_fail(kUnlink, path)) return -1;
  using Fn = int (*)(int, const char*, int);
  return real<Fn>("unlinkat")(dirfd, path, flags);
}

int remove(const char* path) {
  if (matches(path) && should_fail(kUnlink, path)) return -1;
  using Fn = int (*)(const char*);
  return real<Fn>("remove")(path);
}

int flock(int fd, int operation) {
  std::string path = path_of(fd);
  if (!path.empty() && (operation & LOCK_UN) == 0 && should_fail(kFlock, path)) return -1;
  using Fn = int (*)(int, int);
  return real<Fn>("flock")(fd, operation);
}

}  // extern "C"
