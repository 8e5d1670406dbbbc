// Golden maps written by the reference builder, read through every public
// operation and compared with a brute-force model over their key lists; the
// same maps rewritten as format versions 2 and 1 must read identically.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "fst_test_util.h"
#include "vorlane/fst/node.h"

namespace vorlane::fst {
namespace {

using namespace vorlane::fst::testing;

// Version 1 has no index tables. In the golden maps only a root carries one
// (wide_256): it sits between the root's inputs and its pack byte, and only
// the footer refers to the root, so dropping its 256 bytes moves the root
// alone. A table anywhere else would make the rewritten map read wrong.
Bytes as_version_1(const Bytes& v3) {
  Bytes b = as_old_version(v3, 1);
  if (b.size() < 36) return b;
  const uint64_t root = read_u64(b, b.size() - 8);
  internal::Node node;
  const internal::Image image{b.data(), b.size() - 16, 2};
  if (internal::decode_node(image, root, node) != internal::NodeFault::none || !node.has_index) {
    return b;
  }
  b.erase(b.begin() + static_cast<ptrdiff_t>(node.inputs_end),
          b.begin() + static_cast<ptrdiff_t>(node.inputs_end + internal::kIndexSize));
  store_u64(b, b.size() - 8, root - internal::kIndexSize);
  return b;
}

// Keys near the listed ones: extensions, truncations, neighbours.
std::vector<std::string> probe_keys(const Entries& entries, size_t samples) {
  std::vector<std::string> out = {"", std::string(1, '\0'), "\xff", "\xff\xff\xff\xff", "a"};
  const size_t step = std::max<size_t>(1, entries.size() / std::max<size_t>(1, samples));
  for (size_t i = 0; i < entries.size(); i += step) {
    const std::string& k = entries[i].first;
    out.insert(out.end(), {k, k + '\0', k + '\xff'});
    if (k.empty()) continue;
    std::string bumped = k;
    bumped.back() = static_cast<char>(static_cast<uint8_t>(bumped.back()) + 1);
    out.insert(out.end(), {k.substr(0, k.size() - 1), k.substr(0, 1), bumped});
  }
  return out;
}

void check_map(const Map& map, const Entries& entries) {
  ASSERT_EQ(map.size(), entries.size());
  const std::map<std::string, uint64_t> model(entries.begin(), entries.end());
  for (const std::string& k : probe_keys(entries, entries.size())) {
    const auto it = model.find(k);
    ASSERT_EQ(map.get(k), it == model.end() ? std::nullopt : std::optional(it->second))
        << printable(k);
  }
  auto all = map.stream();
  EXPECT_EQ(collect(all), entries);
  EXPECT_FALSE(all.next()) << "a finished stream stays finished";

  // Range bounds: open, empty, near listed keys. Fewer samples on big maps
  // keep the quadratic pair count bounded.
  const size_t samples = std::clamp<size_t>(40000 / std::max<size_t>(1, entries.size()), 2, 8);
  std::vector<Bound> bounds = {std::nullopt};
  for (std::string& k : probe_keys(entries, samples)) bounds.emplace_back(std::move(k));
  for (const Bound& ge : bounds) {
    for (const Bound& lt : bounds) {
      auto s = map.range(opt_view(ge), opt_view(lt));
      ASSERT_EQ(collect(s), brute_force(entries, ge, lt))
          << "ge=" << (ge ? printable(*ge) : "none") << " lt=" << (lt ? printable(*lt) : "none");
    }
  }

  // Prefix search, alone and (short prefixes) combined with a range.
  std::set<std::string> prefixes = {"", std::string(1, '\0'), "\xff", "zz"};
  for (const std::string& k : probe_keys(entries, 20)) {
    for (size_t n = 0; n <= k.size(); ++n) prefixes.insert(k.substr(0, n));
  }
  const size_t step = std::max<size_t>(1, bounds.size() / 6);
  for (const std::string& p : prefixes) {
    auto starts = [&p](const std::string& k) { return k.starts_with(p); };
    auto s = map.search(StartsWith(Str(p)));
    ASSERT_EQ(collect(s), brute_force(entries, std::nullopt, std::nullopt, starts)) << printable(p);
    for (size_t i = 0; p.size() <= 2 && i < bounds.size(); i += step) {
      for (size_t j = 0; j < bounds.size(); j += step) {
        auto r = map.search(StartsWith(Str(p)), opt_view(bounds[i]), opt_view(bounds[j]));
        ASSERT_EQ(collect(r), brute_force(entries, bounds[i], bounds[j], starts)) << printable(p);
      }
    }
  }
}

class GoldenMap : public ::testing::TestWithParam<const char*> {};

TEST_P(GoldenMap, ReadsAlikeInEveryVersion) {
  const Bytes v3 = golden_bytes(GetParam());
  const Entries entries = golden_entries(GetParam());
  for (uint64_t version : {3, 2, 1}) {
    SCOPED_TRACE(version);
    const Bytes b = version == 3 ? v3 : version == 2 ? as_old_version(v3, 2) : as_version_1(v3);
    if (b.size() < 36) {
      // The empty map (35 bytes) and the empty key alone (32): valid in
      // version 2, but below the 36 bytes that any version must have.
      EXPECT_FALSE(Map::open(view(b)));
      continue;
    }
    std::optional<Map> map = open_or_fail(b);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->version(), version);
    check_map(*map, entries);
  }
}

INSTANTIATE_TEST_SUITE_P(All, GoldenMap,
                         ::testing::Values("empty", "only_empty_key", "a_1", "ab_ac", "communes",
                                           "street_keys", "wide_256", "wide_40", "rand_small",
                                           "rand_mid", "rand_bytes", "rand_big"),
                         [](const auto& info) { return std::string(info.param); });

TEST(GoldenMap, IndexedNodeDeclaredVersion1IsRefused) {
  // The index table then sits where the inputs are expected.
  EXPECT_FALSE(Map::open(view(as_old_version(golden_bytes("wide_256"), 1))));
}

}  // namespace
}  // namespace vorlane::fst
