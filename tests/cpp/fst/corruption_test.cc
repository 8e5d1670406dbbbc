// Damaged maps: each must be refused at open with a clear message, or, when
// the damage still forms a valid map (possible without a checksum), be read
// without any out-of-range access. Meant to run under ASan/UBSan too.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "fst_test_util.h"

namespace vorlane::fst {
namespace {

using namespace vorlane::fst::testing;
using ::testing::HasSubstr;

// Opens `bytes` and, if it opens, reads everything a caller could read
// (streams capped: a damaged map may hold many more, finitely many, keys).
// Returns whether it opened.
bool open_and_exercise(const Bytes& bytes, const Entries& listed) {
  Result<Map> map = Map::open(view(bytes));
  if (!map) {
    EXPECT_FALSE(map.error().message().empty());
    EXPECT_EQ(map.error().message().find("— file is corrupt"), std::string::npos);
    return false;
  }
  for (const auto& [key, value] : listed) (void)map->get(key);
  for (const std::string& key : {std::string(), std::string(40, '\xff')}) (void)map->get(key);
  const std::string mid = listed.empty() ? "m" : listed[listed.size() / 2].first;
  const size_t cap = 4 * listed.size() + 100;
  auto all = map->stream();
  auto r = map->range(view(mid), std::nullopt);
  auto p = map->search(StartsWith(Str(mid.substr(0, 1))), std::nullopt, view(mid + '\0'));
  (void)collect(all, cap);
  (void)collect(r, cap);
  (void)collect(p, cap);
  return true;
}

std::string open_error(const Bytes& bytes) {
  Result<Map> map = Map::open(view(bytes));
  return map ? std::string("opened") : map.error().message();
}

// `good` with the root address in its footer replaced, checksum recomputed.
Bytes with_root(Bytes b, uint64_t root) {
  store_u64(b, b.size() - 12, root);
  reseal(b);
  return b;
}

TEST(Corruption, FormatLevelChecks) {
  const Bytes good = golden_bytes("ab_ac");
  for (size_t n = 0; n < 36; ++n) {
    const Bytes cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(std::min(n, good.size())));
    EXPECT_THAT(open_error(cut), HasSubstr("fst map is too short")) << n;
  }
  for (uint64_t version : {uint64_t{0}, uint64_t{4}, uint64_t{0x100000003}, ~uint64_t{0}}) {
    Bytes b = good;
    store_u64(b, 0, version);
    Result<Map> map = Map::open(view(b));
    ASSERT_FALSE(map);
    EXPECT_EQ(map.error().code(), ErrorCode::unsupported_version);
    EXPECT_EQ(map.error().message(),
              "unsupported fst map version " + std::to_string(version) + " (expected 1, 2 or 3)");
  }
  // Root address 0 is only valid for the 36-byte map of the empty key alone.
  EXPECT_EQ(open_error(with_root(good, 0)),
            "fst map root address is 0 but the map is 48 bytes long");
  Bytes v2 = as_old_version(good, 2);
  store_u64(v2, v2.size() - 8, 0);
  EXPECT_THAT(open_error(v2), HasSubstr("root address is 0"));

