#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/edit_distance.h"
#include "vorlane/query/hit.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using namespace testing;  // the sheet builder
using Flags = std::vector<std::string_view>;

// Street 0: houses 2, 4, 4a, 8, 40 (2 km north), numeric postcode 75011.
// Street 1: per-house postcodes, houses 1 (75011) and 3 (75999).
// Street 2: numeric postcode 1067 only. Street 3: postcode text and number.
SheetBuilder base_sheet() {
  SheetBuilder b;
  b.suffixes = {"a", "bis"};
  b.streets = {street("Rue de la Paix",
                      {house(2, 0), house(4, 10), house(4, 20, 1), house(8, 30), house(40, 2000)}),
               street("Allée Verte", {house(1, 0, 0, 1), house(3, 10, 0, 2)}),
               street("Ring", {house(5, 0)}), street("Ring", {house(5, 0)})};
  b.streets[0].postcode = 75011;
  b.streets[1].house_postcodes = {"75011", "75999"};
  b.streets[2].postcode = 1067;
  b.streets[3].postcode = 123456;
  b.streets[3].postcode_text = "AB1 2CD";
  return b;
}

MatchInfo exact_match() {
  MatchInfo m;
  m.street_exact = m.commune_exact = m.pc_exact = true;
  return m;
}

TEST(MakeHit, PrecisionScoreAndHouseDistanceByLookupOutcome) {
  const auto idx = base_sheet().open();
  const struct {
    const char* what;
    bool has_house;
    uint32_t number, suffix_id;
    std::string_view precision;
    std::optional<std::string> housenumber;
    float score;
    uint32_t house_distance;
    bool house_found, house_rep;
  } cases[] = {
      {"no number asked", false, 0, 0, "street", std::nullopt, 8, 0, false, false},
      {"exact", true, 4, 0, "house", "4", 11, 0, true, true},
      {"number only", true, 4, 2, "house", "4", 10, 0, true, false},
      {"exact with suffix", true, 4, 1, "house", "4a", 11, 0, true, true},
      {"interpolated", true, 6, 0, "interp", "6", 8, 0, false, false},
      {"nearest", true, 45, 0, "near", "40", 8, 5, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MatchInfo m = exact_match();
    const RankedHit row = idx->make_hit(0, m, c.has_house, c.number, c.suffix_id, false, 0, {});
    EXPECT_EQ(row.hit.precision, c.precision);
    EXPECT_EQ(row.hit.housenumber, c.housenumber);
    EXPECT_EQ(row.hit.score, c.score);
    EXPECT_EQ(row.house_distance, c.house_distance);
    EXPECT_EQ(std::make_tuple(m.has_house, m.house_found, m.house_rep),
              std::make_tuple(c.has_house, c.house_found, c.house_rep));
    EXPECT_EQ(row.features, features(m));
    EXPECT_EQ(std::make_tuple(row.street_id, row.commune_weight, row.hit.street, row.hit.commune,
                              row.hit.postcode),
              std::make_tuple(0u, 10u, "Rue de la Paix", "testville", "75011"));
    EXPECT_FALSE(row.hit.distance_m.has_value());
  }
}

TEST(MakeHit, NoHouseFoundOrNoStreetFallsBackToTheStreetPoint) {
  // Street 2's only house is damaged, so the lookup finds nothing; street
  // 99 lies past the table and reads as an empty record.
  SheetBuilder b = base_sheet();
  b.streets[2].raw_list = std::string("\x05\x00\x80", 3);
  const auto idx = b.open();
  MatchInfo m;
  const RankedHit row = idx->make_hit(2, m, true, 5, 0, false, 0, {});
  EXPECT_EQ(row.hit.precision, "street");
  EXPECT_EQ(row.house_distance, 4294967295u);
  EXPECT_EQ(std::make_pair(row.hit.lat, row.hit.lon), std::make_pair(kLat, kLon));
  EXPECT_FALSE(row.hit.housenumber.has_value());
  EXPECT_TRUE(m.has_house);

  const RankedHit past = idx->make_hit(99, m, true, 5, 0, false, 0, {});
  EXPECT_EQ(past.hit.precision, "street");
  EXPECT_EQ(past.hit.lat, 0.0);
  EXPECT_EQ(past.hit.street + past.hit.postcode, "");
  EXPECT_EQ(past.street_id, 99u);
}

TEST(MakeHit, PerHousePostcodeDecidesPostcodeAgreement) {
  const auto idx = base_sheet().open();
  const struct {
    uint32_t number;
    bool has_postcode;
    uint32_t query_postcode;
    std::string postcode;
    bool pc_exact, pc_dept;
  } cases[] = {
      {1, true, 75011, "75011", true, true},
      {3, true, 75011, "75999", false, true},
      {3, true, 12000, "75999", false, false},
      {1, true, 0, "75011", false, false},
      {1, false, 12000, "75011", true, true},  // no query postcode: left as given
      {0, true, 12000, "", true, true},        // no house: nothing recomputed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query_postcode);
    MatchInfo m;
    m.pc_exact = m.pc_dept = true;
    const RankedHit row =
        idx->make_hit(1, m, c.number != 0, c.number, 0, c.has_postcode, c.query_postcode, {});
    EXPECT_EQ(row.hit.postcode, c.postcode);
    EXPECT_EQ(std::make_pair(m.pc_exact, m.pc_dept), std::make_pair(c.pc_exact, c.pc_dept));
  }
}

TEST(MakeHit, RankingModelScoreAndNegativeScoreCap) {
  SheetBuilder b = base_sheet();
  const std::array<float, 10> weights = {0.5f, 0, 0.25f, 0, 0.125f, 0, 0, -4.0f, 1.5f, 0.75f};
  // Exact house with street_exact, commune_exact and pc_exact: features
  // 1,0,1,0,1,0,0,1,1,1 and confidence 0.97 before any cap.
  const struct {
    float bias, score, confidence;
  } cases[] = {
      {2.0f, 2.0f + 0.5f + 0.25f + 0.125f - 4.0f + 1.5f + 0.75f + 1.0f, 0.97f},
      {-0.125f, 0.0f, 0.97f},  // exactly zero: no cap
      {-0.5f, -0.375f, 0.4f},
  };
  for (const auto& c : cases) {
    b.rank_model = std::make_pair(c.bias, weights);
    MatchInfo m = exact_match();
    const RankedHit row = b.open()->make_hit(0, m, true, 4, 0, false, 0, {});
    EXPECT_EQ(std::make_pair(row.hit.score, row.hit.confidence),
              std::make_pair(c.score, c.confidence))
        << c.bias;
  }
}

TEST(MakeHit, StreetWordSimilarityAndRegion) {
  auto idx = base_sheet().open();
  const std::pair<std::vector<std::u32string>, int32_t> cases[] = {
      {{}, 0},       {{U"paix"}, 100}, {{U"pai"}, 75},
      {{U"xyz", U"de"}, 100},          {{U"rve"}, 67},  // 100 - 100 * 1 / 3
      {{U"zzzzzzz"}, 0},
  };
  MatchInfo m;
  for (const auto& [words, similarity] : cases) {
    EXPECT_EQ(idx->make_hit(0, m, false, 0, 0, false, 0, words).street_similarity, similarity);
  }
  // The street name is compared in canonical form: "Allée" becomes "allee".
  const std::vector<std::u32string> allee = {U"allee"};
  EXPECT_EQ(idx->make_hit(1, m, false, 0, 0, false, 0, allee).street_similarity, 100);

  // The region comes from the hit's own point: house 40 lies 2 km north.
  const int32_t lo = testing::e7(47.9), hi = testing::e7(48.01);
  idx->admin_regions = {{"Region A", {{{lo, 0}, {lo, hi}, {hi, hi}, {hi, 0}}}, lo, 0, hi, hi}};
  EXPECT_EQ(idx->make_hit(0, m, true, 4, 0, false, 0, {}).hit.region, "Region A");
  EXPECT_EQ(idx->make_hit(0, m, true, 40, 0, false, 0, {}).hit.region, std::nullopt);
  EXPECT_EQ(idx->city_hit("Testville", true, 48.0, 2.0)[0].first.region, std::nullopt);
}

// A MatchInfo from one '0'/'1' per field, in declaration order: street_exact,
// street_fuzzy, commune_exact, commune_prefix, pc_exact, pc_dept, ml,
// house_found, house_rep, has_house, de_street_type.
MatchInfo info(std::string_view bits) {
  MatchInfo m;
  bool* fields[] = {&m.street_exact, &m.street_fuzzy, &m.commune_exact, &m.commune_prefix,
                    &m.pc_exact,     &m.pc_dept,      &m.ml,            &m.house_found,
                    &m.house_rep,    &m.has_house,    &m.de_street_type};
  for (size_t i = 0; i < bits.size(); ++i) *fields[i] = bits[i] == '1';
  return m;
}

TEST(MatchFlags, FixedOrderAndAlternatives) {
  EXPECT_EQ(match_flags(info("11111111111")),
            (Flags{"street_exact", "street_fuzzy", "commune_exact", "house_rep", "pc_exact", "ml",
                   "de_street_type"}));
  EXPECT_EQ(match_flags(info("00010101010")), (Flags{"commune_prefix", "pc_dept"}));
  EXPECT_EQ(match_flags(MatchInfo{}), Flags{});
  EXPECT_EQ(features(info("11111111111")), (FeatureVector{1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(ConfidenceScore, LogisticModelRoundedToTwoDecimals) {
  const std::tuple<std::string_view, const char*, float> cases[] = {
      {"house", "00000000000", 0.14f},
      {"house", "10100000000", 0.81f},
      {"house", "10101000100", 0.97f},
      {"house", "10101100100", 0.95f},
      {"house", "10000000100", 0.6f},
      {"house", "10000000000", 0.29f},
      {"street", "00000000000", 0.05f},
      {"street", "10101000000", 0.74f},
      {"near", "01010110000", 0.04f},
      {"interp", "11111110100", 0.94f},
      {"city", "00000000000", 0.04f},
      {"approximate", "00100000000", 0.29f},
      {"house", "00000001011", 0.14f},  // house_found, has_house, de_street_type do not count
  };
  for (const auto& [precision, bits, confidence] : cases) {
    EXPECT_EQ(confidence_score(precision, info(bits)), confidence) << precision << " " << bits;
  }
}

TEST(HitTexts, PostcodesHouseNumbersNamesAndCommunes) {
  SheetBuilder b = base_sheet();
  b.communes.push_back({"bad\xff", 3, 0, 0});
  b.commune_postings = {0, 1, 7};  // 7 lies past the commune table
  const auto idx = b.open();
  const auto with = [&](uint32_t id, uint32_t field, uint32_t postcode) {
    StreetRecord r = *idx->street(id);
    r.postcode_field = field;
    r.postcode = postcode;
    return idx->postcode_for_house(r, 0);
  };
  EXPECT_EQ(idx->postcode_for_house(*idx->street(0), 0), "75011");
  EXPECT_EQ(idx->postcode_for_house(*idx->street(2), 0), "01067");
  EXPECT_EQ(idx->postcode_for_house(*idx->street(3), 0), "AB1 2CD");
  EXPECT_EQ(with(3, 0, 123456), "123456");
  EXPECT_EQ(with(3, 0x7FFFFFFF, 123456), "123456");  // unreadable text
  EXPECT_EQ(with(3, 0, 0), "");
  EXPECT_EQ(idx->postcode_for_house(*idx->street(1), 0), "");  // per-house, none asked
  EXPECT_EQ(idx->postcode_for_house(*idx->street(1), 0x7FFFFFFF), "");

  EXPECT_EQ(idx->house_number(12, 0) + idx->house_number(12, 2) + idx->house_number(12, 3),
            "1212bis12");  // suffix 3 lies past the table
  EXPECT_EQ(idx->house_number(4294967295u, 1), "4294967295a");
  EXPECT_EQ(idx->name(idx->street(0)->name_offset), "Rue de la Paix");
  EXPECT_EQ(idx->name(idx->names.size()), "");
  EXPECT_EQ(idx->commune_name(1), "");  // not UTF-8
  const CommuneRecord past = idx->commune(7), first = idx->commune(0);
  EXPECT_EQ(std::make_tuple(past.name, past.code, past.weight, past.lat),
            std::make_tuple("", "", 0u, 0));
  EXPECT_EQ(std::make_tuple(first.name, first.code, first.weight, first.lat),
            std::make_tuple("testville", std::string_view("C0\0\0\0\0\0\0", 8), 10u, 480000000));
}

TEST(CityHit, OnePlaceLevelRow) {
  const auto idx = base_sheet().open();
  for (const bool exact : {true, false}) {
    const auto rows = idx->city_hit("Paris", exact, 48.85, 2.35);
    ASSERT_EQ(rows.size(), 1u);
    const Hit& hit = rows[0].first;
    EXPECT_EQ(std::make_tuple(hit.precision, hit.commune, hit.street + hit.postcode, hit.lat,
                              hit.lon, hit.score, hit.confidence, hit.housenumber),
              std::make_tuple("city", "Paris", "", 48.85, 2.35, 0.0f, 0.05f, std::nullopt));
    EXPECT_EQ(hit.flags, Flags{exact ? "place_exact" : "place_prefix_group"});
    EXPECT_EQ(rows[0].second, FeatureVector{});
  }
}

TEST(PostcodeNumericPrefix, LeadingDigits) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"75011", 75011},        {"1012 AB", 1012},        {"4294967295", 4294967295u},
      {"00000", std::nullopt}, {"AB12", std::nullopt},   {" 12", std::nullopt},
      {"", std::nullopt},      {"4294967296", std::nullopt}, {"99999999999", std::nullopt},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(postcode_numeric_prefix(text), value) << text;
}

TEST(Lev, CharacterEditDistance) {
  EXPECT_EQ(lev(U"flaw", U"lawn"), 2u);
  EXPECT_EQ(lev(U"abc", U""), 3u);
  EXPECT_EQ(lev(U"", U"ab"), 2u);
  EXPECT_EQ(lev(U"ab", U"ba"), 2u);
  EXPECT_EQ(lev(U"straße", U"strasse"), 2u);
  EXPECT_EQ(chars_of("a\xff"), std::u32string(U"a\uFFFD"));
}

}  // namespace
}  // namespace vorlane::query
