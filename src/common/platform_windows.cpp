#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "common/platform.h"
#include "common/platform_line.h"

void platform_binary_stdio() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool platform_read_line(FILE* in, std::string& line) {
  StreamLock<_lock_file, _unlock_file> lock(in);
  return read_line_locked([in] { return _getc_nolock(in); }, line);
}

int64_t platform_time() { return static_cast<int64_t>(_time64(nullptr)); }

uint32_t platform_pid() { return static_cast<uint32_t>(GetCurrentProcessId()); }

bool platform_mkdir(const char* path) { return _mkdir(path) == 0; }

bool platform_is_directory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int platform_strnicmp(const char* a, const char* b, size_t n) { return _strnicmp(a, b, n); }

bool platform_remove(const char* path, bool* missing) {
  if (std::remove(path) == 0) return true;
  *missing = errno == ENOENT;
  return false;
}

bool platform_make_writable(const char* path) {
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return false;
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  return true;
}

bool platform_replace_file(const char* from, const char* to) {
  // C rename() refuses an existing target here. A reader that holds the
  // target open without delete sharing makes the replace fail with access
  // denied until it closes the file, so a few attempts are made.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    Sleep(10);
  }
  return false;
}

bool platform_rename(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != 0;
}

namespace {

// Flushes the stream and forces its data to the disk.
bool sync_file(FILE* f) {
  if (std::fflush(f) != 0) return false;
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
}

std::optional<FileIdentity> identity_of(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return std::nullopt;
  FileIdentity id;
  id.device = info.dwVolumeSerialNumber;
  id.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  id.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  id.modified_ns = static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                        info.ftLastWriteTime.dwLowDateTime);
  id.changed_ns = static_cast<int64_t>((static_cast<uint64_t>(info.ftCreationTime.dwHighDateTime) << 32) |
                                       info.ftCreationTime.dwLowDateTime);
  return id;
}

}  // namespace

std::optional<FileIdentity> platform_file_identity(const char* path) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileIdentity> id = identity_of(h);
  CloseHandle(h);
  return id;
}

std::optional<FileIdentity> platform_file_identity(FILE* f) {
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  return identity_of(h);
}

bool platform_write_file(const char* path, const std::vector<std::string_view>& pieces, bool sync,
                         std::optional<FileIdentity>* identity) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = true;
  for (std::string_view piece : pieces)
    ok = ok && std::fwrite(piece.data(), 1, piece.size(), f) == piece.size();
  if (sync) ok = sync_file(f) && ok;
  if (ok && identity) *identity = platform_file_identity(f);
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

bool platform_overwrite_file(const char* path, std::string_view bytes) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileType(h) == FILE_TYPE_DISK;
  for (size_t done = 0; ok && done < bytes.size();) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    ok = WriteFile(h, bytes.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  ok = ok && SetEndOfFile(h);
  ok = CloseHandle(h) && ok;
  return ok;
}

FILE* platform_open_regular(const char* path, OpenFailure* why) {
  // The file system holds no FIFOs here, and a directory cannot be opened
  // this way. Delete sharing lets a writer replace the file meanwhile.
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (why) {
      DWORD error = GetLastError();
      PathKind kind = platform_path_kind(path);
      *why = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? OpenFailure::missing
             : kind == PathKind::other                                      ? OpenFailure::not_regular
                                                                            : OpenFailure::error;
    }
    return nullptr;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    if (why) *why = OpenFailure::not_regular;
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    if (why) *why = OpenFailure::error;
    return nullptr;
  }
  FILE* f = _fdopen(fd, "rb");
  if (!f) {
    _close(fd);
    if (why) *why = OpenFailure::error;
  }
  return f;
}

PathKind platform_path_kind(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::missing
                                                                          : PathKind::other;
  }
  return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE) ? PathKind::other
                                                                         : PathKind::regular;
}

std::optional<FileLock> FileLock::acquire(const char* path, int64_t wait_ms, bool* busy) {
  if (busy) *busy = false;
  HANDLE h =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  // Polled, so that a holder that never lets go cannot keep us for longer
  // than wait_ms.
  ULONGLONG start = GetTickCount64();
  DWORD pause_ms = 1;
  for (;;) {
    OVERLAPPED whole_file = {};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole_file))
      return FileLock(reinterpret_cast<intptr_t>(h));
    if (GetLastError() != ERROR_LOCK_VIOLATION) break;
    if (static_cast<int64_t>(GetTickCount64() - start) >= wait_ms) {
      if (busy) *busy = true;
      break;
    }
    Sleep(pause_ms);
    pause_ms = std::min<DWORD>(pause_ms * 2, 50);
  }
  CloseHandle(h);
  return std::nullopt;
}

void FileLock::release() noexcept {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing unlocks
  handle_ = -1;
}
