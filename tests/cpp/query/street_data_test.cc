// The street-data stages on a small Peruvian-style sheet (dictionaries from
// tests/data/fields) and on its twin without the structured-field rules,
// with the matching core scripted: the street-type variants, the geographic
// and comma-inserted retries with their accept test, the leading-field
// drop, the title route and the city-less street lookup.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/field_retries.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"
#include "vorlane/query/stages.h"
#include "vorlane/query/street_data.h"

namespace vorlane::query {
namespace {

using Rows = std::vector<ScoredHit>;
using testing::house;
using testing::street;

std::unique_ptr<Index> sheet(bool with_field_rules, std::vector<std::string> suffixes = {}) {
  testing::SheetBuilder b;
  b.communes = {{"Miraflores", 5, 0, 0}, {"Lima", 50, 0, 0}, {"San Isidro", 5, 0, 0}};
  b.commune_postings = {0, 1, 2};
  b.commune_name_fst = testing::data_text("fields/communes.fst");
  b.street_key_fst = testing::data_text("fields/street_keys.fst");
  b.streets = {street("Avenida Larco", {house(5), house(7)}),
               street("Av General San Martin", {house(5)}), street("Calle Mayor", {house(12)}),
               street("Jiron Puno", {house(5)}), street("Avenida Larco", {house(5)})};
  b.streets[3].commune = 1;
  b.streets[4].commune = 2;
  b.suffixes = std::move(suffixes);
  for (const char* type : {"av", "avenida", "jiron", "calle"}) b.rules.push_back({16, type, ""});
  b.rules.push_back({13, "unused", ""});  // keeps the twin's rules section non-empty
  if (with_field_rules) {
    b.rules.insert(b.rules.end(),
                   {{23, "enabled", "1"}, {23, "forms", "comma"}, {23, "postal_digits", "5"},
                    {23, "postal_split", "2"}, {23, "regions", "lima"},
                    {23, "street_titles", "general coronel doctor"},
                    {23, "street_title_aliases", "gral:general dr:doctor"},
                    {24, "av", "avenida"}, {24, "1ro", "1"}, {24, "av", "av de"},
                    {25, "edificio central", ""}});
  }
  return b.open();
}

const Index& pe() {
  static const std::unique_ptr<Index> idx = sheet(true);
  return *idx;
}
const Index& twin() {
  static const std::unique_ptr<Index> idx = sheet(false);
  return *idx;
}

// A scripted core answer: a house hit on a matched street.
ScoredHit house_row(std::string number, std::string commune,
                    std::vector<std::string_view> flags = {"street_exact"},
                    std::string_view precision = kPrecisionHouse) {
  Hit hit;
  hit.precision = precision;
  hit.street = "Scripted";
  hit.housenumber = std::move(number);
  hit.commune = std::move(commune);
  hit.flags = std::move(flags);
  hit.confidence = 0.9f;
  return {hit, FeatureVector{}};
}

// The first stage under the index's rules, every core request answered by
// `answer` from the request's key.
Rows run(const Index& index, std::string_view q,
         std::function<Rows(const std::string&)> answer = {}) {
  testing::ScopedCoreScript script([&](const testing::CoreRequest& r) {
    return answer ? answer(r.key) : Rows{};
  });
  rules::CurrentRulesScope scope(index.active_rules());
  return query_feats_street_data(index, q, 5);
}

std::string top(const Rows& rows) {
  if (rows.empty()) return "";
  const Hit& h = rows.front().first;
  return h.street + " " + h.housenumber.value_or("-") + " " + h.commune;
}

TEST(StreetData, VariantsFoundInTheRequestedCommune) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Av Larco 5, Miraflores", "Avenida Larco 5 Miraflores"},
      {"Av Larco, 5, San Isidro", "Avenida Larco 5 San Isidro"},
      {"Av Larco 7, Miraflores", "Avenida Larco 7 Miraflores"},
      {"Av Larco 9, Miraflores", ""},   // no such house
      {"Av Larco 5, Lima", ""},         // a dictionary value past the street table
      {"Av Larco 5, Miraflores, Lima, Peru", "Avenida Larco 5 Miraflores"},
  };
  for (const auto& [q, answer] : cases) {
    EXPECT_EQ(top(run(pe(), q)), answer) << q;
    EXPECT_EQ(top(run(twin(), q)), "") << q;
  }
  const auto suffixed = sheet(true, {"", "b"});
  EXPECT_EQ(house_suffix_id(*suffixed, "12"), 0u);
  EXPECT_EQ(house_suffix_id(*suffixed, "12B"), 2u);
  EXPECT_EQ(house_suffix_id(*suffixed, "12c"), 0u);
}

TEST(StreetData, GeographicRetry) {
  rules::CurrentRulesScope scope(pe().active_rules());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Av. Arequipa, 123 Miraflores, Lima", "Av. Arequipa, 123, miraflores"},
      {"Av. Arequipa 123, Miraflores", "Av. Arequipa, 123, miraflores"},
      {"Av. Arequipa, n\u00BA 12b - Miraflores", "Av. Arequipa, 12b, miraflores"},
      {"Av. Arequipa, 123 Miraflores, San Isidro, 12345", ""},
      {"Av. Arequipa, 123 Miraflores, San Isidro, Lima, 12345", "Av. Arequipa, 123, san isidro"},
      {"Av. Arequipa, 123 Miraflores, San Isidro", "Av. Arequipa, 123, san isidro"},
      {"Av. Arequipa, 123 Miraflores, Lima, San Isidro", ""},
      {"Av. Arequipa, 123 Miraflores, Lima, Miraflores", "Av. Arequipa, 123, miraflores"},
      {"Av. Arequipa, 123 Lima Miraflores", ""},
      {"Av. Arequipa, 123456 Miraflores", ""},
      {"Av. Arequipa, 12bis Miraflores", ""},
      {"123, 5 Miraflores", ""},
  };
  for (const auto& [q, text] : cases) {
    const auto retry = geographic_field_retry(pe(), q);
    EXPECT_EQ(retry ? retry->text : "", text) << q;
    EXPECT_FALSE(geographic_field_retry(twin(), q)) << q;
  }
}

