#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using testing::SheetBuilder;
using testing::TestHouse;
using testing::TestStreet;

constexpr double kLat = 48.0;
constexpr double kLon = 2.0;

// House `number` `north_m` metres north of the street point.
TestHouse house(uint32_t number, double north_m = 0.0, uint32_t suffix_id = 0,
                uint32_t postcode_index = 0) {
  const auto [lat, lon] = testing::offset_m(kLat, kLon, north_m, 0.0);
  return TestHouse{number, suffix_id, lat, lon, postcode_index};
}

TestStreet street(std::vector<TestHouse> houses) {
  TestStreet s;
  s.name = "Rue Test";
  s.lat = kLat;
  s.lon = kLon;
  s.houses = std::move(houses);
  return s;
}

std::unique_ptr<Index> sheet_of(std::vector<TestStreet> streets, uint8_t version = 7) {
  SheetBuilder b;
  b.version = version;
  b.suffixes = {"a", "bis"};
  b.streets = std::move(streets);
  return b.open();
}

std::optional<HouseMatch> lookup(const Index& idx, uint32_t number, uint32_t suffix_id = 0,
                                 bool check_postcode = false, uint32_t postcode = 0) {
  return idx.find_house(0, *idx.street(0), number, suffix_id, check_postcode, postcode);
}

double north_of(const HouseMatch& m) { return (m.lat - kLat) * 111320.0; }

TEST(FindHouse, KindsAndChosenHouse) {
  struct Case {
    const char* what;
    std::vector<TestHouse> houses;
    uint32_t number, suffix_id;
    HouseMatchKind kind;
    uint32_t shown_number, shown_suffix;
    double north_m;  // of the returned point
  };
  const Case cases[] = {
      {"exact", {house(2, 10), house(4, 20), house(6, 30)}, 4, 0, HouseMatchKind::Exact, 4, 0, 20},
      {"exact with suffix", {house(4, 10), house(4, 20, 1)}, 4, 1, HouseMatchKind::Exact, 4, 1, 20},
      {"number only shows the house's own suffix",
       {house(2, 10), house(4, 20), house(6, 30)}, 4, 1, HouseMatchKind::NumberOnly, 4, 0, 20},
      {"number only takes the first of the number",
       {house(4, 10, 2), house(4, 20, 0)}, 4, 1, HouseMatchKind::NumberOnly, 4, 2, 10},
      {"interpolated halfway", {house(2, 0), house(10, 80)}, 6, 0, HouseMatchKind::Interpolated,
       6, 0, 40},
      {"interpolated keeps the requested suffix", {house(2, 0), house(10, 80)}, 6, 1,
       HouseMatchKind::Interpolated, 6, 1, 40},
      {"gap of 14 is too wide", {house(2, 0), house(16, 80)}, 6, 0, HouseMatchKind::Nearest, 2,
       0, 0},
      {"gap of 13 is too wide", {house(2, 0), house(15, 10)}, 3, 0, HouseMatchKind::Nearest, 2,
       0, 0},
      {"gap of 12 interpolates", {house(2, 0), house(14, 120)}, 5, 0,
       HouseMatchKind::Interpolated, 5, 0, 30},
      {"same-parity pair", {house(2, 0), house(3, 500), house(9, 900), house(10, 80)}, 6, 0,
       HouseMatchKind::Interpolated, 6, 0, 40},
      {"no same-parity house above", {house(4, 0), house(7, 90), house(9, 900)}, 6, 0,
       HouseMatchKind::Interpolated, 6, 0, 60},
      {"neighbours 400 m apart: nearest, tie goes below", {house(4, 0), house(6, 400)}, 5, 0,
       HouseMatchKind::Nearest, 4, 0, 0},
      {"nearest above when closer", {house(2, 0), house(30, 10), house(40, 20)}, 25, 0,
       HouseMatchKind::Nearest, 30, 0, 10},
      {"below every house", {house(10, 10), house(12, 20)}, 3, 0, HouseMatchKind::Nearest, 10, 0,
       10},
      {"above every house", {house(10, 10), house(12, 20, 1)}, 30, 0, HouseMatchKind::Nearest, 12,
       1, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto idx = sheet_of({street(c.houses)});
    const auto m = lookup(*idx, c.number, c.suffix_id);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->kind, c.kind);
    EXPECT_EQ(m->number, c.shown_number);
    EXPECT_EQ(m->suffix_id, c.shown_suffix);
    EXPECT_NEAR(north_of(*m), c.north_m, 0.05);
    EXPECT_NEAR(m->lon, kLon, 1e-9);
  }
}

TEST(FindHouse, InterpolationIsLinearInDoublePrecision) {
  const auto idx = sheet_of({street({house(4, 0), house(7, 90)})});
  const auto m = lookup(*idx, 6);
  ASSERT_TRUE(m.has_value());
  const HouseMatch lo = *lookup(*idx, 4), hi = *lookup(*idx, 7);
  const double t = 2.0 / 3.0;
  EXPECT_EQ(m->lat, lo.lat + (hi.lat - lo.lat) * t);
  EXPECT_EQ(m->lon, lo.lon + (hi.lon - lo.lon) * t);
}

