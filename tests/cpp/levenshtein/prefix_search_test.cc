// Fuzzy prefix search over street-key dictionaries written by two
// independent fst writers, against a brute-force filter over their key
// lists: same keys, same values, same ascending order.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "lev_test_util.h"
#include "support/key_list.h"
#include "support/test_data.h"
#include "vorlane/fst/map.h"
#include "vorlane/levenshtein/prefix_search.h"

namespace vorlane::levenshtein {
namespace {

using testing::chars_of;
using testing::edit_distance;
using Entries = vorlane::testing::KeyList;
using StreetHit = std::tuple<std::string, std::string, uint64_t>;  // street key, code, id

// True when some prefix of `key` ending at a character boundary (the empty
// one and the whole key included) is within `dist` of `text`.
bool has_prefix_within(std::string_view key, std::string_view text, uint32_t dist) {
  const std::u32string k = chars_of(key);
  for (size_t len = 0; len <= k.size(); ++len) {
    if (edit_distance(k.substr(0, len), chars_of(text)) <= dist) return true;
  }
  return false;
}

std::shared_ptr<const Levenshtein> automaton(std::string_view text, uint32_t dist) {
  return std::make_shared<Levenshtein>(std::move(Levenshtein::build(text, dist)).value());
}

// The raw prefix stream yields every key with a prefix within the distance
// ("h" at 1: all of them); the street-key form keeps those with a separator
// and splits them at the first (a second one stays in the commune code).
TEST(FuzzyPrefixSearch, MatchesBruteForceInKeyOrder) {
  const std::pair<const char*, uint32_t> queries[] = {
      {"hauptstr", 1}, {"hauptstr", 2},     {"rue de la paix", 1}, {"grande rue", 2},
      {"bahnhof", 1},  {"ulica lenina", 1}, {"улица", 1},          {"uber", 1},
      {"ßü", 1},       {"straße", 2},       {"zzzzzz", 1},         {"h", 1},
  };
  for (const std::string name : {"fst-golden/street_keys", "lev/street_keys"}) {
    const std::vector<uint8_t> bytes =
        vorlane::testing::read_file(vorlane::testing::data_path(name + ".fst"));
    const Entries entries = vorlane::testing::read_key_list(name + ".tsv");
    const Result<fst::Map> map = fst::Map::open(ByteView(bytes.data(), bytes.size()));
    ASSERT_TRUE(map.has_value()) << name << ": " << map.error().message();
    for (const auto& [text, dist] : queries) {
      SCOPED_TRACE(name + ": " + text + "/" + std::to_string(dist));
      Entries expected;
      std::vector<StreetHit> expected_streets;
      for (const auto& [key, value] : entries) {
        if (!has_prefix_within(key, text, dist)) continue;
        expected.emplace_back(key, value);
        const size_t sep = key.find('\x1F');
        if (sep != std::string::npos) {
          expected_streets.emplace_back(key.substr(0, sep), key.substr(sep + 1), value);
        }
      }
      Entries got;
      PrefixStream s = fuzzy_prefix_search(*map, automaton(text, dist));
      while (s.next()) got.emplace_back(std::string(s.key_string()), s.value());
      EXPECT_EQ(got, expected);
      std::vector<StreetHit> streets;
      StreetKeyPrefixSearch st(*map, automaton(text, dist));
      while (st.next()) {
        streets.emplace_back(std::string(st.street_key()), std::string(st.commune_code()),
                             st.street_id());
      }
      EXPECT_EQ(streets, expected_streets);
    }
  }
}

}  // namespace
}  // namespace vorlane::levenshtein