TEST(StreetData, CommaInsertion) {
  rules::CurrentRulesScope scope(pe().active_rules());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Calle Mayor 12 Miraflores Lima 12345", "Calle Mayor 12, Miraflores Lima, 12345"},
      {"Calle Mayor 12 Miraflores Lima", "Calle Mayor 12, Miraflores, Lima"},
      {"Calle Mayor n\u00BA 12 Miraflores Lima", "Calle Mayor, n\u00BA 12, Miraflores, Lima"},
      {"Calle Mayor 12 Miraflores", "Calle Mayor 12, Miraflores"},
      {"Calle Mayor 12 Miraflores 12345 54321", ""},
      {"Calle Mayor", ""},
      {"Calle 12 Miraflores", ""},  // a lone street-type word is no street
      {"Calle Menor 12 Miraflores", ""},
  };
  for (const auto& [q, joined] : cases) EXPECT_EQ(comma_fields(pe(), q).value_or(""), joined) << q;
}

TEST(StreetData, RetriesMustPassTheAcceptTest) {
  // Answers only the geographic retry text's key.
  const auto answering = [](Rows rows) {
    return [rows](const std::string& key) {
      return key == prepared_query_key("Av. Arequipa, 123, miraflores") ? rows : Rows{};
    };
  };
  // No rewrite of the core stage reaches that key from this query.
  const std::string q = "Av. Arequipa, 123 Zona Miraflores";
  EXPECT_EQ(top(run(pe(), q, answering({house_row("123", "Miraflores")}))),
            "Scripted 123 Miraflores");
  EXPECT_EQ(top(run(pe(), q, answering({house_row("123a", "Miraflores", {"street_fuzzy"})}))),
            "Scripted 123a Miraflores");
  for (const Rows& rejected : {Rows{house_row("123", "Miraflores", {"commune_exact"})},
                               Rows{house_row("124", "Miraflores")},
                               Rows{house_row("123", "San Isidro")},
                               Rows{house_row("123", "Miraflores", {"street_exact"}, kPrecisionInterp)}}) {
    EXPECT_EQ(top(run(pe(), q, answering(rejected))), "");
  }
  EXPECT_EQ(top(run(twin(), q, answering({house_row("123", "Miraflores")}))), "");
}

TEST(StreetData, LeadingFieldTitleRouteAndCitylessStreet) {
  // A street answer without features, which no dropping rewrite keeps.
  const auto arequipa = [](const std::string& key) {
    return key == prepared_query_key("Av. Arequipa 123, Lima")
               ? Rows{house_row("1", "Lima", {}, kPrecisionStreet)}
               : Rows{};
  };
  EXPECT_EQ(top(run(pe(), "Edificio Central, Av. Arequipa 123, Lima", arequipa)), "Scripted 1 Lima");
  EXPECT_EQ(top(run(pe(), "Edificio Centrales, Av. Arequipa 123, Lima", arequipa)), "");
  EXPECT_EQ(top(run(twin(), "Edificio Central, Av. Arequipa 123, Lima", arequipa)), "");

  EXPECT_EQ(top(run(pe(), "Av San Martin 5, Miraflores")), "Av General San Martin 5 Miraflores");
  EXPECT_EQ(top(run(pe(), "Av Gral San Martin 5, San Isidro")), "");
  EXPECT_EQ(top(run(twin(), "Av San Martin 5, Miraflores")), "");

  EXPECT_EQ(top(run(pe(), "Jiron Puno, 5")), "Jiron Puno 5 Lima");
  EXPECT_EQ(top(run(pe(), "Avenida Larco, n\u00BA 5")), "Avenida Larco 5 Miraflores");
  EXPECT_EQ(top(run(twin(), "Jiron Puno, 5")), "");
}

TEST(StreetData, MemoChangesNoAnswer) {
  // Any key with "arequipa" answers a house in Miraflores.
  const auto arequipa = [](const std::string& key) {
    return key.find("arequipa") != std::string::npos ? Rows{house_row("123", "Miraflores")}
                                                     : Rows{};
  };
  const std::vector<std::string> queries = {
      "Av. Arequipa, 123 Zona Miraflores", "Edificio Central, Av. Arequipa 123, Lima",
      "Calle Mayor n\u00BA 12 Miraflores Lima", "Av Larco 5, Miraflores, Lima, Peru",
      "Zq, 12, Blorf, Miraflores, Lima", "Av San Martin 5, Miraflores"};
  for (const Index* index : {&pe(), &twin()}) {
    for (const std::string& q : queries) {
      const bool was = testing::set_street_data_memo(false);
      const uint64_t before = testing::core_runs();
      const Rows plain = run(*index, q, arequipa);
      const uint64_t plain_runs = testing::core_runs() - before;
      testing::set_street_data_memo(true);
      const Rows remembered = run(*index, q, arequipa);
      const uint64_t remembered_runs = testing::core_runs() - before - plain_runs;
      testing::set_street_data_memo(was);
      EXPECT_EQ(top(plain), top(remembered)) << q;
      EXPECT_EQ(plain.size(), remembered.size()) << q;
      EXPECT_LE(remembered_runs, plain_runs) << q;
    }
  }
}

}  // namespace
}  // namespace vorlane::query
