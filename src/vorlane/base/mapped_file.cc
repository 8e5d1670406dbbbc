// mmap of length 0 fails, so an empty file is represented by an empty view
// without a mapping; everything else is mapped PROT_READ, MAP_PRIVATE.
#include "vorlane/base/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "vorlane/base/quote.h"

namespace vorlane {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

Error io_error(int errnum) { return Error(ErrorCode::io, os_error_text(errnum)); }

}  // namespace

std::string os_error_text(int errnum) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(errnum, buf, sizeof buf);
  return std::string(text) + " (os error " + std::to_string(errnum) + ")";
}

Result<std::shared_ptr<const MappedFile>> MappedFile::open(std::string_view path) {
  const std::string quoted_context = "cannot open " + quote_path(path);
  // A C path ends at the first NUL: refuse rather than open a shorter name.
  if (path.find('\0') != std::string_view::npos) {
    return io_error(EINVAL).with_context(quoted_context);
  }
  const std::string c_path(path);
  // Without O_NONBLOCK a FIFO would wait here for a writer, forever.
  FileDescriptor fd(::open(c_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return io_error(errno).with_context(quoted_context);

  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return io_error(errno);
  // Only a regular file has a size that is its content: a directory, FIFO,
  // socket or device fails as a directory fails to map.
  if (!S_ISREG(st.st_mode)) return io_error(ENODEV);
  std::shared_ptr<MappedFile> file(new MappedFile());
  if (st.st_size == 0) return std::shared_ptr<const MappedFile>(file);
  const size_t size = static_cast<size_t>(st.st_size);
  void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
  if (p == MAP_FAILED) return io_error(errno);
  file->data_ = static_cast<const uint8_t*>(p);
  file->size_ = size;
  file->mapped_ = true;
  return std::shared_ptr<const MappedFile>(file);
}

std::shared_ptr<const MappedFile> MappedFile::from_bytes(std::string_view bytes) {
  std::shared_ptr<MappedFile> file(new MappedFile());
  file->owned_.assign(bytes);
  file->data_ = reinterpret_cast<const uint8_t*>(file->owned_.data());
  file->size_ = file->owned_.size();
  return file;
}

MappedFile::~MappedFile() {
  if (mapped_) ::munmap(const_cast<uint8_t*>(data_), size_);
}

}  // namespace vorlane
