#include "common/platform.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

void platform_binary_stdio() {
  // POSIX streams make no newline translation.
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

bool platform_sync_file(FILE* f) {
  if (std::fflush(f) != 0) return false;
  return fsync(fileno(f)) == 0;
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

bool platform_replace_file(const char* from, const char* to, bool durable) {
  // rename() replaces atomically: a reader sees the old file or the new one.
  if (std::rename(from, to) != 0) return false;
  if (durable) sync_directory_of(to);
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

FILE* platform_open_regular(const char* path) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  FILE* f = fdopen(fd, "rb");
  if (!f) close(fd);
  return f;
}

std::optional<FileLock> FileLock::acquire(const char* path) {
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return std::nullopt;
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd);
      return std::nullopt;
    }
  }
  return FileLock(fd);
}

void FileLock::release() noexcept {
  if (handle_ >= 0) close(static_cast<int>(handle_));  // closing drops the flock
  handle_ = -1;
}
