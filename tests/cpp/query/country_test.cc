// Country steps: French ordinals and arrondissement words, the Spanish
// requested commune and particle street key, the Italian province cut, and
// the driver's branches over a scripted matching core.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/core_stage.h"
#include "vorlane/query/country_driver.h"
#include "vorlane/query/fr_arrondissement.h"
#include "vorlane/query/spine.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using Rows = std::vector<ScoredHit>;
using Rules = std::vector<testing::SheetBuilder::RulesEntry>;

// "calle" is a street type; an alias target with a digit sets the rewrite
// flag.
const Rules kSpanishRules = {{16, "calle", ""}, {2, "zzq", "zzq 1"}};

std::unique_ptr<Index> sheet(std::vector<std::pair<std::string, std::string>> meta,
                             Rules rules = kSpanishRules) {
  testing::SheetBuilder b;
  b.streets = {testing::street("calle del paz", {testing::house(1)})};
  b.meta = std::move(meta);
  b.rules = std::move(rules);
  return b.open();
}

TEST(France, OrdinalNumbers) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"3eme", 3}, {"1er", 1}, {"11e", 11}, {"01e", 1}, {"2er", 2},    {"11", std::nullopt},
      {"1ere", std::nullopt},  {"123e", std::nullopt}, {"e", std::nullopt}, {"xie", std::nullopt},
  };
  for (const auto& [text, n] : cases) EXPECT_EQ(fr_ordinal_number(text), n) << text;
}

TEST(France, ArrondissementWords) {
  const std::pair<const char*, const char*> cases[] = {
      {"rue x 5 paris xie arrondissement", "rue x 5 paris 11e arrondissement"},
      {"paris 1 arrondissement", "paris 1 arrondissement"},
      {"paris 2er arrondissement", "paris 2e arrondissement"},
      {"lyon ier", "lyon 1er"},
      {"11e arrondissement de paris rue x 5", "paris 11e arrondissement rue x 5"},
      {"rue x 3eme arrondissement lyon", "rue x lyon 3e arrondissement"},
      {"paris 11e rue x 5", "rue x 5 paris 11e arrondissement"},
      {"paris 11eme arrondissement rue x", "rue x paris 11e arrondissement"},
      {"lyon 01e rue x", "rue x lyon 01e arrondissement"},
      {"rue x 5 xie arrondissement", "rue x 5 xie arrondissement"},
  };
  for (const auto& [in, out] : cases) {
    std::string key = in;
    EXPECT_EQ(fr_rewrite_arrondissement_words(key), std::string_view(in) != out) << in;
    EXPECT_EQ(key, out) << in;
  }
}

TEST(France, CommuneConstraint) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"rue x 5 75011 paris", "paris 11e arrondissement"},
      {"rue x 75116", "paris 16e arrondissement"},
      {"rue x 5 paris 1er arrondissement", "paris 1er arrondissement"},
      {"rue x 5 13016 marseille 16e", "marseille 16e arrondissement"},
      {"rue x 5 paris 25e", std::nullopt},
      {"rue x 5 75021", std::nullopt},
  };
  for (const auto& [key, commune] : cases) {
    const FrCommuneConstraint c = fr_commune_constraint(key);
    EXPECT_EQ(c.commune, commune) << key;
    EXPECT_FALSE(c.conflicting) << key;
  }
  EXPECT_TRUE(fr_commune_constraint("rue x 5 75011 paris 3e").conflicting);
}

TEST(Spain, RequestedCommuneAndParticleStreetKey) {
  const auto es = sheet({{"country", "es"}});
  rules::CurrentRulesScope rules(es->active_rules());
  const std::pair<const char*, const char*> communes[] = {
      {"calle mayor 3, tel 91, madrid, spain", "madrid"},
      {"calle mayor 3 madrid", "madrid"},
      {"calle mayor 3, madrid, 28013", "madrid"},
      {"calle mayor 3 Madrid España", "madrid"},
      {"calle mayor, 28013", "calle mayor"},
      {"calle mayor", ""},
  };
  for (const auto& [q, commune] : communes) EXPECT_EQ(es_requested_commune(q), commune) << q;

  const std::tuple<const char*, bool, const char*> keys[] = {
      {"calle de los reyes 4, madrid", true, "reyes"},
      {"calle de los reyes 4", false, "reyes 4"},
      {"Calle del Paz", false, "paz"},
      {"calle de", true, ""},
      {"calle dels horts", true, "horts"},
      {"avenida de la paz 5", true, "avenida de la paz"},
  };
  for (const auto& [q, cut, key] : keys) EXPECT_EQ(es_particle_street_key(q, cut), key) << q;
}

TEST(Italy, ProvinceCodesAfterACommune) {
  static const std::unique_ptr<Index> it = testing::places_fixture().open();
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"via roma 1 brive MI", "via roma 1 brive  "},
      {"via roma 1 brive (MI)", "via roma 1 brive  "},
      {"via roma 1 brive (MI), 20100", "via roma 1 brive   20100"},
      {"via roma 1 brive Mi", std::nullopt},
      {"MI via roma 1", std::nullopt},
      {"via roma 1 nowhere-at-all MI", std::nullopt},
  };
  for (const auto& [q, cut] : cases) EXPECT_EQ(it_cut_province_codes(*it, q), cut) << q;
}

