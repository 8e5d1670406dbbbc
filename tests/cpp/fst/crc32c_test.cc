// CRC-32C: the standard check value, the masked form stored in map footers,
// and agreement of the fast path with a bit-at-a-time reference at every
// length and alignment that could trip up the 8-byte inner loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vorlane/fst/crc32c.h"

namespace vorlane::fst {
namespace {

uint32_t reference_crc32c(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ ((c & 1u) ? 0x82F63B78u : 0u);
  }
  return ~c;
}

TEST(Crc32c, CheckValueAndMask) {
  EXPECT_EQ(crc32c(ByteView(std::string_view("123456789"))), 0xE3069283u);
  EXPECT_EQ(crc32c(ByteView()), 0u);
  // The empty map's first 35 bytes and the checksum its footer stores.
  std::vector<uint8_t> empty_map(35, 0);
  empty_map[0] = 3;
  empty_map[27] = 18;
  EXPECT_EQ(mask_crc32c(crc32c(ByteView(empty_map.data(), empty_map.size()))), 0x0F2D6B54u);
}

TEST(Crc32c, FastAndPortablePathsAgreeWithReference) {
  std::vector<uint8_t> data(300);
  uint32_t x = 12345;
  for (uint8_t& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 24);
  }
  for (size_t offset = 0; offset < 9; ++offset) {
    for (size_t n = 0; offset + n <= data.size(); n += (n < 40 ? 1 : 37)) {
      const ByteView v(data.data() + offset, n);
      const uint32_t want = reference_crc32c(data.data() + offset, n);
      ASSERT_EQ(crc32c(v), want) << offset << " " << n;
      ASSERT_EQ(internal::crc32c_portable(v), want) << offset << " " << n;
    }
  }
}

}  // namespace
}  // namespace vorlane::fst
