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

std::string data_text(const std::string& relative) {
  const std::vector<uint8_t> bytes =
      vorlane::testing::read_file(vorlane::testing::data_path(relative));
  return std::string(bytes.begin(), bytes.end());
}

testing::SheetBuilder fixture_builder() {
  testing::SheetBuilder b;
  b.communes.clear();
  b.commune_postings.clear();
  std::istringstream lines(data_text("places/sheet.tsv"));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    if (fields.size() == 5 && fields[0] == "commune") {
      b.communes.push_back({fields[1], static_cast<uint32_t>(std::stoul(fields[2])),
                            std::stod(fields[3]), std::stod(fields[4])});
    } else if (fields.size() == 2 && fields[0] == "postings") {
      std::istringstream ids(fields[1]);
      for (uint32_t id; ids >> id;) b.commune_postings.push_back(id);
    } else {
      ADD_FAILURE() << "unexpected fixture line: " << line;
    }
  }
  b.commune_name_fst = data_text("places/communes.fst");
  // A sheet needs a street; these tests never read it.
  testing::TestStreet street;
  street.name = "rue test";
  street.lat = 48.0;
  street.lon = 2.0;
  street.houses = {testing::TestHouse{1, 0, 48.0, 2.0, 0}};
  b.streets = {street};
  return b;
}

Ids range(uint32_t first, uint32_t count) {
  Ids out(count);
  std::iota(out.begin(), out.end(), first);
  return out;
}

class Places : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sheet_ = fixture_builder().open().release();
    testing::SheetBuilder italian = fixture_builder();
    italian.meta = {{"country", "it"}};
    italian_ = italian.open().release();
  }
  static void TearDownTestSuite() {
    delete sheet_;
    delete italian_;
  }
  static const Index& sheet() { return *sheet_; }
  static const Index& italian() { return *italian_; }

 private:
  static inline Index* sheet_ = nullptr;
  static inline Index* italian_ = nullptr;
};

TEST_F(Places, RawLookupsReadPostingsRunsAsStored) {
  ASSERT_EQ(sheet().commune_count(), 77u);
  struct Case {
    const char* key;
    Ids ids;
  };
  const Case by_name[] = {
      {"brive", {6, 7}},
      {"ghost town", {25, 9999}},  // ids are not checked against the table
      {"mureaux", {}},             // no retries
      {"broken run", {}},          // run starts past commune_postings
      {"broken tail", {}},         // run ends past it
      {"", {}},
  };
  for (const Case& c : by_name) {
    EXPECT_THAT(sheet().communes_by_name_raw(c.key), ElementsAreArray(c.ids)) << c.key;
  }
  const Case by_prefix[] = {
      {"zzz", range(26, 40)},  // 30 of "zzz a", cut after 10 of "zzz b"
      {"zzz b", range(56, 20)},
      {"gho", {25, 9999}},
      {"broken", {}},  // both runs skipped
      {"paris 1", {12, 10}},
      {"zzzz", {}},
  };
  for (const Case& c : by_prefix) {
    EXPECT_THAT(sheet().communes_by_prefix_raw(c.key), ElementsAreArray(c.ids)) << c.key;
  }
  EXPECT_EQ(sheet().communes_by_prefix_raw("").size(), kCommunePrefixLimit);
}

TEST_F(Places, CommunesByNameRetries) {
  struct Case {
    const char* name;
    Ids ids;
  };
  const Case cases[] = {
      {"brive", {6, 7}},
      {"den haag", {0}},         // built-in commune alias
      {"mureaux", {1}},          // fourth article form, "les mureaux"
      {"garde", {3}},            // "la garde" comes before "le garde"
      {"lhay les roses", {2}},   // glued article
      {"l2 rivieres", {}},       // a digit after the "l" is no glued article
      {"мкр солнечный", {5}},    // district word dropped
      {"мкр", {}},               // nothing left without district words
      {"unknown town", {}},      // nothing dropped
      {"borgo", {18}},           // an ordinary name outside Italy
      {"via", {19}},
  };
  for (const Case& c : cases) {
    EXPECT_THAT(sheet().communes_by_name(c.name), ElementsAreArray(c.ids)) << c.name;
  }
}

