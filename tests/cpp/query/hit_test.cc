#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/edit_distance.h"
#include "vorlane/query/hit.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using testing::SheetBuilder;
using testing::TestHouse;
using testing::TestStreet;
using Flags = std::vector<std::string_view>;

constexpr double kLat = 48.0;
constexpr double kLon = 2.0;

TestHouse house(uint32_t number, double north_m, uint32_t suffix_id = 0, uint32_t pc = 0) {
  const auto [lat, lon] = testing::offset_m(kLat, kLon, north_m, 0.0);
  return TestHouse{number, suffix_id, lat, lon, pc};
}

// Street 0: houses 2, 4, 4a, 8, 40 (2 km north), numeric postcode 75011.
// Street 1: per-house postcodes, houses 1 (75011) and 3 (75999).
// Street 2: numeric postcode 1067 only. Street 3: postcode text and number.
SheetBuilder base_sheet() {
  SheetBuilder b;
  b.suffixes = {"a", "bis"};
  TestStreet s0;
  s0.name = "Rue de la Paix";
  s0.lat = kLat;
  s0.lon = kLon;
  s0.postcode = 75011;
  s0.houses = {house(2, 0), house(4, 10), house(4, 20, 1), house(8, 30), house(40, 2000)};
  TestStreet s1 = s0;
  s1.name = "Allée Verte";
  s1.postcode = 0;
  s1.houses = {house(1, 0, 0, 1), house(3, 10, 0, 2)};
  s1.house_postcodes = {"75011", "75999"};
  TestStreet s2 = s0;
  s2.name = "Ring";
  s2.postcode = 1067;
  s2.houses = {house(5, 0)};
  TestStreet s3 = s2;
  s3.postcode = 123456;
  s3.postcode_text = "AB1 2CD";
  b.streets = {s0, s1, s2, s3};
  return b;
}

MatchInfo exact_match() {
  MatchInfo m;
  m.street_exact = true;
  m.commune_exact = true;
  m.pc_exact = true;
  return m;
}

TEST(MakeHit, PrecisionScoreAndHouseDistanceByLookupOutcome) {
  const auto idx = base_sheet().open();
  struct Case {
    const char* what;
    bool has_house;
    uint32_t number, suffix_id;
    std::string_view precision;
    std::optional<std::string> housenumber;
    float score;
    uint32_t house_distance;
    bool house_found, house_rep;
  };
  const Case cases[] = {
      {"no number asked", false, 0, 0, "street", std::nullopt, 8, 0, false, false},
      {"exact", true, 4, 0, "house", "4", 11, 0, true, true},
      {"number only", true, 4, 2, "house", "4", 10, 0, true, false},
      {"exact with suffix", true, 4, 1, "house", "4a", 11, 0, true, true},
      {"interpolated", true, 6, 0, "interp", "6", 8, 0, false, false},
      {"nearest", true, 45, 0, "near", "40", 8, 5, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MatchInfo m = exact_match();
    const RankedHit row = idx->make_hit(0, m, c.has_house, c.number, c.suffix_id, false, 0, {});
    EXPECT_EQ(row.hit.precision, c.precision);
    EXPECT_EQ(row.hit.housenumber, c.housenumber);
    EXPECT_EQ(row.hit.score, c.score);
    EXPECT_EQ(row.house_distance, c.house_distance);
    EXPECT_EQ(m.has_house, c.has_house);
    EXPECT_EQ(m.house_found, c.house_found);
    EXPECT_EQ(m.house_rep, c.house_rep);
    EXPECT_EQ(row.features, features(m));
    EXPECT_EQ(row.street_id, 0u);
    EXPECT_EQ(row.commune_weight, 10u);
    EXPECT_EQ(row.hit.street, "Rue de la Paix");
    EXPECT_EQ(row.hit.commune, "testville");
    EXPECT_EQ(row.hit.postcode, "75011");
    EXPECT_FALSE(row.hit.distance_m.has_value());
  }
}

TEST(MakeHit, NumberMissingFromTheStreetFallsBackToTheStreetPoint) {
  // A street whose only house is damaged: the lookup finds nothing.
  SheetBuilder b = base_sheet();
  b.streets[2].raw_list = std::string("\x05\x00\x80", 3);
  const auto idx = b.open();
  MatchInfo m;
  const RankedHit row = idx->make_hit(2, m, true, 5, 0, false, 0, {});
  EXPECT_EQ(row.hit.precision, "street");
  EXPECT_EQ(row.house_distance, 4294967295u);
  EXPECT_EQ(row.hit.lat, 48.0);
  EXPECT_EQ(row.hit.lon, 2.0);
  EXPECT_FALSE(row.hit.housenumber.has_value());
  EXPECT_TRUE(m.has_house);
}

TEST(MakeHit, StreetIdPastTheTableReadsAsAnEmptyRecord) {
  const auto idx = base_sheet().open();
  MatchInfo m;
  const RankedHit row = idx->make_hit(99, m, true, 5, 0, false, 0, {});
  EXPECT_EQ(row.hit.precision, "street");
  EXPECT_EQ(row.hit.lat, 0.0);
  EXPECT_EQ(row.hit.street, "");
  EXPECT_EQ(row.hit.postcode, "");
  EXPECT_EQ(row.street_id, 99u);
}

TEST(MakeHit, PerHousePostcodeDecidesPostcodeAgreement) {
  const auto idx = base_sheet().open();
  struct Case {
    uint32_t number;
    bool has_postcode;
    uint32_t query_postcode;
    std::string postcode;
    bool pc_exact, pc_dept;
  };
  const Case cases[] = {
      {1, true, 75011, "75011", true, true},
      {3, true, 75011, "75999", false, true},
      {3, true, 12000, "75999", false, false},
      {1, true, 0, "75011", false, false},
      {1, false, 12000, "75011", true, true},  // no query postcode: left as given
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query_postcode);
    MatchInfo m;
    m.pc_exact = true;
    m.pc_dept = true;
    const RankedHit row =
        idx->make_hit(1, m, true, c.number, 0, c.has_postcode, c.query_postcode, {});
    EXPECT_EQ(row.hit.postcode, c.postcode);
    EXPECT_EQ(m.pc_exact, c.pc_exact);
    EXPECT_EQ(m.pc_dept, c.pc_dept);
  }
  // Without a house there is no house postcode and nothing is recomputed.
  MatchInfo m;
  m.pc_exact = true;
  const RankedHit street_only = idx->make_hit(1, m, false, 0, 0, true, 12000, {});
  EXPECT_EQ(street_only.hit.postcode, "");
  EXPECT_TRUE(m.pc_exact);
}