  Bytes flipped = good;
  flipped[20] ^= 1;
  EXPECT_EQ(open_error(flipped), "fst map checksum mismatch");
  Bytes appended = good;
  appended.push_back(0);
  EXPECT_EQ(open_error(appended), "fst map checksum mismatch");
}

TEST(Corruption, WildRootAddresses) {
  const Bytes good = golden_bytes("communes");
  const uint64_t node_end = good.size() - 20;
  for (uint64_t root : {uint64_t{1}, uint64_t{15}, node_end, node_end + 3, uint64_t{good.size()},
                        uint64_t{1} << 63, ~uint64_t{0}}) {
    EXPECT_EQ(open_error(with_root(good, root)),
              "fst map root address " + std::to_string(root) + " is outside the node area");
  }
  // Inside the node area an address decodes as a valid sub-map or is refused.
  const Entries listed = golden_entries("communes");
  for (uint64_t root = 16; root < node_end; ++root) {
    open_and_exercise(with_root(good, root), listed);
  }
}

TEST(Corruption, WildNodeFields) {
  // ab_ac: many-node at 23 (bytes 16..23), root one-node at 27 whose delta
  // byte (25) is 1 and pack byte (26) is 0x11.
  const Bytes good = golden_bytes("ab_ac");
  for (int delta = 2; delta < 256; ++delta) {
    Bytes b = good;
    b[25] = static_cast<uint8_t>(delta);
    reseal(b);
    if (delta >= 9) {  // 24 - 9 = 15: below the node area
      EXPECT_EQ(open_error(b), "fst node at byte 27 points outside the map") << delta;
    } else {  // inside the area: valid or refused
      open_and_exercise(b, golden_entries("ab_ac"));
    }
  }
  const std::tuple<size_t, uint8_t, const char*> cases[] = {
      {26, 0x91, "fst node at byte 27 has an invalid pack size"},   // delta width 9
      {26, 0x19, "fst node at byte 27 has an invalid pack size"},   // output width 9
      {26, 0x81, "fst node at byte 27 points outside the map"},     // 8-byte delta, no room
      {22, 0x1F, "fst node at byte 23 has an invalid pack size"},
      {18, 0x05, "fst node at byte 23 points outside the map"},     // delta 5 from 16
      {21, 0x63, "fst node at byte 23 has transitions out of order"},  // inputs c, c
      {20, 0x61, "fst node at byte 23 has transitions out of order"},  // inputs b, a
      {23, 0x1F, "fst node at byte 23 points outside the map"},     // 31 transitions
      {23, 0xC0, "fst node at byte 21 points outside the map"},  // one-next: target 21
  };
  for (const auto& [at, value, error] : cases) {
    Bytes b = good;
    b[at] = value;
    reseal(b);
    EXPECT_EQ(open_error(b), error) << at;
  }
}

TEST(Corruption, InconsistentIndexTable) {
  const Bytes good = golden_bytes("wide_256");
  const uint64_t root = read_u64(good, good.size() - 12);
  // The root has 256 transitions: state byte 0x00, count byte 0x01, pack
  // byte, then the 256-byte index just below the pack byte.
  ASSERT_EQ(good[root], 0x00);
  ASSERT_EQ(good[root - 1], 0x01);
  for (uint64_t b : {uint64_t{0}, uint64_t{'x'}, uint64_t{255}}) {
    Bytes damaged = good;
    damaged[root - 2 - 256 + b] ^= 0x01;
    reseal(damaged);
    EXPECT_EQ(open_error(damaged),
              "fst node at byte " + std::to_string(root) + " has an inconsistent index table");
  }
}

// Every truncation and several flips of every byte of the small maps: with
// the stored checksum each is refused; re-sealed (or as version 2) only the
// node checks stand between the damage and the reader.
TEST(Corruption, EveryTruncationAndByteFlipOfSmallMaps) {
  for (const char* name : {"empty", "only_empty_key", "a_1", "ab_ac", "communes", "street_keys",
                           "wide_40", "rand_small"}) {
    const Bytes good = golden_bytes(name);
    const Entries listed = golden_entries(name);
    const auto check = [&](Bytes b, size_t keep_v2_from) {
      EXPECT_FALSE(open_and_exercise(b, listed)) << name;
      reseal(b);
      open_and_exercise(b, listed);
      if (b.size() >= keep_v2_from) open_and_exercise(as_old_version(b, 2), listed);
    };
    for (size_t n = 0; n < good.size(); ++n) {
      check(Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(n)), 12);
      for (uint8_t mask : {0x01, 0x10, 0x80, 0xFF}) {
        Bytes b = good;
        b[n] ^= mask;
        check(b, n + 5);  // flips in the checksum itself change nothing in version 2
      }
    }
  }
}

TEST(Corruption, ChangedOutputWithoutChecksumReadsConsistently) {
  Bytes v2 = as_old_version(golden_bytes("a_1"), 2);
  v2[16] = 42;  // the output of 'a'
  std::optional<Map> map = open_or_fail(v2);
  ASSERT_TRUE(map);
  EXPECT_EQ(map->get("a"), 42u);
  auto s = map->stream();
  EXPECT_EQ(collect(s), (Entries{{"a", 42}}));
}

}  // namespace
}  // namespace vorlane::fst
