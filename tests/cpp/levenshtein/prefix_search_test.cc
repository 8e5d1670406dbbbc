// Fuzzy prefix search over street-key dictionaries written by two
// independent fst writers, against a brute-force filter over their key
// lists: same keys, same values, same ascending order.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "lev_test_util.h"
#include "vorlane/fst/map.h"
#include "vorlane/levenshtein/prefix_search.h"

namespace vorlane::levenshtein {
namespace {

using testing::Entries;
using testing::has_prefix_within;
using testing::read_entries;

struct Dictionary {
  std::vector<uint8_t> bytes;
  Entries entries;
  std::optional<fst::Map> map;
};

// Maps are large enough to share between tests; they are read-only.
const Dictionary& dictionary(const std::string& name) {
  static std::map<std::string, std::unique_ptr<Dictionary>> loaded;
  std::unique_ptr<Dictionary>& d = loaded[name];
  if (!d) {
    d = std::make_unique<Dictionary>();
    d->bytes = vorlane::testing::read_file(vorlane::testing::data_path(name + ".fst"));
    d->entries = read_entries(name + ".tsv");
    Result<fst::Map> map = fst::Map::open(ByteView(d->bytes.data(), d->bytes.size()));
    EXPECT_TRUE(map.has_value()) << name << ": " << map.error().message();
    if (map) d->map.emplace(std::move(map).value());
  }
  return *d;
}

std::shared_ptr<const Levenshtein> automaton(std::string_view text, uint32_t dist) {
  Result<Levenshtein> lev = Levenshtein::build(text, dist);
  if (!lev) return nullptr;
  return std::make_shared<Levenshtein>(std::move(lev).value());
}

using StreetHit = std::tuple<std::string, std::string, uint64_t>;  // street key, code, id

std::vector<StreetHit> search_street_keys(const fst::Map& map, std::string_view text,
                                          uint32_t dist) {
  std::vector<StreetHit> out;
  StreetKeyPrefixSearch s(map, automaton(text, dist));
  while (s.next()) {
    out.emplace_back(std::string(s.street_key()), std::string(s.commune_code()), s.street_id());
  }
  return out;
}

const char* const kMaps[] = {"fst-golden/street_keys", "lev/street_keys"};

struct Query {
  const char* text;
  uint32_t dist;
};
const Query kQueries[] = {
    {"hauptstr", 1}, {"hauptstr", 2},   {"rue de la paix", 1}, {"grande rue", 2},
    {"bahnhof", 1},  {"ulica lenina", 1}, {"улица", 1},        {"uber", 1},
    {"ßü", 1},       {"straße", 2},     {"zzzzzz", 1},         {"h", 1},
};

// The raw prefix stream yields every key with a prefix within the distance;
// the street-key form keeps those with a separator and splits them.
TEST(FuzzyPrefixSearch, MatchesBruteForceInKeyOrder) {
  for (const char* name : kMaps) {
    const Dictionary& d = dictionary(name);
    ASSERT_TRUE(d.map.has_value());
    for (const Query& q : kQueries) {
      SCOPED_TRACE(std::string(name) + ": " + q.text + "/" + std::to_string(q.dist));
      Entries expected;
      std::vector<StreetHit> expected_streets;
      for (const auto& [key, value] : d.entries) {
        if (!has_prefix_within(key, q.text, q.dist)) continue;
        expected.emplace_back(key, value);
        const size_t sep = key.find('\x1F');
        if (sep != std::string::npos) {
          expected_streets.emplace_back(key.substr(0, sep), key.substr(sep + 1), value);
        }
      }
      Entries got;
      PrefixStream s = fuzzy_prefix_search(*d.map, automaton(q.text, q.dist));
      while (s.next()) got.emplace_back(std::string(s.key_string()), s.value());
      EXPECT_EQ(got, expected);
      EXPECT_EQ(search_street_keys(*d.map, q.text, q.dist), expected_streets);
    }
  }
}

TEST(FuzzyPrefixSearch, HauptstrAtDistanceOne) {
  const Dictionary& d = dictionary("lev/street_keys");
  ASSERT_TRUE(d.map.has_value());
  std::set<std::string> streets;
  std::set<std::string> codes_of_hauptstr;
  for (const auto& [street, code, id] : search_street_keys(*d.map, "hauptstr", 1)) {
    streets.insert(street);
    if (street == "hauptstr") codes_of_hauptstr.insert(code);
  }
  // A prefix within one edit is enough: a dropped, swapped-in or extra
  // letter anywhere before the rest of the key ("hauptstadtring" begins
  // with "hauptst").
  for (const char* found : {"hauptstr", "hauptstrasse", "hauptstraße", "hauptstrasse nord",
                            "haupstrasse", "hauptst", "hauptsr", "haubtstr", "auptstr",
                            "xhauptstr", "hauptstadtring"}) {
    EXPECT_EQ(streets.count(found), 1u) << found;
  }
  for (const char* missed : {"hautpstrasse", "hauptweg", "hauptplatz", "haupt", "bahnhofstr"}) {
    EXPECT_EQ(streets.count(missed), 0u) << missed;
  }
  // Keys without a separator ("hauptstr", "hauptstr 1") are not streets; a
  // second separator stays in the commune code.
  EXPECT_EQ(codes_of_hauptstr,
            (std::set<std::string>{"1\x1F" "2", "2a004", "69123", "75056"}));
}

TEST(FuzzyPrefixSearch, TextWithinTheDistanceOfNothingYieldsEveryKey) {
  const Dictionary& d = dictionary("lev/street_keys");
  ASSERT_TRUE(d.map.has_value());
  size_t count = 0;
  PrefixStream s = fuzzy_prefix_search(*d.map, automaton("ab", 2));
  while (s.next()) ++count;
  EXPECT_EQ(count, d.entries.size());
}

}  // namespace
}  // namespace vorlane::levenshtein
