// Reading files in pieces, with the program's size cap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// The largest file the program reads (the chains file): 8 MiB.
inline constexpr size_t READ_FILE_MAX = 8388608;

// How opening a file for reading went.
enum class FileOpen {
  ok,
  missing,      // no such file
  not_regular,  // a directory, a FIFO, a socket or a device: never opened
  unopenable,   // it exists (or may), but cannot be opened
  no_size,      // its size cannot be determined
  oversized,    // larger than the cap
};

// A file read in pieces: opened in binary mode without ever waiting (only a
// regular file is opened), its size taken by seeking to its end and held
// against a cap, never more than that size read, and a short read no
// failure. The file stays open for the owner's lifetime.
class FileReader {
 public:
  // Opens the file; status() tells whether it can be read.
  FileReader(const char* path, size_t cap);

  FileOpen status() const { return status_; }
  // The size found at opening.
  uint64_t size() const { return size_; }

  // Copies the next bytes, at most capacity, into `into`; 0 at the end, and
  // from a read error on (failed() then tells).
  size_t read(char* into, size_t capacity);
  bool failed() const { return failed_; }

  // Reads exactly length bytes from offset into out. False (with failed()
  // set on a read error) when they cannot all be read.
  bool read_range(uint64_t offset, uint64_t length, std::string& out);

  // The open file, for what only the platform layer can ask of it.
  FILE* file() const { return file_.get(); }

 private:
  struct Close {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<FILE, Close> file_;
  FileOpen status_ = FileOpen::unopenable;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  bool failed_ = false;
};
