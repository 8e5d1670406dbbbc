// The variable-length integers of an index file: unsigned LEB128 of at most
// 64 bits (seven value bits per byte, least significant group first, top bit
// set on every byte but the last). Header-only: house lists and posting lists
// decode these on every query.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "vorlane/base/byte_view.h"

namespace vorlane::index {

namespace detail {

// The multi-byte case of strict_varint; `pos` is inside `data` and the byte
// there has its top bit set.
inline std::optional<uint64_t> strict_varint_multibyte(ByteView data, size_t& pos) {
  const uint8_t* bytes = data.data();
  const size_t size = data.size();
  size_t i = pos;
  uint64_t value = bytes[i++] & 0x7F;
  // Bytes two to nine each add seven bits (shifts 7..56).
  for (unsigned shift = 7; shift <= 56; shift += 7) {
    if (i >= size) {
      pos = size;
      return std::nullopt;
    }
    const uint8_t b = bytes[i++];
    value |= static_cast<uint64_t>(b & 0x7F) << shift;
    if (b < 0x80) {
      pos = i;
      return value;
    }
  }
  // The tenth byte has room for bit 63 only, so it must be 0x00 or 0x01.
  if (i >= size) {
    pos = size;
    return std::nullopt;
  }
  const uint8_t last = bytes[i++];
  pos = i;
  if (last > 0x01) return std::nullopt;
  return value | (static_cast<uint64_t>(last) << 63);
}

}  // namespace detail

// Reads one varint at `pos` and moves `pos` past it. Over-long encodings
// (0x80 0x00 for zero) are accepted. Returns nothing
//  - when `pos` is at or past the end (pos unchanged),
//  - when the data ends before the last byte (pos = data.size()),
//  - when the tenth byte is neither 0x00 nor 0x01 (pos just after it).
inline std::optional<uint64_t> strict_varint(ByteView data, size_t& pos) {
  if (pos >= data.size()) return std::nullopt;
  const uint8_t first = data.data()[pos];
  if (first < 0x80) {
    ++pos;
    return first;
  }
  return detail::strict_varint_multibyte(data, pos);
}

}  // namespace vorlane::index
