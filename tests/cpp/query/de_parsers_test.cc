#include "vorlane/query/de_parsers.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_set>

#include "vorlane/de/cleanups.h"
#include "vorlane/de/seeds.h"
#include "vorlane/de/variants.h"

namespace vorlane::query {
namespace {

using de::Effect;

TEST(AnnotateDeEffects, AddsEachFlagOnceInOrderOfFirstAppearance) {
  std::vector<ScoredHit> hits(2);
  hits[0].first.flags = {"street_exact"};
  hits[1].first.flags = {"de_postcode"};
  const Effect effects[] = {Effect::CountryPostcode, Effect::Country, Effect::Postcode};
  annotate_de_effects(hits, effects);
  EXPECT_EQ(hits[0].first.flags,
            (std::vector<std::string_view>{"street_exact", "de_country", "de_postcode"}));
  EXPECT_EQ(hits[1].first.flags, (std::vector<std::string_view>{"de_postcode", "de_country"}));
  annotate_de_effects(hits, {});
  EXPECT_EQ(hits[1].first.flags.size(), 2u);
}

TEST(DeParsers, CompactHousePair) {
  using Spec = DeCompactHousePairSpec;
  const std::pair<std::string, std::optional<Spec>> cases[] = {
      {"Hauptstraße 12-14 10115 Berlin",
       Spec{"Hauptstraße 12 10115", "berlin", 10115, 12, 14, Effect::HouseRange}},
      {"Hauptstraße 12/14, 10115 Berlin",
       Spec{"Hauptstraße 12 10115", "berlin", 10115, 12, 14, Effect::HouseSlash}},
      {"Weg 07\xe2\x80\x94" "09 10115 Berlin",  // em dash; leading zero kept as typed
       Spec{"Weg 07 10115", "berlin", 10115, 7, 9, Effect::HouseRange}},
      {"Hauptstraße 12 - 14 10115 Berlin", {}},
      {"Hauptstraße 12-14 10115 Berlin 10117 Berlin", {}},
      {"Hauptstraße 12-14 101150 Berlin", {}},
      {"Am Markt 3-5 10115", {}},
      {"Weg 12-12 10115 Berlin", {}}, {"Weg 14-12 10115 Berlin", {}}, {"Weg 0-4 10115 Berlin", {}},
      {"Weg 1-2-3 10115 Berlin", {}}, {"Weg 12345-14 10115 Berlin", {}},
      {"Weg 12-14,, 10115 Berlin", {}},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(de_compact_house_pair_spec(in), out) << in;
}

TEST(DeParsers, StreetLocalityQualifierAndStrictTypo) {
  using Qualifier = DeStreetLocalityQualifierSpec;
  const std::pair<std::string, std::optional<Qualifier>> qualifier[] = {
      {"Hauptstr 5A, 10115 Berlin Mitte", Qualifier{"hauptstrasse", "berlin mitte", "5a", "10115"}},
      {" Hauptstr 5, 10115 Berlin", {}}, {"Hauptstr 5, 10115 Berlin, Deutschland", {}},
      {"Hauptstr 012, 10115 Berlin", {}}, {"Hauptstr 12ab, 10115 Berlin", {}},
      {"Hauptstr 12ä, 10115 Berlin", {}}, {"Hauptstr 12-14, 10115 Berlin", {}},
      {"Hauptstr 12345, 10115 Berlin", {}}, {"Hauptstr 2, 10115 Berlin 2", {}},
      {"Hauptstr 5, 10115 Berlin" + std::string(233, 'x'), {}},  // 257 bytes
      {"Hauptstr 5, 10115 Berlin" + std::string(232, 'x'),
       Qualifier{"hauptstrasse", "berlin" + std::string(232, 'x'), "5", "10115"}},
  };
  for (const auto& [in, out] : qualifier) {
    EXPECT_EQ(de_street_locality_qualifier_spec(in), out) << in;
  }

  EXPECT_EQ(de_strict_source_street_typo_spec("Hauptstr 5a, 10115 Berlin"), std::nullopt);
  EXPECT_EQ(de_strict_source_street_typo_spec("Hauptstr 5, 10115 Berlin"),
            (DeStrictSourceStreetTypoSpec{"hauptstrasse", "berlin", "10115", 5, 10115}));
}

TEST(DeParsers, CommaPostcodeHouseRescueQuery) {
  using Rescue = DeCommaPostcodeHouseRescueQuery;
  const std::pair<std::string, std::optional<Rescue>> cases[] = {
      {"Hauptstr 5, 10115 Berlin, Deutschland", Rescue{"Hauptstr 5 10115", 10115, "berlin"}},
      {" Hauptstr 5 , 10115 Bad  Saarow", Rescue{"Hauptstr 5 10115", 10115, "bad saarow"}},
      {"Hauptstr 5, 10115 Berlin, Polen", {}}, {"Hauptstr 5, 10115 Berlin,", {}},
      {"Hauptstr 5, 10115 Berlin, Germany,", {}}, {"Hauptstr 5/7, 10115 Berlin", {}},
      {"Hauptstr 5 - 7, 10115 Berlin", {}}, {"Hauptstr, 10115 Berlin", {}},
      {"Hauptstr 5, 10115", {}}, {"Hauptstr 5a-7b, 10115 Berlin", {}},
      {"Hauptstr 5 (Hof), 10115 Berlin/Teck", {}},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(de_comma_postcode_house_rescue_query(in), out) << in;
  }
}

// Every German entry point on a fixed-seed corpus of messy texts: nothing
// may crash or read past a text, and the generator keeps its row contract.
TEST(DeRobustness, EveryEntryPointTakesAnyBytes) {
  static const char* const kPieces[] = {
      "1", "12", "12345", "0", "-", "\xe2\x80\x93", "\xe2\x80\x94", "/", ",", ", ", "(", ")",
      " ", "   ", "\xc2\xa0", "\xc3\xa4", "\xc3\x9f", "\xe1\xba\x9e", "a", "Str.", "pl.", "d",
      "bis", "Tel", "z Hd Empfang", "Postfach", "2 OG", "\xff", "\xc3", "\xe2\x80", "\x80",
      "ludwigshafen rhein", "\t", "\n", ";",
  };
  std::mt19937 rng(20240607);
  std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<size_t> length(0, 12);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int n = 0; n < 3000; ++n) {
    std::string q;
    for (size_t k = length(rng); k > 0; --k) {
      if (byte(rng) < 16) q.push_back(static_cast<char>(byte(rng)));
      else q += kPieces[piece(rng)];
    }
    const std::vector<de::QueryVariant> rows = de::query_variants(q);
    ASSERT_GE(rows.size(), 1u) << q;
    ASSERT_LE(rows.size(), de::kMaxQueryVariants) << q;
    std::unordered_set<std::string> texts;
    for (const auto& r : rows) ASSERT_TRUE(texts.insert(r.text).second) << q;
    (void)de::derived_seeds(q);
    (void)de::parenthetical_subaddress_raw(q);
    (void)de::frankfurt_qualifier(q);
    (void)de_compact_house_pair_spec(q);
    (void)de_street_locality_qualifier_spec(q);
    (void)de_strict_source_street_typo_spec(q);
    (void)de_comma_postcode_house_rescue_query(q);
  }
}

}  // namespace
}  // namespace vorlane::query
