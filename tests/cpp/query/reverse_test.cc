#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using testing::SheetBuilder;
using testing::TestHouse;
using testing::TestStreet;

// The query point: the middle of a grid cell.
constexpr double kLat = 48.005;
constexpr double kLon = 2.005;

TestHouse house_at(uint32_t number, double north_m, double east_m = 0.0, uint32_t suffix_id = 0,
                   uint32_t pc = 0) {
  const auto [lat, lon] = testing::offset_m(kLat, kLon, north_m, east_m);
  return TestHouse{number, suffix_id, lat, lon, pc};
}

TestStreet street(std::string name, std::vector<TestHouse> houses) {
  TestStreet s;
  s.name = std::move(name);
  s.lat = kLat;
  s.lon = kLon;
  s.houses = std::move(houses);
  return s;
}

std::vector<Hit> reverse(const Index& idx, size_t k, double lat = kLat, double lon = kLon) {
  auto hits = idx.try_reverse(lat, lon, k);
  EXPECT_TRUE(hits.has_value()) << (hits ? "" : hits.error().message());
  return hits ? *hits : std::vector<Hit>{};
}

std::vector<std::string> numbers(const std::vector<Hit>& hits) {
  std::vector<std::string> out;
  for (const Hit& h : hits) out.push_back(h.street + " " + h.housenumber.value_or("-"));
  return out;
}

TEST(TryReverse, RejectsBadCoordinatesBeforeAnythingElse) {
  SheetBuilder b;
  b.streets = {street("Rue", {house_at(1, 0)})};
  const auto idx = b.open();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double lat, lon;
    std::string shown;
  } cases[] = {
      {90.5, 0.0, "lat=90.5, lon=0"},
      {0.0, std::nan(""), "lat=0, lon=NaN"},
      {inf, -inf, "lat=inf, lon=-inf"},
      {-90.0000001, 180.0, "lat=-90.0000001, lon=180"},
      {1.0, 1e300, "lat=1, lon=1" + std::string(300, '0')},
  };
  for (const auto& c : cases) {
    for (const size_t k : {size_t{0}, size_t{3}}) {
      const auto got = idx->try_reverse(c.lat, c.lon, k);
      ASSERT_FALSE(got.has_value()) << c.shown;
      EXPECT_EQ(got.error().code(), ErrorCode::invalid_argument);
      EXPECT_EQ(got.error().message(),
                "reverse: coordinates out of range or non-finite (" + c.shown +
                    "); expected finite lat in [-90,90], lon in [-180,180]");
    }
  }
}

TEST(TryReverse, GridEdgesAndZeroK) {
  SheetBuilder b;
  TestStreet corner = street("Corner", {TestHouse{7, 0, 89.9999, 179.9999, 0}});
  corner.lat = 89.9999;
  corner.lon = 179.9999;
  b.streets = {street("Rue", {house_at(1, 0)}), corner};
  const auto idx = b.open();
  EXPECT_EQ(numbers(reverse(*idx, 3, 90.0, 180.0)), std::vector<std::string>{"Corner 7"});
  EXPECT_TRUE(reverse(*idx, 0).empty());
  EXPECT_TRUE(reverse(*idx, 3, -45.0, -100.0).empty());  // no cell nearby
}

