#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "common/platform.h"

void platform_binary_stdio() {
  // POSIX streams make no newline translation.
}

namespace {

// Holds the stream's lock for one line, released however the line ends.
class StreamLock {
 public:
  explicit StreamLock(FILE* f) : f_(f) { flockfile(f_); }
  ~StreamLock() { funlockfile(f_); }
  StreamLock(const StreamLock&) = delete;
  StreamLock& operator=(const StreamLock&) = delete;

 private:
  FILE* f_;
};

}  // namespace

bool platform_read_line(FILE* in, std::string& line) {
  line.clear();
  StreamLock lock(in);
  // Bytes are gathered in a local chunk and appended a chunk at a time.
  char chunk[4096];
  size_t n = 0;
  int c = 0;
  while ((c = getc_unlocked(in)) != EOF) {
    chunk[n++] = static_cast<char>(c);
    if (c == '\n') break;
    if (n == sizeof chunk) {
      line.append(chunk, n);
      n = 0;
    }
  }
  line.append(chunk, n);
  return c != EOF || !line.empty();
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

std::optional<FileIdentity> platform_file_identity(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return std::nullopt;
  FileIdentity id;
  id.device = static_cast<uint64_t>(st.st_dev);
  id.inode = static_cast<uint64_t>(st.st_ino);
  id.size = static_cast<uint64_t>(st.st_size);
  id.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.changed_ns = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return id;
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
