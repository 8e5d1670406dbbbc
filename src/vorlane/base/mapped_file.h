// A read-only memory mapping of a whole file, shared by reference count:
// every index that reads the file holds a shared_ptr, and the mapping is
// released with the last of them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "vorlane/base/byte_view.h"
#include "vorlane/base/result.h"

namespace vorlane {

class MappedFile {
 public:
  // Opens and maps `path` (raw bytes, not necessarily UTF-8). Errors:
  // - the file cannot be opened (also a path holding a NUL byte): the
  //   message is "cannot open " + quoted path, its cause the system error;
  // - it cannot be mapped: the system error text, "{strerror} (os error N)".
  // An empty file maps to an empty view. The descriptor is closed before
  // this returns; the mapping stays.
  static Result<std::shared_ptr<const MappedFile>> open(std::string_view path);

  // Wraps bytes already in memory (tests, fuzzing); the file then owns a copy.
  static std::shared_ptr<const MappedFile> from_bytes(std::string_view bytes);

  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  ByteView bytes() const { return ByteView(data_, size_); }

 private:
  MappedFile() = default;

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool mapped_ = false;
  std::string owned_;
};

// The system error text for an errno value, as "{strerror} (os error N)".
std::string os_error_text(int errnum);

}  // namespace vorlane