TEST(MakeHit, RankingModelScoreAndNegativeScoreCap) {
  SheetBuilder b = base_sheet();
  const std::array<float, 10> weights = {0.5f, 0, 0.25f, 0, 0.125f, 0, 0, -4.0f, 1.5f, 0.75f};
  struct Case {
    float bias;
    float score;
    float confidence;
  };
  // Exact house with street_exact, commune_exact and pc_exact: features
  // 1,0,1,0,1,0,0,1,1,1 and confidence 0.97 before any cap.
  const Case cases[] = {
      {2.0f, 2.0f + 0.5f + 0.25f + 0.125f - 4.0f + 1.5f + 0.75f + 1.0f, 0.97f},
      {-0.125f, 0.0f, 0.97f},  // exactly zero: no cap
      {-0.5f, -0.375f, 0.4f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bias);
    b.rank_model = std::make_pair(c.bias, weights);
    const auto idx = b.open();
    MatchInfo m = exact_match();
    const RankedHit row = idx->make_hit(0, m, true, 4, 0, false, 0, {});
    EXPECT_EQ(row.hit.score, c.score);
    EXPECT_EQ(row.hit.confidence, c.confidence);
  }
}

TEST(MakeHit, StreetWordSimilarity) {
  const auto idx = base_sheet().open();
  struct Case {
    std::vector<std::u32string> words;
    int32_t similarity;
  };
  const Case cases[] = {
      {{}, 0},
      {{U"paix"}, 100},
      {{U"pai"}, 75},
      {{U"xyz", U"de"}, 100},
      {{U"rve"}, 67},   // 100 - 100 * 1 / 3
      {{U"zzzzzzz"}, 0},
  };
  for (const Case& c : cases) {
    MatchInfo m;
    EXPECT_EQ(idx->make_hit(0, m, false, 0, 0, false, 0, c.words).street_similarity, c.similarity);
  }
  // The street name is compared in canonical form: "Allée" becomes "allee".
  MatchInfo m;
  const std::vector<std::u32string> allee = {U"allee"};
  EXPECT_EQ(idx->make_hit(1, m, false, 0, 0, false, 0, allee).street_similarity, 100);
}

