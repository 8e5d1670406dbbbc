// Splitting a range of Unicode scalar values into the UTF-8 byte-range
// sequences that encode exactly that range, so that an automaton over bytes
// can take "any character from low to high" as a handful of byte paths.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vorlane::levenshtein::utf8_ranges {

// An inclusive range of byte values.
struct ByteRange {
  uint8_t start;
  uint8_t end;
  bool operator==(const ByteRange&) const = default;
};

// One to four byte ranges, one per byte of the encoding: a byte string is
// in the sequence when it has that many bytes and each lies in its range.
class Utf8Sequence {
 public:
  Utf8Sequence() = default;
  void push(ByteRange r) { ranges_[size_++] = r; }

  size_t size() const { return size_; }
  const ByteRange& operator[](size_t i) const { return ranges_[i]; }
  const ByteRange& back() const { return ranges_[size_ - 1]; }
  bool operator==(const Utf8Sequence& o) const;

 private:
  std::array<ByteRange, 4> ranges_{};
  size_t size_ = 0;
};

// Iterates, in increasing order, over the sequences that together encode
// exactly the scalar values low..=high (surrogates are skipped; an empty
// range yields nothing). Requires: high <= U+10FFFF.
class Utf8Sequences {
 public:
  Utf8Sequences(char32_t low, char32_t high) { push(low, high); }

  // The next sequence, or nullopt once every one has been yielded.
  std::optional<Utf8Sequence> next();

 private:
  struct ScalarRange {
    uint32_t start;
    uint32_t end;
  };
  void push(uint32_t start, uint32_t end) { stack_.push_back(ScalarRange{start, end}); }
  bool split_at_length_limit(ScalarRange& r);
  bool split_at_continuation(ScalarRange& r);

  std::vector<ScalarRange> stack_;
};

}  // namespace vorlane::levenshtein::utf8_ranges