TEST(TryReverse, PrecisionConfidenceAndDistanceByRange) {
  SheetBuilder b;
  b.streets = {street("Rue", {house_at(1, 5), house_at(2, 49.96), house_at(3, -50.04),
                              house_at(4, 0, 100), house_at(5, 249.9), house_at(6, -250.1),
                              house_at(7, 0, -500)})};
  const auto idx = b.open();
  const auto hits = reverse(*idx, 10);
  ASSERT_EQ(hits.size(), 7u);
  const struct {
    const char* number;
    std::string_view precision;
    double distance_m;
    double confidence;
  } want[] = {
      {"1", "house", 5.0, 0.95},        {"2", "house", 50.0, 0.87008},
      {"3", "near", 50.0, 0.86992},     {"4", "near", 100.0, 0.77},
      {"5", "near", 249.9, 0.4702},     {"6", "approximate", 250.1, 0.4698},
      {"7", "approximate", 500.0, 0.1},
  };
  for (size_t i = 0; i < hits.size(); ++i) {
    SCOPED_TRACE(want[i].number);
    EXPECT_EQ(hits[i].housenumber, want[i].number);
    EXPECT_EQ(hits[i].precision, want[i].precision);
    EXPECT_EQ(hits[i].distance_m, want[i].distance_m);
    EXPECT_NEAR(hits[i].confidence, want[i].confidence, 2e-5);
    EXPECT_EQ(hits[i].score, 0.0f);
    EXPECT_TRUE(hits[i].flags.empty());
  }
  EXPECT_EQ(hits[6].confidence, 0.1f);
  EXPECT_EQ(hits[0].confidence, 0.95f);
}

TEST(TryReverse, HitTexts) {
  SheetBuilder b;
  b.suffixes = {"a"};
  TestStreet s = street("Allée Verte", {house_at(3, 1, 0, 1, 2), house_at(4, 2, 0, 0, 0)});
  s.house_postcodes = {"75001", "75002"};
  b.streets = {s};
  auto idx = b.open();
  const int32_t lo = testing::e7(47.0), hi = testing::e7(49.0);
  idx->admin_regions = {AdminRegion{"Région", {{{lo, 0}, {lo, hi}, {hi, hi}, {hi, 0}}}, lo, 0,
                                    hi, hi}};
  const auto hits = reverse(*idx, 3);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].street, "Allée Verte");
  EXPECT_EQ(hits[0].commune, "testville");
  EXPECT_EQ(hits[0].housenumber, "3a");
  EXPECT_EQ(hits[0].postcode, "75002");
  EXPECT_EQ(hits[0].region, "Région");
  EXPECT_EQ(hits[1].housenumber, "4");
  EXPECT_EQ(hits[1].postcode, "");
  EXPECT_NEAR(hits[0].lat, kLat + 1 / 111320.0, 1e-7);
}

TEST(TryReverse, AtMostKAndAtMostOneHundred) {
  SheetBuilder b;
  std::vector<TestHouse> houses;
  for (uint32_t n = 1; n <= 150; ++n) houses.push_back(house_at(n, n));
  b.streets = {street("Long", houses)};
  const auto idx = b.open();
  EXPECT_EQ(reverse(*idx, 500).size(), 100u);
  EXPECT_EQ(reverse(*idx, 100).size(), 100u);
  const auto two = reverse(*idx, 2);
  EXPECT_EQ(numbers(two), (std::vector<std::string>{"Long 1", "Long 2"}));
}

TEST(TryReverse, DuplicateHousesCollapseToTheNearestRecord) {
  SheetBuilder b;
  b.streets = {street("A", {house_at(5, 30), house_at(5, 10), house_at(5, 20, 0, 0)}),
               street("B", {house_at(5, 15)})};
  const auto idx = b.open();
  const auto hits = reverse(*idx, 10);
  EXPECT_EQ(numbers(hits), (std::vector<std::string>{"A 5", "B 5"}));
  EXPECT_EQ(hits[0].distance_m, 10.0);
}

TEST(TryReverse, EqualDistancesKeepStreetIdOrder) {
  // Twenty streets with a house at the same point, filed in the grid in
  // reverse id order: the answer follows the street ids.
  SheetBuilder b;
  std::vector<uint32_t> filed;
  for (uint32_t id = 0; id < 20; ++id) {
    b.streets.push_back(street("S" + std::to_string(id), {house_at(id + 1, 10)}));
    filed.insert(filed.begin(), id);
  }
  b.grid = std::map<uint64_t, std::vector<uint32_t>>{{testing::cell_key(kLat, kLon), filed}};
  const auto idx = b.open();
  const auto hits = reverse(*idx, 20);
  ASSERT_EQ(hits.size(), 20u);
  for (uint32_t id = 0; id < 20; ++id) EXPECT_EQ(hits[id].street, "S" + std::to_string(id));
}

