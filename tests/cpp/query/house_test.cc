#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using namespace testing;  // the sheet builder
using Kind = HouseMatchKind;

std::unique_ptr<Index> sheet_of(std::vector<TestStreet> streets, uint8_t version = 7) {
  SheetBuilder b;
  b.version = version;
  b.suffixes = {"a", "bis"};
  b.streets = std::move(streets);
  return b.open();
}

std::unique_ptr<Index> sheet_of(std::vector<TestHouse> houses) {
  return sheet_of({street("Rue Test", std::move(houses))});
}

std::optional<HouseMatch> lookup(const Index& idx, uint32_t number, uint32_t suffix_id = 0,
                                 bool check_postcode = false, uint32_t postcode = 0) {
  return idx.find_house(0, *idx.street(0), number, suffix_id, check_postcode, postcode);
}

double north_of(const HouseMatch& m) { return (m.lat - kLat) * 111320.0; }

TEST(FindHouse, KindsAndChosenHouse) {
  const struct {
    const char* what;
    std::vector<TestHouse> houses;
    uint32_t number, suffix_id;
    Kind kind;
    uint32_t shown_number, shown_suffix;
    double north_m;  // of the returned point
  } cases[] = {
      {"exact", {house(2, 10), house(4, 20), house(6, 30)}, 4, 0, Kind::Exact, 4, 0, 20},
      {"exact with suffix", {house(4, 10), house(4, 20, 1)}, 4, 1, Kind::Exact, 4, 1, 20},
      {"number only shows the house's own suffix", {house(2, 10), house(4, 20), house(6, 30)}, 4,
       1, Kind::NumberOnly, 4, 0, 20},
      {"number only takes the first of the number", {house(4, 10, 2), house(4, 20, 0)}, 4, 1,
       Kind::NumberOnly, 4, 2, 10},
      {"interpolated halfway", {house(2, 0), house(10, 80)}, 6, 0, Kind::Interpolated, 6, 0, 40},
      {"interpolated keeps the requested suffix", {house(2, 0), house(10, 80)}, 6, 1,
       Kind::Interpolated, 6, 1, 40},
      {"gap of 13 is too wide", {house(2, 0), house(15, 10)}, 3, 0, Kind::Nearest, 2, 0, 0},
      {"gap of 12 interpolates", {house(2, 0), house(14, 120)}, 5, 0, Kind::Interpolated, 5, 0,
       30},
      {"same-parity pair", {house(2, 0), house(3, 500), house(9, 900), house(10, 80)}, 6, 0,
       Kind::Interpolated, 6, 0, 40},
      {"no same-parity house above", {house(4, 0), house(7, 90), house(9, 900)}, 6, 0,
       Kind::Interpolated, 6, 0, 60},
      {"neighbours 400 m apart: nearest, tie goes below", {house(4, 0), house(6, 400)}, 5, 0,
       Kind::Nearest, 4, 0, 0},
      {"nearest above when closer", {house(2, 0), house(30, 10), house(40, 20)}, 25, 0,
       Kind::Nearest, 30, 0, 10},
      {"below every house", {house(10, 10), house(12, 20)}, 3, 0, Kind::Nearest, 10, 0, 10},
      {"above every house", {house(10, 10), house(12, 20, 1)}, 30, 0, Kind::Nearest, 12, 1, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto m = lookup(*sheet_of(c.houses), c.number, c.suffix_id);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->kind, c.kind);
    EXPECT_EQ(m->number, c.shown_number);
    EXPECT_EQ(m->suffix_id, c.shown_suffix);
    EXPECT_NEAR(north_of(*m), c.north_m, 0.05);
    EXPECT_NEAR(m->lon, testing::kLon, 1e-9);
  }
}

TEST(FindHouse, InterpolationIsLinearInDoublePrecision) {
  const auto idx = sheet_of({house(4, 0), house(7, 90)});
  const HouseMatch m = *lookup(*idx, 6), lo = *lookup(*idx, 4), hi = *lookup(*idx, 7);
  EXPECT_EQ(m.lat, lo.lat + (hi.lat - lo.lat) * (2.0 / 3.0));
  EXPECT_EQ(m.lon, lo.lon + (hi.lon - lo.lon) * (2.0 / 3.0));
}

