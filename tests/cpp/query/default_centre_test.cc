// The default centre chosen at opening, over the commune fixture in
// tests/data/places with the built-in capitals. As written there, the
// capitals "paris" (four "paris ..." communes, weight 61), "s gravenhage"
// (50) and "санкт петербург" (80) have communes, and the heaviest commune is
// "moskva" (id 14, weight 100), which is no capital's key.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

testing::SheetBuilder fixture() { return testing::places_fixture(); }

// The centre as stored: coordinates go through 1e-7 degree units.
LatLon stored(double lat, double lon) {
  return {testing::e7(lat) / 1e7, testing::e7(lon) / 1e7};
}

LatLon paris_centroid() {
  const std::pair<LatLon, double> parts[] = {  // key order, weights 30, 10, 20, 1
      {stored(48.84, 2.30), 30}, {stored(48.86, 2.34), 10},
      {stored(48.87, 2.34), 20}, {stored(50.52, 1.59), 1}};
  LatLon sum{0, 0};
  for (const auto& [p, w] : parts) sum = {sum.lat + p.lat * w, sum.lon + p.lon * w};
  return {sum.lat / 61, sum.lon / 61};
}

TEST(DefaultCentre, HeaviestCapitalUnlessItWeighsLessThanOneTwentiethOfTheHeaviestCommune) {
  constexpr uint32_t kMoskva = 14, kSochi = 16, kPeterburg = 17, kNowhere = 21;
  const struct {
    const char* what;
    std::vector<std::pair<uint32_t, uint32_t>> weights;  // commune id, new weight
    std::optional<LatLon> centre;
  } cases[] = {
      {"heaviest capital", {}, stored(59.94, 30.31)},
      {"capital at exactly floor(M / 20)", {{kMoskva, 1619}}, stored(59.94, 30.31)},
      {"capital below floor(M / 20)", {{kMoskva, 1620}}, stored(55.75, 37.62)},
      {"equal capital sums: the earlier capital", {{kPeterburg, 61}}, paris_centroid()},
      {"equal heaviest communes: the first", {{kMoskva, 5000}, {kSochi, 5000}},
       stored(55.75, 37.62)},
      {"heaviest commune without coordinates", {{kNowhere, 5000}}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::SheetBuilder b = fixture();
    ASSERT_EQ(b.communes.size(), 77u);
    for (const auto& [id, weight] : c.weights) b.communes[id].weight = weight;
    const auto idx = b.open();
    ASSERT_TRUE(idx);
    ASSERT_EQ(idx->default_centre.has_value(), c.centre.has_value());
    if (c.centre) {
      EXPECT_NEAR(idx->default_centre->lat, c.centre->lat, 1e-9);
      EXPECT_NEAR(idx->default_centre->lon, c.centre->lon, 1e-9);
    }
  }
}

}  // namespace
}  // namespace vorlane::query