// Streets filed in the grid `ring` cells north of the query cell; each has
// one house right at the query point.
SheetBuilder ringed(const std::vector<int>& rings) {
  SheetBuilder b;
  std::map<uint64_t, std::vector<uint32_t>> grid;
  for (uint32_t id = 0; id < rings.size(); ++id) {
    b.streets.push_back(street("R" + std::to_string(rings[id]) + "-" + std::to_string(id),
                               {house_at(id + 1, id)}));
    grid[testing::cell_key(kLat + 0.01 * rings[id], kLon)].push_back(id);
  }
  b.grid = grid;
  return b;
}

TEST(TryReverse, RingsWidenUntilThreeStreets) {
  const auto streets_of = [](const std::vector<int>& rings) {
    std::vector<std::string> out;
    for (const Hit& h : reverse(*ringed(rings).open(), 100)) out.push_back(h.street);
    return out;
  };
  using V = std::vector<std::string>;
  // Three streets within one cell: the ring-2 street is not looked at.
  EXPECT_EQ(streets_of({0, 1, 1, 2}), (V{"R0-0", "R1-1", "R1-2"}));
  // Two within one cell: the whole radius-2 square is used.
  EXPECT_EQ(streets_of({0, 1, 2, 2, 2}), (V{"R0-0", "R1-1", "R2-2", "R2-3", "R2-4"}));
  // Fewer than three even at radius 4: those found are used.
  EXPECT_EQ(streets_of({3, 4}), (V{"R3-0", "R4-1"}));
  EXPECT_EQ(streets_of({5}), V{});
}

TEST(TryReverse, DamagedGridCellsAndListsAreSkipped) {
  SheetBuilder b;
  b.streets = {street("A", {house_at(1, 10), house_at(2, 20)}), street("B", {house_at(3, 5)})};
  // Street A's list breaks after its first house.
  std::string list;
  for (int v : {1, 0, 0, 0}) testing::put_varint(list, v);
  list += std::string("\x01\x00\x80", 3);
  b.streets[0].raw_list = list;
  b.streets[0].house_count = 2;
  const auto idx = b.open();
  EXPECT_EQ(numbers(reverse(*idx, 5)), (std::vector<std::string>{"A 1", "B 3"}));

  // A cell whose id range wraps in 32 bits must not be read.
  SheetBuilder wrapped = b;
  std::string cell;
  testing::put_le(cell, testing::cell_key(kLat, kLon), 4);
  testing::put_le(cell, 0xFFFFFFFF, 4);
  testing::put_le(cell, 2, 4);
  wrapped.raw_grid_cells = cell;
  EXPECT_TRUE(reverse(*wrapped.open(), 5).empty());
}

TEST(TryReverse, NearThePoleTheEastWestTermIsFloored) {
  SheetBuilder b;
  TestStreet s = street("Polar", {TestHouse{1, 0, 89.999, 0.001, 0}});
  s.lat = 89.999;
  s.lon = 0.0;
  b.streets = {s};
  const auto idx = b.open();
  const auto hits = reverse(*idx, 1, 89.999, 0.0);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].distance_m, 1.1);  // 0.001 degree * 111320 m * 0.01
}

TEST(TryReverse, RestoresTheCallersRules) {
  SheetBuilder b;
  b.streets = {street("Rue", {house_at(1, 0)})};
  const auto idx = b.open();
  const rules::Rules outer = rules::defaults();
  rules::CurrentRulesScope scope(outer);
  ASSERT_TRUE(idx->try_reverse(kLat, kLon, 3).has_value());
  EXPECT_EQ(rules::CURRENT, &outer);
  ASSERT_FALSE(idx->try_reverse(91.0, kLon, 3).has_value());
  EXPECT_EQ(rules::CURRENT, &outer);
}

}  // namespace
}  // namespace vorlane::query