TEST(MakeHit, RegionFromTheHitsOwnPoint) {
  auto idx = base_sheet().open();
  const int32_t lo = testing::e7(47.9), hi = testing::e7(48.01);
  AdminRegion region{"Region A", {{{lo, 0}, {lo, hi}, {hi, hi}, {hi, 0}}}, lo, 0, hi, hi};
  idx->admin_regions = {region};
  MatchInfo m;
  EXPECT_EQ(idx->make_hit(0, m, true, 4, 0, false, 0, {}).hit.region, "Region A");
  // A house 2 km north lies outside the region.
  EXPECT_EQ(idx->make_hit(0, m, true, 40, 0, false, 0, {}).hit.region, std::nullopt);
  EXPECT_EQ(idx->city_hit("Testville", true, 48.0, 2.0)[0].first.region, std::nullopt);
}

TEST(MatchFlags, FixedOrderAndAlternatives) {
  MatchInfo all;
  all.street_exact = all.street_fuzzy = all.commune_exact = all.commune_prefix = true;
  all.pc_exact = all.pc_dept = all.ml = all.house_found = all.house_rep = true;
  all.has_house = all.de_street_type = true;
  EXPECT_EQ(match_flags(all), (Flags{"street_exact", "street_fuzzy", "commune_exact",
                                     "house_rep", "pc_exact", "ml", "de_street_type"}));
  MatchInfo alternatives;
  alternatives.commune_prefix = alternatives.pc_dept = true;
  alternatives.house_found = alternatives.has_house = true;
  EXPECT_EQ(match_flags(alternatives), (Flags{"commune_prefix", "pc_dept"}));
  EXPECT_EQ(match_flags(MatchInfo{}), Flags{});
  EXPECT_EQ(features(all), (FeatureVector{1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(ConfidenceScore, LogisticModelRoundedToTwoDecimals) {
  const auto info = [](std::initializer_list<bool MatchInfo::*> set) {
    MatchInfo m;
    for (auto member : set) m.*member = true;
    return m;
  };
  using M = MatchInfo;
  struct Case {
    std::string_view precision;
    MatchInfo m;
    float confidence;
  };
  const Case cases[] = {
      {"house", {}, 0.14f},
      {"house", info({&M::street_exact, &M::commune_exact}), 0.81f},
      {"house", info({&M::street_exact, &M::commune_exact, &M::house_rep, &M::pc_exact}), 0.97f},
      {"house",
       info({&M::street_exact, &M::commune_exact, &M::house_rep, &M::pc_exact, &M::pc_dept}),
       0.95f},
      {"house", info({&M::street_exact, &M::house_rep}), 0.6f},
      {"house", info({&M::street_exact}), 0.29f},
      {"street", {}, 0.05f},
      {"street", info({&M::street_exact, &M::commune_exact, &M::pc_exact}), 0.74f},
      {"near", {}, 0.04f},
      {"near", info({&M::street_fuzzy, &M::commune_prefix, &M::pc_dept, &M::ml}), 0.04f},
      {"interp",
       info({&M::street_exact, &M::street_fuzzy, &M::commune_exact, &M::commune_prefix,
             &M::house_rep, &M::pc_exact, &M::pc_dept, &M::ml}),
       0.94f},
      {"city", {}, 0.04f},
      {"approximate", info({&M::commune_exact}), 0.29f},
      // house_found, has_house and de_street_type do not count.
      {"house", info({&M::house_found, &M::has_house, &M::de_street_type}), 0.14f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(confidence_score(c.precision, c.m), c.confidence) << c.precision;
  }
}

TEST(HitTexts, PostcodesHouseNumbersNamesAndCommunes) {
  SheetBuilder b = base_sheet();
  b.communes.push_back({"bad\xff", 3, 0, 0});
  b.commune_postings = {0, 1, 7};  // 7 lies past the commune table
  const auto idx = b.open();
  EXPECT_EQ(idx->postcode_for_house(*idx->street(0), 0), "75011");
  EXPECT_EQ(idx->postcode_for_house(*idx->street(2), 0), "01067");
  EXPECT_EQ(idx->postcode_for_house(*idx->street(3), 0), "AB1 2CD");
  StreetRecord numeric_only = *idx->street(3);
  numeric_only.postcode_field = 0;
  EXPECT_EQ(idx->postcode_for_house(numeric_only, 0), "123456");
  StreetRecord unreadable_text = numeric_only;
  unreadable_text.postcode_field = 0x7FFFFFFF;
  EXPECT_EQ(idx->postcode_for_house(unreadable_text, 0), "123456");
  StreetRecord nothing = numeric_only;
  nothing.postcode = 0;
  EXPECT_EQ(idx->postcode_for_house(nothing, 0), "");
  const StreetRecord per_house = *idx->street(1);
  EXPECT_EQ(idx->postcode_for_house(per_house, 0), "");
  EXPECT_EQ(idx->postcode_for_house(per_house, 0x7FFFFFFF), "");

  EXPECT_EQ(idx->house_number(12, 0), "12");
  EXPECT_EQ(idx->house_number(12, 2), "12bis");
  EXPECT_EQ(idx->house_number(12, 3), "12");
  EXPECT_EQ(idx->house_number(4294967295u, 1), "4294967295a");

  EXPECT_EQ(idx->name(idx->street(0)->name_offset), "Rue de la Paix");
  EXPECT_EQ(idx->name(idx->names.size()), "");
  EXPECT_EQ(idx->commune_name(0), "testville");
  EXPECT_EQ(idx->commune_name(1), "");  // not UTF-8
  const CommuneRecord past = idx->commune(7);
  EXPECT_EQ(past.name, "");
  EXPECT_EQ(past.code, "");
  EXPECT_EQ(past.weight, 0u);
  EXPECT_EQ(past.lat, 0);
  EXPECT_EQ(idx->commune(0).weight, 10u);
  EXPECT_EQ(idx->commune(0).code, std::string_view("C0\0\0\0\0\0\0", 8));
  EXPECT_EQ(idx->commune(0).lat, 480000000);
}

TEST(CityHit, OnePlaceLevelRow) {
  const auto idx = base_sheet().open();
  for (const bool exact : {true, false}) {
    const auto rows = idx->city_hit("Paris", exact, 48.85, 2.35);
    ASSERT_EQ(rows.size(), 1u);
    const Hit& hit = rows[0].first;
    EXPECT_EQ(hit.precision, "city");
    EXPECT_EQ(hit.commune, "Paris");
    EXPECT_EQ(hit.street, "");
    EXPECT_EQ(hit.postcode, "");
    EXPECT_EQ(hit.lat, 48.85);
    EXPECT_EQ(hit.score, 0.0f);
    EXPECT_EQ(hit.confidence, 0.05f);
    EXPECT_EQ(hit.flags, Flags{exact ? "place_exact" : "place_prefix_group"});
    EXPECT_FALSE(hit.housenumber.has_value());
    EXPECT_EQ(rows[0].second, FeatureVector{});
  }
}

TEST(PostcodeNumericPrefix, LeadingDigits) {
  EXPECT_EQ(postcode_numeric_prefix("75011"), 75011u);
  EXPECT_EQ(postcode_numeric_prefix("1012 AB"), 1012u);
  EXPECT_EQ(postcode_numeric_prefix("4294967295"), 4294967295u);
  EXPECT_EQ(postcode_numeric_prefix("00000"), std::nullopt);
  EXPECT_EQ(postcode_numeric_prefix("AB12"), std::nullopt);
  EXPECT_EQ(postcode_numeric_prefix(" 12"), std::nullopt);
  EXPECT_EQ(postcode_numeric_prefix(""), std::nullopt);
  EXPECT_EQ(postcode_numeric_prefix("4294967296"), std::nullopt);
  EXPECT_EQ(postcode_numeric_prefix("99999999999"), std::nullopt);
}

TEST(Lev, CharacterEditDistance) {
  EXPECT_EQ(lev(U"flaw", U"lawn"), 2u);
  EXPECT_EQ(lev(U"abc", U""), 3u);
  EXPECT_EQ(lev(U"", U"ab"), 2u);
  EXPECT_EQ(lev(U"ab", U"ba"), 2u);
  EXPECT_EQ(lev(U"straße", U"strasse"), 2u);
  EXPECT_EQ(chars_of("straße"), U"straße");
  EXPECT_EQ(chars_of("a\xff"), std::u32string(U"a\uFFFD"));
}

}  // namespace
}  // namespace vorlane::query
