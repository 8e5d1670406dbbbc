// Commune lookups, place resolution and city-alias rewriting over the
// commune fixture in tests/data/places (see make_places.py there: commune
// ids are the line numbers of sheet.tsv, from 0).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using ::testing::ElementsAreArray;
using Ids = std::vector<uint32_t>;
using IdCase = std::pair<const char*, Ids>;

std::unique_ptr<Index> open_fixture(std::vector<std::pair<std::string, std::string>> meta) {
  testing::SheetBuilder b = testing::places_fixture();
  b.meta = std::move(meta);
  return b.open();
}

const Index& sheet() {
  static const std::unique_ptr<Index> idx = open_fixture({});
  return *idx;
}

const Index& italian() {
  static const std::unique_ptr<Index> idx = open_fixture({{"country", "it"}});
  return *idx;
}

Ids range(uint32_t first, uint32_t count) {
  Ids out(count);
  std::iota(out.begin(), out.end(), first);
  return out;
}

TEST(Places, RawLookupsReadPostingsRunsAsStored) {
  ASSERT_EQ(sheet().commune_count(), 77u);
  const IdCase by_name[] = {
      {"brive", {6, 7}},
      {"ghost town", {25, 9999}},  // ids are not checked against the table
      {"mureaux", {}},             // no retries
      {"broken run", {}},          // run starts past commune_postings
      {"broken tail", {}},         // run ends past it
      {"", {}},
  };
  for (const auto& [key, ids] : by_name) {
    EXPECT_THAT(sheet().communes_by_name_raw(key), ElementsAreArray(ids)) << key;
  }
  const IdCase by_prefix[] = {
      {"zzz", range(26, 40)},  // 30 of "zzz a", cut after 10 of "zzz b"
      {"zzz b", range(56, 20)},
      {"gho", {25, 9999}},
      {"broken", {}},  // both runs skipped
      {"paris 1", {12, 10}},
      {"zzzz", {}},
  };
  for (const auto& [key, ids] : by_prefix) {
    EXPECT_THAT(sheet().communes_by_prefix_raw(key), ElementsAreArray(ids)) << key;
  }
  EXPECT_EQ(sheet().communes_by_prefix_raw("").size(), kCommunePrefixLimit);
}

TEST(Places, CommunesByNameAndPrefixRetries) {
  const IdCase by_name[] = {
      {"den haag", {0}},        // built-in commune alias
      {"mureaux", {1}},         // fourth article form, "les mureaux"
      {"garde", {3}},           // "la garde" comes before "le garde"
      {"lhay les roses", {2}},  // glued article
      {"l2 rivieres", {}},      // a digit after the "l" is no glued article
      {"мкр солнечный", {5}},   // district word dropped
      {"мкр", {}},              // nothing left without district words
      {"unknown town", {}},     // nothing dropped
      {"borgo", {18}},          // an ordinary name outside Italy
  };
  for (const auto& [name, ids] : by_name) {
    EXPECT_THAT(sheet().communes_by_name(name), ElementsAreArray(ids)) << name;
  }
  const IdCase by_prefix[] = {
      {"br", {}},
      {"br ", {}},  // a space is not alphanumeric
      {"bri", {6, 7}},
      {"mure", {1}},           // article form "les mure"
      {"den haag", {0}},       // alias
      {"zzz", range(26, 40)},  // capped
      {"nowhere ", {22}},
  };
  for (const auto& [text, ids] : by_prefix) {
    EXPECT_THAT(sheet().communes_by_prefix(text), ElementsAreArray(ids)) << text;
  }
  rules::Rules rules = rules::defaults();
  rules.add(1, "mureaux town", "mureaux");
  const rules::CurrentRulesScope scope(rules);  // an alias applies before article retries
  EXPECT_THAT(sheet().communes_by_name("mureaux town"), ElementsAreArray(Ids{1}));
  EXPECT_THAT(sheet().communes_by_prefix("mureaux town"), ElementsAreArray(Ids{1}));
}