// Two houses numbered 12 without suffix, each with its own postcode.
TestStreet duplicate_twelves(std::vector<std::string> dictionary, uint32_t first_pc,
                             uint32_t second_pc) {
  TestStreet s = street({house(10, 0), house(12, 10, 0, first_pc), house(12, 20, 0, second_pc),
                         house(14, 30)});
  s.house_postcodes = std::move(dictionary);
  return s;
}

TEST(FindHouse, PostcodeChoosesAmongDuplicates) {
  const auto idx = sheet_of({duplicate_twelves({"75001", "75002"}, 1, 2)});
  const auto first = lookup(*idx, 12, 0, true, 75001);
  const auto second = lookup(*idx, 12, 0, true, 75002);
  const auto neither = lookup(*idx, 12, 0, true, 75003);
  const auto unchecked = lookup(*idx, 12, 0, false, 75002);
  for (const auto& m : {first, second, neither, unchecked}) {
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->kind, HouseMatchKind::Exact);
    EXPECT_EQ(m->number, 12u);
  }
  EXPECT_NEAR(north_of(*first), 10, 0.05);
  EXPECT_NEAR(north_of(*second), 20, 0.05);
  EXPECT_NEAR(north_of(*neither), 10, 0.05);
  EXPECT_NEAR(north_of(*unchecked), 10, 0.05);
  EXPECT_EQ(idx->name(second->postcode_ref), "75002");
  EXPECT_EQ(idx->name(first->postcode_ref), "75001");
}

TEST(FindHouse, PostcodeWithLettersOrMissingNeverPasses) {
  // The second house's postcode holds a letter: the first house wins.
  const auto lettered = sheet_of({duplicate_twelves({"75001", "75002X"}, 1, 2)});
  EXPECT_NEAR(north_of(*lookup(*lettered, 12, 0, true, 75002)), 10, 0.05);
  // Only the first house has a postcode: a query postcode 0 must not pick the
  // house without one.
  const auto missing = sheet_of({duplicate_twelves({"75001"}, 1, 0)});
  EXPECT_NEAR(north_of(*lookup(*missing, 12, 0, true, 0)), 10, 0.05);
}

TEST(FindHouse, InterpolatedPostcodeOnlyWhenBothNeighboursAgree) {
  TestStreet s = street({house(2, 0, 0, 1), house(6, 40, 0, 1), house(10, 80, 0, 2)});
  s.house_postcodes = {"75001", "75002"};
  const auto idx = sheet_of({s});
  const auto same = lookup(*idx, 4);
  const auto differ = lookup(*idx, 8);
  ASSERT_EQ(same->kind, HouseMatchKind::Interpolated);
  ASSERT_EQ(differ->kind, HouseMatchKind::Interpolated);
  EXPECT_EQ(idx->name(same->postcode_ref), "75001");
  EXPECT_EQ(differ->postcode_ref, 0u);
}