ScoredHit house_row(std::string street, std::string commune) {
  Hit hit;
  hit.precision = kPrecisionHouse;
  hit.street = std::move(street);
  hit.commune = std::move(commune);
  hit.housenumber = "5";
  hit.confidence = 0.9f;
  return {hit, FeatureVector{}};
}

std::vector<std::string> request_keys(const testing::ScopedCoreScript& script) {
  std::vector<std::string> keys;
  for (const testing::CoreRequest& r : script.requests()) keys.push_back(r.key);
  return keys;
}

const Index& places_sheet(std::string country) {
  static std::map<std::string, std::unique_ptr<Index>> sheets;
  auto& index = sheets[country];
  if (!index) {
    testing::SheetBuilder b = testing::places_fixture();
    b.meta = {{"country", country}};
    index = b.open();
  }
  return *index;
}

// The French and Italian steps inside the core stage, over the places
// fixture's communes ("paris 1er arrondissement", "paris 2e
// arrondissement", "brive") and a core that knows one street.
TEST(CoreStage, FrenchAndItalianSteps) {
  struct Case {
    const char* country;
    const char* q;
    size_t requests;
    std::string answer;  // "precision commune" per row
  };
  const Case cases[] = {
      {"fr", "75001 paris", 0, "city paris 1er arrondissement"},
      {"fr", "75001", 0, "city paris 1er arrondissement"},
      {"fr", "75001 paris 2e", 0, ""},
      {"fr", "rue x 5 75001 paris 2e", 0, ""},
      {"fr", "rue x 5 75001 paris", 1, "house Paris 1er Arrondissement"},
      {"fr", "rue x 5 75002 paris", 1, ""},
      {"zz", "rue x 5 75002 paris", 1, "house Paris 1er Arrondissement; house Paris 2e"},
      {"it", "aa bb brive", 3, "city brive"},
      {"it", "aa 5 brive", 3, ""},
  };
  for (const Case& c : cases) {
    testing::ScopedCoreScript script([](const testing::CoreRequest& r) {
      if (r.key != "rue x 5 75001 paris" && r.key != "rue x 5 75002 paris") return Rows{};
      return Rows{house_row("Rue X", "Paris 1er Arrondissement"), house_row("Rue X", "Paris 2e")};
    });
    const Rows answer = query_feats_d(places_sheet(c.country), c.q, 1, false, {});
    std::string summary;
    for (const auto& [hit, features] : answer) {
      summary += (summary.empty() ? "" : "; ") + std::string(hit.precision) + " " + hit.commune;
    }
    EXPECT_EQ(summary, c.answer) << c.country << " " << c.q;
    EXPECT_EQ(script.requests().size(), c.requests) << c.country << " " << c.q;
  }
}

// Sheets that are not exactly "es", "it" or "de" take the default path: the
// same requests, the same answer as the core stage.
TEST(CountryDriver, OtherCountriesAnswerAsTheCoreStage) {
  const std::vector<std::pair<std::string, std::string>> metas[] = {
      {{"country", "ES"}}, {{"country", ""}}, {},
      {{"country", "xx"}, {"country", "es"}}};
  const auto script = [](const testing::CoreRequest& r) {
    return r.key == "calle de la paz" ? Rows{house_row("Calle de la Paz", "Toledo")} : Rows{};
  };
  for (const auto& meta : metas) {
    const auto index = sheet(meta);
    rules::CurrentRulesScope rules(index->active_rules());
    testing::ScopedCoreScript direct(script);
    const Rows expected = query_feats_d(*index, "calle de la paz", 10, false, {});
    testing::ScopedCoreScript driven(script);
    const Rows answer = drive_country_branches(*index, "calle de la paz", 10);
    EXPECT_EQ(request_keys(driven), request_keys(direct)) << meta.size();
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0].first.street, expected.at(0).first.street);
  }
}

// A variant accepted inside the loop closes the memo on its way out: a
// scope left open would serve this query's answers to the next one.
TEST(CountryDriver, SpanishVariantAnswersAndLeavesTheMemoOff) {
  const auto es = sheet({{"country", "es"}});
  rules::CurrentRulesScope rules(es->active_rules());
  testing::ScopedCoreScript script([](const testing::CoreRequest& r) {
    return r.key == "calle paz madrid" ? Rows{house_row("Calle Paz", "Madrid")} : Rows{};
  });
  const Rows answer = drive_country_branches(*es, "calle de la paz, madrid", 10);
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0].first.street, "Calle Paz");
  EXPECT_FALSE(testing::memo_size());
  EXPECT_EQ(request_keys(script).back(), "calle paz madrid");

  // Without a digit, a city or a rules target that brings one, no variant.
  const auto plain = sheet({{"country", "es"}}, {{16, "calle", ""}});
  rules::CurrentRulesScope plain_rules(plain->active_rules());
  EXPECT_TRUE(drive_country_branches(*plain, "calle de la paz, madrid", 10).empty());
  EXPECT_FALSE(rewrite_target_flag(*plain));
  EXPECT_TRUE(rewrite_target_flag(*es));
}

}  // namespace
}  // namespace vorlane::query
