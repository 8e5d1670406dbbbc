// UTF-8 byte-range sequences: the known split of the whole Unicode range,
// and, for assorted ranges, an exhaustive check that every scalar value is
// covered by exactly one sequence when it lies in the range and by none
// otherwise, with the sequences in increasing order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/levenshtein/utf8_ranges.h"

namespace vorlane::levenshtein::utf8_ranges {
namespace {

std::vector<Utf8Sequence> sequences_of(char32_t low, char32_t high) {
  std::vector<Utf8Sequence> out;
  Utf8Sequences it(low, high);
  while (std::optional<Utf8Sequence> s = it.next()) out.push_back(*s);
  EXPECT_FALSE(it.next().has_value());
  return out;
}

Utf8Sequence seq(std::initializer_list<ByteRange> ranges) {
  Utf8Sequence s;
  for (ByteRange r : ranges) s.push(r);
  return s;
}

bool contains(const Utf8Sequence& s, const std::string& bytes) {
  if (bytes.size() != s.size()) return false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    if (b < s[i].start || b > s[i].end) return false;
  }
  return true;
}

TEST(Utf8Sequences, SplitsTheWholeRangeIntoNineSequences) {
  const std::vector<Utf8Sequence> expected = {
      seq({{0x00, 0x7F}}),
      seq({{0xC2, 0xDF}, {0x80, 0xBF}}),
      seq({{0xE0, 0xE0}, {0xA0, 0xBF}, {0x80, 0xBF}}),
      seq({{0xE1, 0xEC}, {0x80, 0xBF}, {0x80, 0xBF}}),
      seq({{0xED, 0xED}, {0x80, 0x9F}, {0x80, 0xBF}}),
      seq({{0xEE, 0xEF}, {0x80, 0xBF}, {0x80, 0xBF}}),
      seq({{0xF0, 0xF0}, {0x90, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}),
      seq({{0xF1, 0xF3}, {0x80, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}),
      seq({{0xF4, 0xF4}, {0x80, 0x8F}, {0x80, 0xBF}, {0x80, 0xBF}}),
  };
  EXPECT_EQ(sequences_of(0, 0x10FFFF), expected);
  EXPECT_EQ(sequences_of(0x20AC, 0x20AC),
            std::vector<Utf8Sequence>{seq({{0xE2, 0xE2}, {0x82, 0x82}, {0xAC, 0xAC}})});
}

TEST(Utf8Sequences, CoverExactlyTheirRangeInOrder) {
  const struct {
    char32_t low, high;
  } ranges[] = {{0x41, 0x41},     {0xE9, 0xE9},      {0x7F, 0x80},       {0x80, 0x7FF},
                {0x3B1, 0x3C9},   {0xD7FF, 0xE000},  {0xD900, 0xE0FF},   {0xFFFF, 0x10000},
                {0x1F600, 0x1F64F}, {0x123, 0x10FFFE}, {0xE9, 0x1F64F},
                {U'b', U'a'},     {0xD800, 0xDFFF}};  // the last two are empty
  for (const auto& r : ranges) {
    SCOPED_TRACE(::testing::Message() << std::hex << uint32_t(r.low) << ".." << uint32_t(r.high));
    const std::vector<Utf8Sequence> seqs = sequences_of(r.low, r.high);
    for (size_t i = 1; i < seqs.size(); ++i) {
      std::string prev_last, first;
      for (size_t k = 0; k < seqs[i - 1].size(); ++k) prev_last += char(seqs[i - 1][k].end);
      for (size_t k = 0; k < seqs[i].size(); ++k) first += char(seqs[i][k].start);
      EXPECT_TRUE(prev_last.size() < first.size() ||
                  (prev_last.size() == first.size() && prev_last < first));
    }
    size_t wrong = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      std::string bytes;
      utf8::append(bytes, c);
      size_t hits = 0;
      for (const Utf8Sequence& s : seqs) hits += contains(s, bytes) ? 1 : 0;
      const size_t expected = (c >= r.low && c <= r.high) ? 1 : 0;
      if (hits != expected && ++wrong <= 3) ADD_FAILURE() << "U+" << std::hex << uint32_t(c);
    }
  }
}

}  // namespace
}  // namespace vorlane::levenshtein::utf8_ranges