TEST(FindHouse, DamagedListsGiveNoResult) {
  struct Case {
    const char* what;
    std::string list;
    uint32_t request;
  };
  using testing::put_varint;
  const auto entry = [](std::string& out, uint64_t number, uint64_t dlat = 0) {
    put_varint(out, number);
    put_varint(out, 0);
    put_varint(out, dlat);
    put_varint(out, 0);
  };
  std::string sum_overflow, wide_number, wide_suffix, lat_out_of_range, lat_wraps, truncated;
  entry(sum_overflow, 1);
  entry(sum_overflow, 0xFFFFFFFF);
  entry(wide_number, uint64_t{1} << 32);
  put_varint(wide_suffix, 2);
  put_varint(wide_suffix, uint64_t{1} << 32);
  wide_suffix += std::string(2, '\0');
  entry(lat_out_of_range, 2, testing::zigzag(900000000 - testing::e7(kLat) + 1));
  entry(lat_wraps, 2, testing::zigzag(INT64_MAX));
  entry(truncated, 2);
  truncated += std::string("\x02\x00\x80", 3);
  const Case cases[] = {
      {"number sum past 2^32-1", sum_overflow, 3},
      {"number wider than 32 bits", wide_number, 3},
      {"suffix wider than 32 bits", wide_suffix, 3},
      {"latitude past 90", lat_out_of_range, 3},
      {"latitude sum overflows 64 bits", lat_wraps, 3},
      {"list ends inside a varint", truncated, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestStreet s = street({});
    s.raw_list = c.list;
    s.house_count = 2;
    const auto idx = sheet_of({s});
    EXPECT_FALSE(lookup(*idx, c.request).has_value());
  }
}

TEST(FindHouse, StopsReadingOnceTheAnswerIsFixed) {
  // Each list ends in a broken varint: a lookup that reads that far finds
  // nothing, one whose answer is fixed earlier never gets there.
  struct Case {
    const char* what;
    std::vector<std::pair<uint32_t, uint32_t>> houses;  // number, suffix id
    uint32_t number, suffix_id;
    std::optional<HouseMatchKind> kind;
  };
  const Case cases[] = {
      {"exact", {{2, 0}}, 2, 0, HouseMatchKind::Exact},
      {"same-parity house above ends the scan", {{1, 0}, {5, 0}}, 3, 0,
       HouseMatchKind::Interpolated},
      {"other parity above after the number", {{3, 0}, {5, 1}, {6, 0}}, 5, 0,
       HouseMatchKind::NumberOnly},
      {"other parity above, none of the same parity below", {{3, 0}, {5, 0}}, 4, 0,
       HouseMatchKind::Interpolated},
      {"other parity above, one of the same parity below: keeps reading", {{4, 0}, {7, 0}}, 6,
       0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string list;
    uint32_t previous = 0;
    for (const auto& [number, suffix] : c.houses) {
      for (uint32_t v : {number - previous, suffix, 0u, 0u}) testing::put_varint(list, v);
      previous = number;
    }
    list += "\xFF\xFF";
    TestStreet s = street({});
    s.raw_list = list;
    s.house_count = static_cast<uint32_t>(c.houses.size()) + 1;
    const auto idx = sheet_of({s});
    const auto m = lookup(*idx, c.number, c.suffix_id);
    EXPECT_EQ(m ? std::optional(m->kind) : std::nullopt, c.kind);
  }
}

TEST(FindHouse, VersionSixReadsNoDictionary) {
  // On a version-6 sheet an all-ones postcode field carries no dictionary:
  // the list starts with the first house.
  TestStreet s = street({house(8, 10), house(9, 20)});
  s.per_house_field = true;
  const auto idx = sheet_of({s}, 6);
  const auto m = lookup(*idx, 9, 0, true, 0);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->kind, HouseMatchKind::Exact);
  EXPECT_EQ(m->postcode_ref, 0u);
}

TEST(FindHouse, StreetIdPastTheTable) {
  const auto idx = sheet_of({street({house(1)})});
  EXPECT_FALSE(idx->find_house(1, *idx->street(0), 1, 0, false, 0).has_value());
}

TEST(FieldHouseFromIds, FirstHouseWhenAllOccurrencesAreClose) {
  TestStreet a = street({house(10, 0), house(12, 0, 2)});
  TestStreet b = street({house(12, 100)});
  a.name = "Rue A";
  b.name = "Rue B";
  const auto idx = sheet_of({a, b});
  const std::vector<uint32_t> ids = {0, 1};
  const auto got = idx->field_house_from_ids(ids, 12);
  ASSERT_TRUE(got.has_value());
  const Hit& hit = got->first;
  EXPECT_EQ(hit.precision, "house");
  EXPECT_EQ(hit.street, "Rue A");
  EXPECT_EQ(hit.housenumber, "12bis");
  EXPECT_EQ(hit.commune, "testville");
  EXPECT_EQ(hit.flags, (std::vector<std::string_view>{"street_exact"}));
  EXPECT_EQ(hit.score, 5.0f);  // 3 + 1 (house found) + 1
  EXPECT_EQ(hit.confidence, 0.29f);
  EXPECT_EQ(got->second, (FeatureVector{1, 0, 0, 0, 0, 0, 0, 1, 0, 1}));

  const std::vector<uint32_t> reversed = {1, 0};
  const auto from_b = idx->field_house_from_ids(reversed, 12);
  ASSERT_TRUE(from_b.has_value());
  EXPECT_EQ(from_b->first.street, "Rue B");
  EXPECT_EQ(from_b->first.housenumber, "12");
  EXPECT_EQ(from_b->first.score, 6.0f);
  EXPECT_EQ(from_b->first.confidence, 0.6f);
  EXPECT_EQ(from_b->first.flags, (std::vector<std::string_view>{"street_exact", "house_rep"}));
  EXPECT_EQ(from_b->second, (FeatureVector{1, 0, 0, 0, 0, 0, 0, 1, 1, 1}));
}

TEST(FieldHouseFromIds, NoResult) {
  const auto idx = sheet_of({street({house(12, 0)}), street({house(12, 200)}),
                             street({house(14, 0)})});
  const auto ask = [&](std::vector<uint32_t> ids, uint32_t number) {
    return idx->field_house_from_ids(ids, number).has_value();
  };
  EXPECT_FALSE(ask({0, 1}, 12));  // 200 m apart: ambiguous
  EXPECT_FALSE(ask({}, 12));
  EXPECT_FALSE(ask({7, 9}, 12));  // past the table
  EXPECT_FALSE(ask({0, 2}, 13));
  EXPECT_TRUE(ask({0, 2, 9}, 12));
}

TEST(FieldHouseFromIds, RankingModelScoresAndCapsConfidence) {
  SheetBuilder b;
  b.streets = {street({house(12)})};
  b.rank_model = std::make_pair(-8.0f, std::array<float, 10>{1, 0, 0, 0, 0, 0, 0, 2, 0.5f, 0.25f});
  const auto idx = b.open();
  const std::vector<uint32_t> ids = {0};
  const auto got = idx->field_house_from_ids(ids, 12);
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

}  // namespace
}  // namespace vorlane::query
