#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>

#include "common/platform.h"
#include "common/platform_line.h"

void platform_binary_stdio() {
  // POSIX streams make no newline translation.
}

bool platform_read_line(FILE* in, std::string& line) {
  StreamLock<flockfile, funlockfile> lock(in);
  return read_line_locked([in] { return getc_unlocked(in); }, line);
}

int64_t platform_time() { return static_cast<int64_t>(std::time(nullptr)); }

uint32_t platform_pid() { return static_cast<uint32_t>(getpid()); }

bool platform_mkdir(const char* path) { return mkdir(path, 0777) == 0; }

bool platform_is_directory(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int platform_strnicmp(const char* a, const char* b, size_t n) { return strncasecmp(a, b, n); }

bool platform_remove(const char* path, bool* missing) {
  if (unlink(path) == 0) return true;
  *missing = errno == ENOENT;
  return false;
}

bool platform_make_writable(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  chmod(path, st.st_mode | S_IWUSR);
  return true;
}

namespace {

// The directory part of a path, for syncing the directory entry of a rename.
std::string directory_of(const char* path) {
  const char* slash = std::strrchr(path, '/');
  if (!slash) return ".";
  if (slash == path) return "/";
  return std::string(path, static_cast<size_t>(slash - path));
}

void sync_directory_of(const char* path) {
  int fd = open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool platform_replace_file(const char* from, const char* to) {
  // rename() replaces atomically: a reader sees the old file or the new one.
  if (std::rename(from, to) != 0) return false;
  sync_directory_of(to);
  return true;
}

bool platform_rename(const char* from, const char* to) {
  if (std::rename(from, to) != 0) return false;
  sync_directory_of(to);
  return true;
}

namespace {

FileIdentity identity_of(const struct stat& st) {
  FileIdentity id;
  id.device = static_cast<uint64_t>(st.st_dev);
  id.inode = static_cast<uint64_t>(st.st_ino);
  id.size = static_cast<uint64_t>(st.st_size);
  id.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.changed_ns = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return id;
}

}  // namespace

std::optional<FileIdentity> platform_file_identity(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return std::nullopt;
  return identity_of(st);
}

std::optional<FileIdentity> platform_file_identity(FILE* f) {
  struct stat st;
  if (fstat(fileno(f), &st) != 0) return std::nullopt;
  return identity_of(st);
}

bool platform_write_file(const char* path, const std::vector<std::string_view>& pieces, bool sync,
                         std::optional<FileIdentity>* identity) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  // One writev for many pieces writes as fast as one write of their joined
  // bytes; a write may stop short, so what is left is written again.
  std::vector<iovec> left;
  for (std::string_view piece : pieces) {
    if (!piece.empty()) left.push_back({const_cast<char*>(piece.data()), piece.size()});
  }
  bool ok = true;
  for (size_t first = 0; ok && first < left.size();) {
    int count = static_cast<int>(std::min<size_t>(left.size() - first, IOV_MAX));
    ssize_t n = writev(fd, left.data() + first, count);
    if (n < 0) {
      ok = errno == EINTR;
      continue;
    }
    for (auto done = static_cast<size_t>(n); done > 0 && first < left.size();) {
      size_t step = std::min(done, left[first].iov_len);
      left[first].iov_base = static_cast<char*>(left[first].iov_base) + step;
      left[first].iov_len -= step;
      done -= step;
      if (left[first].iov_len == 0) ++first;
    }
  }
  if (ok && sync) ok = fsync(fd) == 0;
  struct stat st;
  if (ok && identity)
    *identity = fstat(fd, &st) == 0 ? std::optional<FileIdentity>(identity_of(st)) : std::nullopt;
  ok = close(fd) == 0 && ok;
  return ok;
}

bool platform_overwrite_file(const char* path, std::string_view bytes) {
  // O_NONBLOCK: opening a FIFO for writing would wait for a reader.
  int fd = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n > 0) done += static_cast<size_t>(n);
    ok = n > 0 || (n < 0 && errno == EINTR);
  }
  // Cutting the old tail after the write (not truncating first) keeps the
  // file system from flushing it at once.
  ok = ok && ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
  ok = close(fd) == 0 && ok;
  return ok;
}

FILE* platform_open_regular(const char* path, OpenFailure* why) {
  OpenFailure failure = OpenFailure::error;
  // Without O_NONBLOCK, opening a FIFO waits for a writer.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) failure = OpenFailure::missing;
    if (errno == ENXIO) failure = OpenFailure::not_regular;  // a socket
    if (why) *why = failure;
    return nullptr;
  }
  struct stat st;
  int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) failure = OpenFailure::not_regular;
  if (failure == OpenFailure::not_regular || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    if (why) *why = failure;
    return nullptr;
  }
  FILE* f = fdopen(fd, "rb");
  if (!f) {
    close(fd);
    if (why) *why = OpenFailure::error;
  }
  return f;
}

PathKind platform_path_kind(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return errno == ENOENT || errno == ENOTDIR ? PathKind::missing : PathKind::other;
  return S_ISREG(st.st_mode) ? PathKind::regular : PathKind::other;
}

std::optional<FileLock> FileLock::acquire(const char* path, int64_t wait_ms, bool* busy) {
  if (busy) *busy = false;
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return std::nullopt;
  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  // Polled rather than waited for in the kernel, so that a holder that
  // never lets go (a stopped process, a stalled disk) cannot keep us for
  // longer than wait_ms.
  long pause_us = 1000;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return FileLock(fd);
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) break;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t waited_ms = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (waited_ms >= wait_ms) {
      if (busy) *busy = true;
      break;
    }
    usleep(static_cast<useconds_t>(pause_us));
    pause_us = std::min<long>(pause_us * 2, 50000);
  }
  close(fd);
  return std::nullopt;
}

void FileLock::release() noexcept {
  if (handle_ >= 0) close(static_cast<int>(handle_));  // closing drops the flock
  handle_ = -1;
}
