// UTF-8 byte-range sequences of a scalar range.
//
// A range is cut until every piece has one encoded length and differs from
// its end only in trailing bytes that span their full 80..BF continuation
// range; such a piece is exactly the byte-wise product of the encodings of
// its two ends. Pieces are pushed on a stack high part first, so they come
// out in increasing order.
#include "vorlane/levenshtein/utf8_ranges.h"

namespace vorlane::levenshtein::utf8_ranges {
namespace {

constexpr uint32_t kSurrogateFirst = 0xD800;
constexpr uint32_t kSurrogateLast = 0xDFFF;

// Largest scalar of the 1-, 2- and 3-byte encodings.
constexpr uint32_t kLengthLimits[] = {0x7F, 0x7FF, 0xFFFF};
// Bits carried by the last one, two and three continuation bytes.
constexpr uint32_t kContinuationMasks[] = {0x3F, 0xFFF, 0x3FFFF};

// Writes the UTF-8 encoding of `c` (not a surrogate, at most U+10FFFF) and
// returns its length.
size_t encode(uint32_t c, uint8_t out[4]) {
  if (c <= 0x7F) {
    out[0] = static_cast<uint8_t>(c);
    return 1;
  }
  if (c <= 0x7FF) {
    out[0] = static_cast<uint8_t>(0xC0 | (c >> 6));
    out[1] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c <= 0xFFFF) {
    out[0] = static_cast<uint8_t>(0xE0 | (c >> 12));
    out[1] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<uint8_t>(0xF0 | (c >> 18));
  out[1] = static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<uint8_t>(0x80 | (c & 0x3F));
  return 4;
}

}  // namespace

bool Utf8Sequence::operator==(const Utf8Sequence& o) const {
  if (size_ != o.size_) return false;
  for (size_t i = 0; i < size_; ++i) {
    if (!(ranges_[i] == o.ranges_[i])) return false;
  }
  return true;
}

// Cuts `r` at the first encoded-length boundary inside it, pushing the upper
// part; false when all of `r` has one encoded length.
bool Utf8Sequences::split_at_length_limit(ScalarRange& r) {
  for (uint32_t limit : kLengthLimits) {
    if (r.start <= limit && limit < r.end) {
      push(limit + 1, r.end);
      r.end = limit;
      return true;
    }
  }
  return false;
}

// Cuts `r` so that its trailing continuation bytes span their full range,
// pushing the upper part; false when `r` already has that shape.
bool Utf8Sequences::split_at_continuation(ScalarRange& r) {
  for (uint32_t mask : kContinuationMasks) {
    if ((r.start & ~mask) == (r.end & ~mask)) continue;
    if ((r.start & mask) != 0) {
      push((r.start | mask) + 1, r.end);
      r.end = r.start | mask;
      return true;
    }
    if ((r.end & mask) != mask) {
      push(r.end & ~mask, r.end);
      r.end = (r.end & ~mask) - 1;
      return true;
    }
  }
  return false;
}

std::optional<Utf8Sequence> Utf8Sequences::next() {
  while (!stack_.empty()) {
    ScalarRange r = stack_.back();
    stack_.pop_back();
    // Surrogates are never encoded: keep the parts on either side.
    if (r.start < kSurrogateLast + 1 && r.end > kSurrogateFirst - 1) {
      push(kSurrogateLast + 1, r.end);
      r.end = kSurrogateFirst - 1;
    }
    if (r.start > r.end) continue;
    for (;;) {
      if (split_at_length_limit(r)) continue;
      if (r.end <= 0x7F) {
        Utf8Sequence seq;
        seq.push(ByteRange{static_cast<uint8_t>(r.start), static_cast<uint8_t>(r.end)});
        return seq;
      }
      if (split_at_continuation(r)) continue;
      uint8_t first[4];
      uint8_t last[4];
      const size_t n = encode(r.start, first);
      encode(r.end, last);
      Utf8Sequence seq;
      for (size_t i = 0; i < n; ++i) seq.push(ByteRange{first[i], last[i]});
      return seq;
    }
  }
  return std::nullopt;
}

}  // namespace vorlane::levenshtein::utf8_ranges