TEST_F(Places, ItalianStreetTypeWordsAreNoCommunes) {
  struct Case {
    const char* text;
    bool street_type_only;
    Ids by_name;
  };
  const Case cases[] = {
      {"via", true, {}},
      {" via\t", true, {}},  // trimmed of white space
      {"borgo", true, {}},
      {"piazzale", true, {}},
      {"via roma", false, {20}},
      {"brive", false, {6, 7}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(italian().it_street_type_only(c.text), c.street_type_only) << c.text;
    EXPECT_FALSE(sheet().it_street_type_only(c.text)) << c.text;
    EXPECT_THAT(italian().communes_by_name(c.text), ElementsAreArray(c.by_name)) << c.text;
  }
  EXPECT_TRUE(italian().communes_by_prefix("borgo").empty());
  EXPECT_TRUE(italian().communes_by_prefix("via").empty());
  EXPECT_THAT(italian().communes_by_prefix("via r"), ElementsAreArray(Ids{20}));
  EXPECT_THAT(sheet().communes_by_prefix("via"), ElementsAreArray(Ids{19, 20}));
}

TEST_F(Places, CommunesByPrefixNeedsThreeAlphanumericCharacters) {
  struct Case {
    const char* text;
    Ids ids;
  };
  const Case cases[] = {
      {"", {}},
      {"br", {}},
      {"br ", {}},  // a space is not alphanumeric
      {"bri", {6, 7}},
      {"mure", {1}},             // article form "les mure"
      {"den haag", {0}},         // alias
      {"zzz", range(26, 40)},    // capped
      {"nowhere ", {22}},
  };
  for (const Case& c : cases) {
    EXPECT_THAT(sheet().communes_by_prefix(c.text), ElementsAreArray(c.ids)) << c.text;
  }
}

TEST_F(Places, AliasIsAppliedBeforeArticleRetries) {
  rules::Rules rules = rules::defaults();
  rules.add(1, "mureaux town", "mureaux");
  const rules::CurrentRulesScope scope(rules);
  EXPECT_THAT(sheet().communes_by_name("mureaux town"), ElementsAreArray(Ids{1}));
  EXPECT_THAT(sheet().communes_by_prefix("mureaux town"), ElementsAreArray(Ids{1}));
}

double mean(std::initializer_list<std::pair<double, double>> value_weight) {
  double sum = 0.0, weights = 0.0;
  for (const auto& [v, w] : value_weight) {
    sum += v * w;
    weights += w;
  }
  return sum / weights;
}

TEST_F(Places, ResolvePlace) {
  struct Case {
    const char* name;
    const char* place_name;
    double lat, lon;
    int32_t weight;
    bool exact;
  };
  const Case cases[] = {
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
  };
  for (const Case& c : cases) {
    const std::optional<Place> p = sheet().resolve_place(c.name);
    ASSERT_TRUE(p.has_value()) << c.name;
    EXPECT_EQ(p->name, c.place_name) << c.name;
    EXPECT_NEAR(p->lat, c.lat, 1e-9) << c.name;
    EXPECT_NEAR(p->lon, c.lon, 1e-9) << c.name;
    EXPECT_EQ(p->weight, c.weight) << c.name;
    EXPECT_EQ(p->exact, c.exact) << c.name;
  }
  for (const char* none : {"", "unknown", "zz", "broken run"}) {
    EXPECT_FALSE(sheet().resolve_place(none).has_value()) << none;
  }
}

TEST_F(Places, ResolvePlaceTranslit) {
  struct Case {
    const char* name;
    std::optional<const char*> place_name;
  };
  const Case cases[] = {
      {"brive", "brive"},
      {"москва", "moskva"},        // South Slavic Latin
      {"щукино", "shchukino"},     // English-style Latin ("ščukino" is no key)
      {"sochi", "сочи"},           // Latin to Cyrillic
      {"unknown", std::nullopt},
      {"null island", std::nullopt},  // resolves to (0, 0), which counts as none
  };
  for (const Case& c : cases) {
    const std::optional<Place> p = sheet().resolve_place_translit(c.name);
    ASSERT_EQ(p.has_value(), c.place_name.has_value()) << c.name;
    if (p) {
      EXPECT_EQ(p->name, *c.place_name) << c.name;
    }
  }
  const std::optional<Place> null_island = sheet().resolve_place("null island");
  ASSERT_TRUE(null_island.has_value());
  EXPECT_EQ(null_island->lat, 0.0);
}

TEST_F(Places, ExpandCityAliases) {
  struct Case {
    const char* text;
    const char* expanded;
  };
  // Built-in pairs; "санкт петербург" is a commune key, "москва" is not.
  const Case cases[] = {
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
  for (const Case& c : cases) {
    EXPECT_EQ(sheet().expand_city_aliases(c.text), c.expanded) << c.text;
  }
}

}  // namespace
}  // namespace vorlane::query