TEST(FindHouse, PostcodeChoosesAmongDuplicates) {
  // Two houses numbered 12, 10 and 20 m north, with postcode indexes `pcs`.
  const struct {
    std::vector<std::string> dictionary;
    std::pair<uint32_t, uint32_t> pcs;
    bool check;
    uint32_t postcode;
    double north_m;
    const char* shown_postcode;
  } cases[] = {
      {{"75001", "75002"}, {1, 2}, true, 75001, 10, "75001"},
      {{"75001", "75002"}, {1, 2}, true, 75002, 20, "75002"},
      {{"75001", "75002"}, {1, 2}, true, 75003, 10, "75001"},
      {{"75001", "75002"}, {1, 2}, false, 75002, 10, "75001"},
      {{"75001", "75002X"}, {1, 2}, true, 75002, 10, "75001"},  // a letter never passes
      {{"75001"}, {1, 0}, true, 0, 10, "75001"},  // nor does a missing postcode
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.postcode);
    TestStreet s = street("Rue", {house(10, 0), house(12, 10, 0, c.pcs.first),
                                  house(12, 20, 0, c.pcs.second), house(14, 30)});
    s.house_postcodes = c.dictionary;
    const auto idx = sheet_of({s});
    const auto m = lookup(*idx, 12, 0, c.check, c.postcode);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->kind, Kind::Exact);
    EXPECT_NEAR(north_of(*m), c.north_m, 0.05);
    EXPECT_EQ(idx->name(m->postcode_ref), c.shown_postcode);
  }
}

TEST(FindHouse, InterpolatedPostcodeOnlyWhenBothNeighboursAgree) {
  TestStreet s = street("Rue", {house(2, 0, 0, 1), house(6, 40, 0, 1), house(10, 80, 0, 2)});
  s.house_postcodes = {"75001", "75002"};
  const auto idx = sheet_of({s});
  const auto same = lookup(*idx, 4), differ = lookup(*idx, 8);
  ASSERT_EQ(same->kind, Kind::Interpolated);
  ASSERT_EQ(differ->kind, Kind::Interpolated);
  EXPECT_EQ(idx->name(same->postcode_ref), "75001");
  EXPECT_EQ(differ->postcode_ref, 0u);
}

TEST(FindHouse, DamagedListsGiveNoResult) {
  using testing::varints;
  const uint64_t past_90 = testing::zigzag(900000000 - testing::e7(kLat) + 1);
  const std::pair<const char*, std::string> cases[] = {
      {"number sum past 2^32-1", varints({1, 0, 0, 0, 0xFFFFFFFF, 0, 0, 0})},
      {"number wider than 32 bits", varints({uint64_t{1} << 32, 0, 0, 0})},
      {"suffix wider than 32 bits", varints({2, uint64_t{1} << 32, 0, 0})},
      {"latitude past 90", varints({2, 0, past_90, 0})},
      {"latitude sum overflows 64 bits", varints({2, 0, testing::zigzag(INT64_MAX), 0})},
      {"list ends inside a varint", varints({2, 0, 0, 0, 2, 0}) + "\x80"},
  };
  for (const auto& [what, list] : cases) {
    TestStreet s = street("Rue", {});
    s.raw_list = list;
    s.house_count = 2;
    EXPECT_FALSE(lookup(*sheet_of({s}), 3).has_value()) << what;
  }
  const auto idx = sheet_of({house(1)});
  EXPECT_FALSE(idx->find_house(1, *idx->street(0), 1, 0, false, 0).has_value());  // id past
}

TEST(FindHouse, StopsReadingOnceTheAnswerIsFixed) {
  // Each list ends in a broken varint: a lookup that reads that far finds
  // nothing, one whose answer is fixed earlier never gets there.
  const struct {
    const char* what;
    std::vector<std::pair<uint32_t, uint32_t>> houses;  // number, suffix id
    uint32_t number;
    std::optional<Kind> kind;
  } cases[] = {
      {"exact", {{2, 0}}, 2, Kind::Exact},
      {"same-parity house above ends the scan", {{1, 0}, {5, 0}}, 3, Kind::Interpolated},
      {"other parity above after the number", {{3, 0}, {5, 1}, {6, 0}}, 5, Kind::NumberOnly},
      {"other parity above, none of the same parity below", {{3, 0}, {5, 0}}, 4,
       Kind::Interpolated},
      {"other parity above, one of the same parity below: keeps reading", {{4, 0}, {7, 0}}, 6,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string list;
    uint32_t previous = 0;
    for (const auto& [number, suffix] : c.houses) {
      list += testing::varints({number - previous, suffix, 0, 0});
      previous = number;
    }
    TestStreet s = street("Rue", {});
    s.raw_list = list + "\xFF\xFF";
    s.house_count = static_cast<uint32_t>(c.houses.size()) + 1;
    const auto m = lookup(*sheet_of({s}), c.number);
    EXPECT_EQ(m ? std::optional(m->kind) : std::nullopt, c.kind);
  }
}

TEST(FindHouse, VersionSixReadsNoDictionary) {
  // On a version-6 sheet an all-ones postcode field carries no dictionary:
  // the list starts with the first house.
  TestStreet s = street("Rue", {house(8, 10), house(9, 20)});
  s.per_house_field = true;
  const auto m = lookup(*sheet_of({s}, 6), 9, 0, true, 0);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->kind, Kind::Exact);
  EXPECT_EQ(m->postcode_ref, 0u);
}

