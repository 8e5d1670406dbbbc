#include "vorlane/index/varint.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace vorlane::index {
namespace {

std::vector<uint8_t> repeat(uint8_t byte, size_t n, std::vector<uint8_t> tail = {}) {
  std::vector<uint8_t> out(n, byte);
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

TEST(StrictVarint, DecodesAndPlacesThePosition) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t start;
    std::optional<uint64_t> value;
    size_t end;  // pos after the call
  } cases[] = {
      {"empty", {}, 0, std::nullopt, 0}, {"at end", {0x05}, 1, std::nullopt, 1},
      {"past end", {0x05}, 7, std::nullopt, 7}, {"one byte max", {0x7F}, 0, 127, 1},
      {"over-long zero", {0x80, 0x00}, 0, 0, 2},
      {"three bytes", {0xE5, 0x8E, 0x26, 0x99}, 0, 624485, 3},
      {"from the middle", {0xAA, 0x80, 0x01, 0x07}, 1, 128, 3},
      {"truncated after three", {0x00, 0xFF, 0xFF, 0xFF}, 1, std::nullopt, 4},
      {"truncated at nine", repeat(0x80, 9), 0, std::nullopt, 9},
      {"nine bytes, 2^63 - 1", repeat(0xFF, 8, {0x7F}), 0, INT64_MAX, 9},
      {"bit 63 alone", repeat(0x80, 9, {0x01}), 0, uint64_t{1} << 63, 10},
      {"all 64 bits", repeat(0xFF, 9, {0x01}), 0, UINT64_MAX, 10},
      {"ten bytes, over-long zero", repeat(0x80, 9, {0x00}), 0, 0, 10},
      {"tenth byte 0x02", repeat(0x80, 9, {0x02, 0x00}), 0, std::nullopt, 10},
      {"tenth byte continues", repeat(0xFF, 10, {0x01}), 0, std::nullopt, 10},
      {"tenth byte 0x81", repeat(0x80, 9, {0x81, 0x00}), 0, std::nullopt, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    size_t pos = c.start;
    EXPECT_EQ(strict_varint(ByteView(c.bytes.data(), c.bytes.size()), pos), c.value);
    EXPECT_EQ(pos, c.end);
  }
}

}  // namespace
}  // namespace vorlane::index
