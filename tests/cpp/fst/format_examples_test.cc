// The bytes on disk: small maps written out byte by byte (each produced by
// the reference builder) covering every node kind, the empty map, the empty
// key, explicit input bytes, multi-byte outputs, and their stored checksums;
// and CRC-32C, whose fast and portable paths must agree with a bit-at-a-time
// reference at every length and alignment that could trip up the 8-byte
// inner loop.
#include <gtest/gtest.h>

#include <map>

#include "fst_test_util.h"
#include "vorlane/fst/crc32c.h"

namespace vorlane::fst {
namespace {

using namespace vorlane::fst::testing;

struct Example {
  const char* name;
  Bytes nodes;
  uint64_t key_count;
  uint64_t root;
  std::optional<uint32_t> stored_checksum;  // as the builder wrote it
  Entries entries;
};

Bytes assemble(const Example& ex) {
  Bytes b(16 + ex.nodes.size() + 20, 0);
  b[0] = 3;  // version 3, type 0
  std::copy(ex.nodes.begin(), ex.nodes.end(), b.begin() + 16);
  store_u64(b, b.size() - 20, ex.key_count);
  store_u64(b, b.size() - 12, ex.root);
  reseal(b);
  return b;
}

const Example kExamples[] = {
    {"empty", {0x00, 0x00, 0x00}, 0, 18, 0x0F2D6B54, {}},
    {"a_1", {0x01, 0x00, 0x11, 0x85}, 1, 19, 0x69000DAC, {{"a", 1}}},
    {"a_0", {0x00, 0x10, 0x85}, 1, 18, 0x2AEF1B57, {{"a", 0}}},
    {"ab_ac",
     {0x01, 0x00, 0x00, 0x00, 0x63, 0x62, 0x11, 0x02, 0x01, 0x01, 0x11, 0x85},
     2, 27, 0xB01DF4ED, {{"ab", 1}, {"ac", 2}}},
    {"only_empty_key_0", {}, 1, 0, 0x369567C4, {{"", 0}}},
    {"only_empty_key_5", {0x05, 0x01, 0x00, 0x40}, 1, 19, std::nullopt, {{"", 5}}},
    {"final_many_node",
     {0x00, 0x01, 0x00, 0x62, 0x11, 0x41, 0x01, 0x01, 0x11, 0x85},
     2, 25, 0xB7F4466F, {{"a", 1}, {"ab", 2}}},
    {"one_next_and_wide_output",
     {0x00, 0x10, 0xb6, 0xdd, 0x2c, 0x01, 0x01, 0x12, 0xaa},
     1, 24, 0x17DB6433, {{"xyz", 300}}},
    {"explicit_input", {0x07, 0x00, 0x11, 0xff, 0x80}, 1, 20, 0xCD11908A, {{"\xff", 7}}},
};

class FormatExample : public ::testing::TestWithParam<Example> {};

TEST_P(FormatExample, ReadsAsWritten) {
  const Example& ex = GetParam();
  const Bytes bytes = assemble(ex);
  if (ex.stored_checksum) {
    EXPECT_EQ(load_le<uint32_t>(bytes.data() + bytes.size() - 4), *ex.stored_checksum);
  }
  std::optional<Map> map = open_or_fail(bytes);
  ASSERT_TRUE(map);
  EXPECT_EQ(map->size(), ex.entries.size());
  const std::map<std::string, uint64_t> model(ex.entries.begin(), ex.entries.end());
  for (const std::string k : {"", "a", "b", "ab", "ac", "abc", "x", "xy", "xyz", "xyzz", "\xfe",
                              "\xff"}) {
    const auto it = model.find(k);
    EXPECT_EQ(map->get(k), it == model.end() ? std::nullopt : std::optional(it->second))
        << printable(k);
  }
  auto s = map->stream();
  EXPECT_EQ(collect(s), ex.entries);
}

INSTANTIATE_TEST_SUITE_P(Bytes, FormatExample, ::testing::ValuesIn(kExamples),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormatExample, GoldenFilesMatchTheHandWrittenBytes) {
  for (const Example& ex : kExamples) {
    const std::string name = ex.name;
    if (name == "empty" || name == "a_1" || name == "ab_ac") {
      EXPECT_EQ(assemble(ex), golden_bytes(name)) << name;
    }
  }
}

uint32_t reference_crc32c(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ ((c & 1u) ? 0x82F63B78u : 0u);
  }
  return ~c;
}

TEST(Crc32c, CheckValueAndBothPathsAgreeWithReference) {
  EXPECT_EQ(crc32c(ByteView(std::string_view("123456789"))), 0xE3069283u);
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
