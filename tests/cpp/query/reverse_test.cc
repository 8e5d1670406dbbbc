// What the Python tests of reverse cannot see: tie order against the grid's
// filing order, damaged lists and cells, and the thread's rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using namespace testing;  // the sheet builder

std::vector<std::string> reverse(const SheetBuilder& b, size_t k) {
  const auto idx = b.open();
  auto hits = idx->try_reverse(kLat, kLon, k);
  EXPECT_TRUE(hits.has_value()) << (hits ? "" : hits.error().message());
  std::vector<std::string> out;
  for (const Hit& h : hits ? *hits : std::vector<Hit>{}) {
    out.push_back(h.street + " " + h.housenumber.value_or("-"));
  }
  return out;
}

TEST(TryReverse, EqualDistancesKeepStreetIdOrderNotGridOrder) {
  SheetBuilder b;
  std::vector<uint32_t> filed;
  std::vector<std::string> expected;
  for (uint32_t id = 0; id < 20; ++id) {
    b.streets.push_back(street("S" + std::to_string(id), {house(id + 1, 10)}));
    filed.insert(filed.begin(), id);
    expected.push_back("S" + std::to_string(id) + " " + std::to_string(id + 1));
  }
  b.grid = std::map<uint64_t, std::vector<uint32_t>>{{testing::cell_key(kLat, kLon), filed}};
  EXPECT_EQ(reverse(b, 20), expected);
}

TEST(TryReverse, DamagedListsAndCellsAreSkipped) {
  SheetBuilder b;
  b.streets = {street("A", {}), street("B", {house(3, 5)})};
  // Street A's list breaks after its first house.
  b.streets[0].raw_list = testing::varints({1, 0, 0, 0, 1, 0}) + "\x80";
  b.streets[0].house_count = 2;
  EXPECT_EQ(reverse(b, 5), (std::vector<std::string>{"A 1", "B 3"}));

  // A cell whose id range wraps in 32 bits must not be read.
  std::string cell;
  testing::put_le(cell, testing::cell_key(kLat, kLon), 4);
  testing::put_le(cell, 0xFFFFFFFF, 4);
  testing::put_le(cell, 2, 4);
  b.raw_grid_cells = cell;
  EXPECT_TRUE(reverse(b, 5).empty());
}

TEST(TryReverse, RefusesBadCoordinatesAndRestoresTheCallersRules) {
  SheetBuilder b;
  b.streets = {street("Rue", {house(1)})};
  const auto idx = b.open();
  const rules::Rules outer = rules::defaults();
  rules::CurrentRulesScope scope(outer);
  ASSERT_TRUE(idx->try_reverse(kLat, kLon, 3).has_value());
  EXPECT_EQ(rules::CURRENT, &outer);
  const auto refused = idx->try_reverse(-90.0000001, 180.0, 0);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().code(), ErrorCode::invalid_argument);
  EXPECT_EQ(refused.error().message(),
            "reverse: coordinates out of range or non-finite (lat=-90.0000001, lon=180); "
            "expected finite lat in [-90,90], lon in [-180,180]");
  EXPECT_EQ(rules::CURRENT, &outer);
}

}  // namespace
}  // namespace vorlane::query
