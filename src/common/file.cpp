#include "common/file.h"

#include "common/platform.h"

FileReader::FileReader(const char* path, size_t cap) {
  OpenFailure failure = OpenFailure::error;
  file_.reset(platform_open_regular(path, &failure));
  if (!file_) {
    status_ = failure == OpenFailure::missing       ? FileOpen::missing
              : failure == OpenFailure::not_regular ? FileOpen::not_regular
                                                    : FileOpen::unopenable;
    return;
  }
  FILE* f = file_.get();
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
    status_ = FileOpen::no_size;
    return;
  }
  if (static_cast<unsigned long>(size) > cap) {
    status_ = FileOpen::oversized;
    return;
  }
  size_ = static_cast<uint64_t>(size);
  status_ = FileOpen::ok;
}

size_t FileReader::read(char* into, size_t capacity) {
  if (status_ != FileOpen::ok || failed_ || position_ >= size_) return 0;
  uint64_t left = size_ - position_;
  size_t want = left < capacity ? static_cast<size_t>(left) : capacity;
  size_t n = std::fread(into, 1, want, file_.get());
  position_ += n;
  if (n < want) {
    if (std::ferror(file_.get())) failed_ = true;
    size_ = position_;  // the file ended early: what was read is all there is
  }
  return n;
}

bool FileReader::read_range(uint64_t offset, uint64_t length, std::string& out) {
  if (status_ != FileOpen::ok || offset > size_ || length > size_ - offset) return false;
  if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) return false;
  out.resize(static_cast<size_t>(length));
  size_t n = std::fread(out.data(), 1, out.size(), file_.get());
  if (n < out.size() && std::ferror(file_.get())) failed_ = true;
  // Reading in pieces goes on from where it was.
  if (std::fseek(file_.get(), static_cast<long>(position_), SEEK_SET) != 0) failed_ = true;
  return n == out.size();
}
