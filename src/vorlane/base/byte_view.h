// Bounds-checked, non-owning views over bytes (usually a memory-mapped file).
// Every multi-byte read assembles a little-endian integer through memcpy, so
// neither alignment nor host byte order can matter, and every offset/length
// check is written so that it cannot overflow.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>

namespace vorlane {

// Little-endian decoding of a fixed number of bytes at `p`. Requires: `p`
// points at that many readable bytes. memcpy makes the access safe at any
// alignment and compiles to one load.
template <typename T>
inline T load_le(const uint8_t* p) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    if constexpr (sizeof(U) == 2) v = __builtin_bswap16(v);
    if constexpr (sizeof(U) == 4) v = __builtin_bswap32(v);
    if constexpr (sizeof(U) == 8) v = __builtin_bswap64(v);
  }
  return static_cast<T>(v);
}

inline float load_le_f32(const uint8_t* p) {
  uint32_t bits = load_le<uint32_t>(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

class ByteView {
 public:
  constexpr ByteView() = default;
  constexpr ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteView(std::string_view s)
      : data_(reinterpret_cast<const uint8_t*>(s.data())), size_(s.size()) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const uint8_t* begin() const { return data_; }
  const uint8_t* end() const { return data_ + size_; }

  // True when [offset, offset + length) lies inside the view.
  bool contains(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  std::optional<ByteView> subview(uint64_t offset, uint64_t length) const {
    if (!contains(offset, length)) return std::nullopt;
    return ByteView(data_ + offset, static_cast<size_t>(length));
  }

  // The bytes from `offset` to the end (empty when offset is past the end).
  ByteView tail(uint64_t offset) const {
    if (offset >= size_) return ByteView(data_ + size_, 0);
    return ByteView(data_ + offset, size_ - static_cast<size_t>(offset));
  }

  std::optional<uint8_t> u8(uint64_t offset) const {
    if (offset >= size_) return std::nullopt;
    return data_[offset];
  }
  std::optional<uint16_t> le_u16(uint64_t offset) const { return read<uint16_t>(offset); }
  std::optional<uint32_t> le_u32(uint64_t offset) const { return read<uint32_t>(offset); }
  std::optional<uint64_t> le_u64(uint64_t offset) const { return read<uint64_t>(offset); }
  std::optional<int32_t> le_i32(uint64_t offset) const { return read<int32_t>(offset); }
  std::optional<float> le_f32(uint64_t offset) const {
    if (!contains(offset, 4)) return std::nullopt;
    return load_le_f32(data_ + offset);
  }

  // Number of whole T-sized records the view holds; a count read from a
  // file is only trusted when it is at most this.
  template <typename T>
  size_t count_of() const { return size_ / sizeof(T); }

  std::string_view as_string_view() const {
    return std::string_view(reinterpret_cast<const char*>(data_), size_);
  }

  bool operator==(const ByteView& o) const {
    return size_ == o.size_ && (size_ == 0 || std::memcmp(data_, o.data_, size_) == 0);
  }

 private:
  template <typename T>
  std::optional<T> read(uint64_t offset) const {
    if (!contains(offset, sizeof(T))) return std::nullopt;
    return load_le<T>(data_ + offset);
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Sequential reader over a ByteView. Each read either succeeds and advances,
// or fails and leaves the position unchanged.
class Cursor {
 public:
  explicit Cursor(ByteView view, size_t pos = 0) : view_(view), pos_(pos) {}

  size_t pos() const { return pos_; }
  size_t remaining() const { return pos_ <= view_.size() ? view_.size() - pos_ : 0; }
  bool at_end() const { return remaining() == 0; }

  std::optional<uint8_t> u8() { return advance(view_.u8(pos_), 1); }
  std::optional<uint16_t> u16le() { return advance(view_.le_u16(pos_), 2); }
  std::optional<uint32_t> u32le() { return advance(view_.le_u32(pos_), 4); }
  std::optional<uint64_t> u64le() { return advance(view_.le_u64(pos_), 8); }
  std::optional<float> f32le() { return advance(view_.le_f32(pos_), 4); }

  std::optional<ByteView> bytes(uint64_t n) { return advance(view_.subview(pos_, n), n); }

  std::optional<std::string_view> str(uint64_t n) {
    auto b = bytes(n);
    if (!b) return std::nullopt;
    return b->as_string_view();
  }

 private:
  template <typename T>
  std::optional<T> advance(std::optional<T> v, uint64_t n) {
    if (v) pos_ += static_cast<size_t>(n);
    return v;
  }

  ByteView view_;
  size_t pos_;
};

}  // namespace vorlane
