// The one place where the program meets the operating system. Everything
// here has a POSIX implementation (platform_posix.cpp) and a Windows one
// (platform_windows.cpp); no other file includes an OS header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Joins the state directory and "chains.json".
#ifdef _WIN32
inline constexpr char PATH_SEPARATOR = '\\';
#else
inline constexpr char PATH_SEPARATOR = '/';
#endif

// Puts stdout, stdin and stderr (in this order) into binary mode, so that a
// LF leaves as one byte and a CR in the input arrives unchanged.
void platform_binary_stdio();

// Reads the next line from `in` into line: its bytes up to and including
// the LF, or up to the end of input for a last line without one; any byte
// value may occur. The stream is locked once for the whole line rather than
// once per byte. False at end of input (nothing was read). A line too long
// for memory throws std::bad_alloc.
bool platform_read_line(FILE* in, std::string& line);

// Seconds since 1970-01-01 UTC.
int64_t platform_time();

// The process id, as the 32-bit value the system uses.
uint32_t platform_pid();

// Creates one directory. False when it could not be created, which includes
// "it exists already".
bool platform_mkdir(const char* path);

// True when the path names an existing directory.
bool platform_is_directory(const char* path);

// Compares at most n bytes without regard to ASCII letter case, as
// strncasecmp does: 0 when equal.
int platform_strnicmp(const char* a, const char* b, size_t n);

// Removes a file. False when it failed; *missing then tells whether the
// failure was "no such file".
bool platform_remove(const char* path, bool* missing);

// Makes an existing file writable for a following removal: on Windows its
// attributes are reset to normal, on POSIX the owner's write permission is
// added. False when the file's attributes cannot be read (no such file).
bool platform_make_writable(const char* path);

// Renames `from` over `to` in one step, replacing `to`, and makes the rename
// itself durable (POSIX: fsync of the directory; Windows: write-through).
// On Windows a reader holding `to` open makes the replace fail for a moment;
// the call retries a few times before giving up. False when it failed; `from`
// is then left where it was.
bool platform_replace_file(const char* from, const char* to);

// Renames `from` to a name `to` that does not exist yet.
bool platform_rename(const char* from, const char* to);

// What identifies one version of a file: a replaced or rewritten file
// changes at least one of these.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Creates the file at path (or truncates it) and writes the pieces one after
// another, with as few system calls as the system allows; when sync, forces
// the data to the disk before closing it. On success *identity, when given,
// receives the written file's identity (taken before closing). False when
// any step failed, the close included.
bool platform_write_file(const char* path, const std::vector<std::string_view>& pieces, bool sync,
                         std::optional<FileIdentity>* identity);

// Writes the bytes over the regular file at path from its start (creating
// it when missing) and cuts it to their length, without syncing: cheaper
// than a new file and a rename, but a reader may meanwhile see the old
// bytes, the new ones, or a mix. Only for files whose readers check all they
// read. Never waits on a FIFO; false when the path is not a regular file or
// a step failed.
bool platform_overwrite_file(const char* path, std::string_view bytes);

// The identity of the file at path, or nothing when it cannot be examined.
std::optional<FileIdentity> platform_file_identity(const char* path);

// The identity of an open file.
std::optional<FileIdentity> platform_file_identity(FILE* f);

// Why a file could not be opened.
enum class OpenFailure {
  missing,      // nothing at the path
  not_regular,  // a directory, a FIFO, a socket or a device
  error,        // it exists, but opening it failed (permissions, say)
};

// Opens a regular file for reading in binary mode without ever waiting: a
// FIFO, a device or a directory at the path is not opened. Null when the
// path names no regular file or it cannot be opened; *why (when given) then
// says which.
FILE* platform_open_regular(const char* path, OpenFailure* why = nullptr);

// What the path names now: nothing, a regular file, or anything else.
enum class PathKind { missing, regular, other };
PathKind platform_path_kind(const char* path);

// An exclusive advisory lock on a lock file that is created when missing and
// never renamed or removed. The lock is held for the owner's lifetime and
// released by the destructor (and by the system when the process dies).
class FileLock {
 public:
  // Waits at most wait_ms milliseconds for the lock. Nothing when it is not
  // held by then (*busy, when given, is then true: another process holds
  // it) or when the lock file cannot be opened or locked (*busy false).
  static std::optional<FileLock> acquire(const char* path, int64_t wait_ms, bool* busy = nullptr);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  explicit FileLock(intptr_t handle) : handle_(handle) {}
  void release() noexcept;
  intptr_t handle_ = -1;
};
