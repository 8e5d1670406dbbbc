#include "vorlane/de/variants.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/le_bytes.h"

namespace vorlane::de {
namespace {

using enum Effect;
using Rows = std::vector<QueryVariant>;

// Loaded as a sheet's rules are, so pairs come in the loader's order.
std::unique_ptr<rules::Rules> german_rules() {
  const struct {
    uint8_t kind;
    std::string a, b;
  } entries[] = {{18, "frankfurt", "frankfurt am main"}, {19, "bhf", "bahnhof"},
                 {21, "deutschland", ""}, {22, "kreis", ""}};
  std::string section = testing::le(std::size(entries), 4);
  for (const auto& e : entries) {
    section += char(e.kind) + testing::le(e.a.size(), 2) + e.a + testing::le(e.b.size(), 2) + e.b;
  }
  return rules::from_section_owned(ByteView(std::string_view(section)));
}

class GermanVariants : public ::testing::Test {
 protected:
  std::unique_ptr<rules::Rules> rules_ = german_rules();
  rules::CurrentRulesScope scope_{*rules_};
};

QueryVariant row(std::string text, Effects effects, std::optional<std::string> commune = {}) {
  return {std::move(text), std::move(effects), std::move(commune)};
}

std::optional<QueryVariant> find_row(std::string_view query, std::string_view text) {
  for (QueryVariant& r : query_variants(query)) {
    if (r.text == text) return std::move(r);
  }
  return std::nullopt;
}

TEST_F(GermanVariants, CompleteRowListsPinTheOrder) {
  const std::string ffm = "frankfurt am main";
  const std::pair<std::string, Rows> cases[] = {
      {"Hauptstraße 5, 10115 Berlin",
       {row("Hauptstraße 5, 10115 Berlin", {}), row("hauptstraße 5 10115 berlin", {}),
        row("hauptstrasse 5 10115 berlin", {Umlaut})}},
      {"z Hd Empfang, Berlin, Hauptstr 5, 10115",
       {row("z Hd Empfang, Berlin, Hauptstr 5, 10115", {}),
        row("Berlin, Hauptstr 5, 10115", {RecipientPrefix}),
        row("Hauptstr 5, 10115 Berlin", {RecipientPrefix, LocalityFirst}),
        row("z hd empfang berlin hauptstr 5 10115", {}),
        row("berlin hauptstr 5 10115", {RecipientPrefix}),
        row("hauptstr 5 10115 berlin", {RecipientPrefix, LocalityFirst})}},
      {"Zeil 1, D-60311 Frankfurt",
       {row("Zeil 1, D-60311 Frankfurt", {}), row("zeil 1 d60311 frankfurt", {}),
        row("zeil 1 60311 frankfurt", {CountryPostcode}),
        row("zeil 1 60311 frankfurt am main", {CountryPostcode, CityAlias}, ffm)}},
      // Row 0 is the letter range's left-endpoint seed; that seed repeats row
      // 0 later, yet its rewrites still come out.
      {"Hauptstrasse 12a-14b d 10115 Berlin Deutschland",
       {row("hauptstrasse 12a d 10115 berlin deutschland", {HouseRange}),
        row("hauptstrasse 12a 14b d 10115 berlin deutschland", {HouseRange}),
        row("hauptstraße 12a 14b d 10115 berlin deutschland", {HouseRange, Umlaut}),
        row("hauptstrasse 12a 14b 10115 berlin deutschland", {HouseRange, CountryPostcode}),
        row("hauptstraße 12a 14b 10115 berlin deutschland", {HouseRange, CountryPostcode, Umlaut}),
        row("hauptstrasse 12a 14b 10115 berlin", {HouseRange, CountryPostcode, Country}),
        row("hauptstraße 12a 14b 10115 berlin", {HouseRange, CountryPostcode, Country, Umlaut}),
        row("hauptstraße 12a d 10115 berlin deutschland", {HouseRange, Umlaut}),
        row("hauptstrasse 12a 10115 berlin deutschland", {HouseRange, CountryPostcode}),
        row("hauptstraße 12a 10115 berlin deutschland", {HouseRange, CountryPostcode, Umlaut}),
        row("hauptstrasse 12a 10115 berlin", {HouseRange, CountryPostcode, Country}),
        row("hauptstraße 12a 10115 berlin", {HouseRange, CountryPostcode, Country, Umlaut})}},
  };
  for (const auto& [query, rows] : cases) EXPECT_EQ(query_variants(query), rows) << query;
}

TEST_F(GermanVariants, EachStepFiresOnItsShapeOnly) {
  const std::string ffm = "frankfurt am main";
  const struct {
    std::string query, text;
    std::optional<QueryVariant> expected;  // none: no such row
  } cases[] = {
      {"d 10115 berlin", "10115 berlin", row("10115 berlin", {CountryPostcode})},
      {"d10115 berlin", "10115 berlin", row("10115 berlin", {CountryPostcode})},
      {"d 1011 berlin", "1011 berlin", {}},
      {"hauptstr 5 10115 berlin deutschland", "hauptstr 5 10115 berlin",
       row("hauptstr 5 10115 berlin", {Country})},
      {"deutschland", "", row("", {Country})},
      {"musterweg 3 12345 musterstadt kreis x", "musterweg 3 12345 musterstadt",
       row("musterweg 3 12345 musterstadt", {AdminTail})},
      {"am markt pl 3", "am markt platz 3", row("am markt platz 3", {Abbrev})},
      {"str 5", "strasse 5", row("strasse 5", {Abbrev, Umlaut})},
      {"musterweg g 5a", "musterweg gasse 5a", row("musterweg gasse 5a", {Abbrev})},
      {"bhf pl 3", "bahnhof pl 3", row("bahnhof pl 3", {Abbrev})},
      {"bhf pl 3", "bhf platz 3", {}},
      {"frankfurt", ffm, row(ffm, {CityAlias}, ffm)},
      {"zeil 1 4770 frankfurt", "zeil 1 04770 frankfurt am main",
       row("zeil 1 04770 frankfurt am main", {CityAlias, Postcode}, ffm)},
      {"hauptstr 5 1067 dresden", "hauptstr 5 01067 dresden",
       row("hauptstr 5 01067 dresden", {Postcode})},
      {"muellerstrasse 5", "mullerstraße 5", row("mullerstraße 5", {Umlaut})},
      {"aee", "ae", row("ae", {Umlaut})},
      {"sss", "ßs", row("ßs", {Umlaut})},
      {"Bahnhofstr 3 61462 Bad Homburg vor der Hohe", "bahnhofstr 3 61462 bad homburg v d hohe",
       row("bahnhofstr 3 61462 bad homburg v d hohe", {OfficialCommuneAlias},
           "bad homburg v d hohe")},
      {"Musterweg 12\xe2\x80\x93" "14 61462 Bad Homburg vor der Hohe",
       "musterweg 12 61462 bad homburg vor der hohe",
       row("musterweg 12 61462 bad homburg vor der hohe", {HouseRange})},
      {"Musterweg 12\xe2\x80\x93" "14 67059 Ludwigshafen Rhein",
       "musterweg 12 67059 ludwigshafen rhein", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(find_row(c.query, c.text), c.expected) << c.query;
  for (const char* single : {"de berlin", "hauptstr 5 d", "kreis musterweg 3", "pl a",
                             "hauptstr", "1067 dresden", "hauptstr 1067 5"}) {
    EXPECT_EQ(query_variants(single).size(), 1u) << single;
  }
}

TEST_F(GermanVariants, CutToTheFirstTwentyDistinctTexts) {
  const Rows rows =
      query_variants("Muellerstraße 3 1067 Berlin Bhf D 10115 Frankfurt Deutschland");
  ASSERT_EQ(rows.size(), kMaxQueryVariants);
  EXPECT_EQ(rows.back().text, "mullerstraße 3 1067 berlin bahnhof 10115 frankfurt am main");
  EXPECT_EQ(rows.back().effects, (Effects{CountryPostcode, Country, Abbrev, CityAlias, Umlaut}));
  std::vector<std::string> texts;
  for (const QueryVariant& r : rows) texts.push_back(r.text);
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end());
}

TEST(QueryVariants, EmptyQueryUnderBuiltinRulesIsOneRow) {
  EXPECT_EQ(query_variants(""), Rows{row("", {})});
  const Rows rows = query_variants("Bahnhofstr 3 61462 Bad Homburg vor der Hohe");
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[2].text, "bahnhofstr 3 61462 bad homburg v d hohe");
}

TEST(QueryVariants, LaterDuplicateIsDroppedWithItsCommune) {
  Rows rows;
  SeenTexts seen;
  push_unique(rows, seen, row("a", {}));
  push_unique(rows, seen, row("a", {CityAlias}, "x"));
  EXPECT_EQ(rows, Rows{row("a", {})});
}

TEST(QueryVariants, LudwigshafenGateNeedsTheStrictShape) {
  const std::pair<const char*, bool> cases[] = {
      {"Hauptstr 5, 67059 Ludwigshafen Rhein", true},
      {"Hauptstr 5a, 67059 Ludwigshafen Rhein", false},
      {"Hauptstr 05, 67059 Ludwigshafen Rhein", false},
      {" Hauptstr 5, 67059 Ludwigshafen Rhein", false},
      {"Hauptstr 5, 67059 Ludwigshafen Rhein,", false},
      {"Hauptstr 12-14, 67059 Ludwigshafen Rhein", false},
      {"Hauptstr 5; 67059 Ludwigshafen Rhein", false},
  };
  for (const auto& [query, open] : cases) {
    const Rows rows = query_variants(query);
    const bool official = std::any_of(rows.begin(), rows.end(), [](const QueryVariant& r) {
      return std::find(r.effects.begin(), r.effects.end(), OfficialCommuneAlias) != r.effects.end();
    });
    EXPECT_EQ(official, open) << query;
  }
}

TEST(QueryVariants, SmallQueryTests) {
  using Alias = std::optional<std::pair<std::string, std::string_view>>;
  EXPECT_EQ(expand_de_official_commune_alias("hauptstrasse 5 67059 ludwigshafen rhein"),
            Alias({"hauptstrasse 5 67059 ludwigshafen am rhein", "ludwigshafen am rhein"}));
  for (const char* none : {"ludwigshafen rhein", "hauptstrasse 5 ludwigshafen rhein",
                           "hauptstrasse 5 6705 ludwigshafen rhein",
                           "10115 xbad homburg vor der hohe"}) {
    EXPECT_EQ(expand_de_official_commune_alias(none), std::nullopt) << none;
  }
  const std::pair<const char*, std::optional<std::string_view>> frankfurt[] = {
      {"Zeil 1, Frankfurt a. M.", "frankfurt am main"}, {"Frankfurt (Main)", "frankfurt am main"},
      {"Frankfurt am Main, Frankfurt/Oder", "frankfurt oder"}, {"frankfurtoder", {}},
      {"Frankfurt Odertal", {}},
  };
  for (const auto& [query, out] : frankfurt) EXPECT_EQ(frankfurt_qualifier(query), out) << query;
  const std::pair<const char*, bool> eligible[] = {
      {"Hauptstr 5, 10115 Berlin", true}, {"", true}, {"Hauptstr 12a-14b", false},
      {"Hauptstr 12-14", false}, {"Hauptstr 12/2", false}, {"Hauptstr 12 bis 14", false},
  };
  for (const auto& [query, out] : eligible) EXPECT_EQ(postal_tail_eligible(query), out) << query;
}

}  // namespace
}  // namespace vorlane::de
