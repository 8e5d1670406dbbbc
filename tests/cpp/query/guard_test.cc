// The foreign-city guard over a small gazetteer: which top hits survive a
// query that names cities, states, streets and districts.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/guard.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

std::unique_ptr<Index> gazetteer_sheet() {
  testing::SheetBuilder b;
  b.streets = {testing::street("rue x", {testing::house(1)})};
  const std::pair<const char*, const char*> settings[] = {
      {"street_markers", "rue street"},
      {"district_markers", "quartier"},
      {"regions", "OR MA ME NY WA STRASSE"},
      {"city:salem", "OR MA STRASSE"},
      {"city:portland", "OR ME"},
      {"city:new york", "NY"},
      {"city:york", "PA"},
      {"city:seattle", "WA"},
      {"city:washington", "DC PA"},
      {"state:washington", "WA"},
      {"state:maine", "ME"},
      {"alias:pdx", "portland"},
  };
  for (const auto& [key, value] : settings) b.rules.push_back({26, key, value});
  return b.open();
}

std::vector<ScoredHit> answer(std::string_view precision, std::string commune) {
  Hit hit;
  hit.precision = precision;
  hit.commune = std::move(commune);
  return {{hit, FeatureVector{}}};
}

TEST(ForeignCityGuard, KeepsOrWithdrawsTheWholeAnswer) {
  const auto sheet = gazetteer_sheet();
  ASSERT_NE(sheet, nullptr);
  struct Case {
    const char* query;
    const char* top_commune;
    bool kept;
  };
  const Case cases[] = {
      // One city and one of its states named: only that city passes.
      {"1 main st, salem OR", "portland", false},
      {"1 main st, salem OR", "Salem", true},
      // Several states possible: not decisive.
      {"1 main st, salem", "portland", true},
      // A state named only by its name, which is no city.
      {"1 main st, salem maine", "portland", true},
      // A region code inside a street name names no state.
      {"rue or 5, salem", "portland", true},
      // A city inside a street name is no named city; the top hit in it is
      // withdrawn, one elsewhere kept.
      {"rue salem 5", "salem", false},
      {"rue salem 5", "portland", true},
      // A spaced hyphen ends the street name; others do not.
      {"rue x - salem", "salem", true},
      {"rue x-salem", "salem", false},
      {"- rue x salem", "salem", false},
      {"rue x salem -", "salem", false},
      // The shorter city inside a longer one is dropped.
      {"5 elm, new york NY", "york", false},
      {"5 elm, new york NY", "New York", true},
      // Aliases, in the query and for the top hit's commune.
      {"1 main, pdx OR", "salem", false},
      {"1 main, pdx OR", "PDX", true},
      // A city that is a state name qualifies the city before it.
      {"1 main, seattle washington", "tacoma", false},
      {"1 main, washington", "tacoma", true},
      // A district name holding a city, followed by a region code.
      {"quartier salem OR 75", "portland", false},
      {"quartier salem", "salem", false},
      // No gazetteer city named, but the top hit's town is.
      {"5 elm, ogdenville", "Ogdenville", false},
      {"5 elm, ogdenville", "shelbyville", true},
      // Region codes compare in full upper case ("ß" is "SS").
      {"1 main, salem straße", "portland", false},
  };
  for (const Case& c : cases) {
    const auto out = foreign_city_guard(*sheet, c.query, answer(kPrecisionStreet, c.top_commune));
    EXPECT_EQ(!out.empty(), c.kept) << c.query << " / " << c.top_commune;
  }
}

TEST(ForeignCityGuard, LeavesUnjudgedAnswersAlone) {
  const auto sheet = gazetteer_sheet();
  const auto plain = testing::one_street_sheet();
  EXPECT_TRUE(foreign_city_guard(*sheet, "salem OR", {}).empty());
  EXPECT_EQ(foreign_city_guard(*sheet, "1 main, salem OR", answer(kPrecisionCity, "x")).size(), 1u);
  EXPECT_EQ(foreign_city_guard(*plain, "1 main, salem OR", answer(kPrecisionHouse, "x")).size(),
            1u);
  EXPECT_TRUE(
      foreign_city_guard(*sheet, "1 main, salem OR", answer(kPrecisionHouse, "x")).empty());
}

}  // namespace
}  // namespace vorlane::query