TEST(Places, ItalianStreetTypeWordsAreNoCommunes) {
  const struct {
    const char* text;
    bool street_type_only;
    Ids by_name;
  } cases[] = {
      {"via", true, {}},
      {" via\t", true, {}},  // trimmed of white space
      {"borgo", true, {}},
      {"piazzale", true, {}},
      {"via roma", false, {20}},
      {"brive", false, {6, 7}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(italian().it_street_type_only(c.text), c.street_type_only) << c.text;
    EXPECT_FALSE(sheet().it_street_type_only(c.text)) << c.text;
    EXPECT_THAT(italian().communes_by_name(c.text), ElementsAreArray(c.by_name)) << c.text;
  }
  EXPECT_THAT(sheet().communes_by_name("via"), ElementsAreArray(Ids{19}));
  EXPECT_TRUE(italian().communes_by_prefix("borgo").empty());
  EXPECT_TRUE(italian().communes_by_prefix("via").empty());
  EXPECT_THAT(italian().communes_by_prefix("via r"), ElementsAreArray(Ids{20}));
  EXPECT_THAT(sheet().communes_by_prefix("via"), ElementsAreArray(Ids{19, 20}));
}

double mean(std::initializer_list<std::pair<double, double>> value_weight) {
  double sum = 0.0, weights = 0.0;
  for (const auto& [v, w] : value_weight) {
    sum += v * w;
    weights += w;
  }
  return sum / weights;
}

TEST(Places, ResolvePlace) {
  const struct {
    const char* name;
    const char* place_name;
    double lat, lon;
    int32_t weight;
    bool exact;
  } cases[] = {
      // The twin 100 km away does not count.
      {"brive", "brive", 45.15, 1.53, 5, true},
      // Twins 10 km apart are averaged; weight 0 counts as 1.
      {"auray", "auray", mean({{47.67, 4}, {47.76, 1}}), -2.98, 5, true},
      // No commune "paris": the arrondissements around the heaviest one;
      // "paris plage", 200 km away, does not count.
      {"paris", "paris", mean({{48.86, 10}, {48.87, 20}, {48.84, 30}}),
       mean({{2.34, 10}, {2.34, 20}, {2.30, 30}}), 60, false},
      // The named commune has no coordinates: the longer names decide.
      {"nowhere", "nowhere", 10.0, 10.0, 3, false},
      // An id past the commune table is ignored, not weighed as empty.
      {"ghost town", "ghost town", 30.0, 30.0, 1, true},
      {"mureaux", "les mureaux", 48.99, 1.91, 5, true},
      {"null island", "null island", 0.0, 0.0, 2, true},  // twins at (±1e-7, 0)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Place> p = sheet().resolve_place(c.name);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->name, c.place_name);
    EXPECT_NEAR(p->lat, c.lat, 1e-9);
    EXPECT_NEAR(p->lon, c.lon, 1e-9);
    EXPECT_EQ(std::make_pair(p->weight, p->exact), std::make_pair(c.weight, c.exact));
  }
  for (const char* none : {"", "unknown", "zz", "broken run"}) {
    EXPECT_FALSE(sheet().resolve_place(none).has_value()) << none;
  }
}

TEST(Places, ResolvePlaceTranslit) {
  const std::pair<const char*, const char*> cases[] = {
      {"brive", "brive"},
      {"москва", "moskva"},     // South Slavic Latin
      {"щукино", "shchukino"},  // English-style Latin ("ščukino" is no key)
      {"sochi", "сочи"},        // Latin to Cyrillic
      {"unknown", nullptr},
      {"null island", nullptr},  // resolves to (0, 0), which counts as none
  };
  for (const auto& [name, place_name] : cases) {
    const std::optional<Place> p = sheet().resolve_place_translit(name);
    EXPECT_EQ(p ? p->name : "-", place_name ? place_name : "-") << name;
  }
}

TEST(Places, ExpandCityAliases) {
  // Built-in pairs; "санкт петербург" is a commune key, "москва" is not.
  const std::pair<const char*, const char*> cases[] = {
      {"питер", "санкт петербург"},
      {"невский 1 питер", "невский 1 санкт петербург"},
      {"невский питер 1", "невский санкт петербург 1"},
      {"питер невский 1", "питер невский 1"},  // a leading alias stays
      {"тверская 1 мск", "тверская 1 мск"},    // target is no commune
      // A trailing alias is replaced alone, even when it also stands inside.
      {"x спб y спб", "x спб y санкт петербург"},
      // Padded occurrences do not overlap: the shared space is used once.
      {"a питер питер b", "a санкт петербург питер b"},
      {"", ""},
  };
  for (const auto& [text, expanded] : cases) {
    EXPECT_EQ(sheet().expand_city_aliases(text), expanded) << text;
  }
}

}  // namespace
}  // namespace vorlane::query