TEST(FieldHouseFromIds, FirstHouseWhenAllOccurrencesAreClose) {
  const auto idx = sheet_of(
      {street("Rue A", {house(10, 0), house(12, 0, 2)}), street("Rue B", {house(12, 100)}),
       street("Rue C", {house(12, 200)}), street("Rue D", {house(14, 0)})});
  const auto ask = [&](std::vector<uint32_t> ids, uint32_t number) {
    return idx->field_house_from_ids(ids, number);
  };
  const auto a = ask({0, 1}, 12), b = ask({1, 0}, 12);
  ASSERT_TRUE(a && b);
  // Score 3 + 1 (house found) + 1 (house_rep); "12bis" lacks house_rep.
  EXPECT_EQ(std::make_tuple(a->first.precision, a->first.street, a->first.housenumber,
                            a->first.commune, a->first.score, a->first.confidence),
            std::make_tuple("house", "Rue A", "12bis", "testville", 5.0f, 0.29f));
  EXPECT_EQ(a->first.flags, (std::vector<std::string_view>{"street_exact"}));
  EXPECT_EQ(a->second, (FeatureVector{1, 0, 0, 0, 0, 0, 0, 1, 0, 1}));
  EXPECT_EQ(std::make_tuple(b->first.street, b->first.housenumber, b->first.score,
                            b->first.confidence),
            std::make_tuple("Rue B", "12", 6.0f, 0.6f));
  EXPECT_EQ(b->first.flags, (std::vector<std::string_view>{"street_exact", "house_rep"}));
  EXPECT_EQ(b->second, (FeatureVector{1, 0, 0, 0, 0, 0, 0, 1, 1, 1}));

  EXPECT_FALSE(ask({0, 2}, 12));  // 200 m apart: ambiguous
  EXPECT_FALSE(ask({}, 12));
  EXPECT_FALSE(ask({7, 9}, 12));  // past the table
  EXPECT_FALSE(ask({0, 3}, 13));
  EXPECT_TRUE(ask({0, 3, 9}, 12));
}

TEST(FieldHouseFromIds, RankingModelScoresAndCapsConfidence) {
  SheetBuilder b;
  b.streets = {street("Rue", {house(12)})};
  b.rank_model = std::make_pair(-8.0f, std::array<float, 10>{1, 0, 0, 0, 0, 0, 0, 2, 0.5f, 0.25f});
  const std::vector<uint32_t> ids = {0};
  const auto got = b.open()->field_house_from_ids(ids, 12);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->first.score, -8.0f + 1 + 2 + 0.5f + 0.25f + 1);
  EXPECT_EQ(got->first.confidence, 0.4f);
}

TEST(DistKm, Haversine) {
  EXPECT_EQ(Index::dist_km(48.0, 2.0, 48.0, 2.0), 0.0);
  EXPECT_NEAR(Index::dist_km(0.0, 0.0, 0.0, 1.0), 12742.0 * M_PI / 360.0, 1e-9);
  EXPECT_NEAR(Index::dist_km(48.8566, 2.3522, 51.5074, -0.1278), 343.5, 0.5);
  EXPECT_TRUE(std::isnan(Index::dist_km(NAN, 0.0, 0.0, 0.0)));
}

TEST(DistKm, EachSquaredSineIsOneFactor) {
  // For these points cos * cos * s * s and cos * cos * (s * s) differ in the
  // last bit; the distance must be the latter. Read through volatile so the
  // expected value is computed by the same run-time maths as dist_km.
  volatile double points[] = {44.3789, 2.4791, 44.3736, 2.4737};
  const double lat1 = points[0], lon1 = points[1], lat2 = points[2], lon2 = points[3];
  const double k = 0.017453292519943295;
  const double s_lat = std::sin((lat2 - lat1) * k / 2.0), s_lon = std::sin((lon2 - lon1) * k / 2.0);
  const double cosines = std::cos(lat1 * k) * std::cos(lat2 * k);
  const double a = s_lat * s_lat + cosines * (s_lon * s_lon);
  ASSERT_NE(a, s_lat * s_lat + cosines * s_lon * s_lon);
  EXPECT_EQ(Index::dist_km(lat1, lon1, lat2, lon2), 12742.0 * std::asin(std::sqrt(a)));
}

}  // namespace
}  // namespace vorlane::query
