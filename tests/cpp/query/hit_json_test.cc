// The hit serialisation used as diagnosis evidence, and the hit event that
// make_hit reports to a thread's diagnosis trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "sheet_builder.h"
#include "vorlane/diagnosis/trace_contents.h"
#include "vorlane/query/hit_json.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using nlohmann::json;

Hit full_hit() {
  Hit h;
  h.lat = 48.8566;
  h.lon = 2.3522;
  h.precision = kPrecisionHouse;
  h.score = 11.0f;
  h.confidence = 0.93f;
  h.street = "Rue de la Paix";
  h.housenumber = "4a";
  h.commune = "Paris";
  h.postcode = "75002";
  h.flags = {"street_exact", "commune_exact"};
  h.region = "Île-de-France";
  h.distance_m = 12.5;
  return h;
}

TEST(HitJson, EveryFieldWithNumbersWidenedFromSinglePrecision) {
  // Keys come out sorted; single-precision numbers are widened, not rounded.
  const json j = hit_json(full_hit());
  EXPECT_EQ(j.dump(),
            R"({"commune":"Paris","confidence":0.9300000071525574,"distance_m":12.5,)"
            R"("flags":["street_exact","commune_exact"],"housenumber":"4a","lat":48.8566,)"
            R"("lon":2.3522,"postcode":"75002","precision":"house","region":"Île-de-France",)"
            R"("score":11.0,"street":"Rue de la Paix"})");
  EXPECT_EQ((json{{"top", full_hit()}}["top"]), j);  // nests inside evidence

  Hit bare;  // absent parts are left out, empty texts are written
  bare.precision = kPrecisionCity;
  EXPECT_EQ(hit_json(bare).dump(),
            R"({"commune":"","confidence":0.0,"lat":0.0,"lon":0.0,"postcode":"",)"
            R"("precision":"city","score":0.0,"street":""})");
}

TEST(HitJson, NonFiniteNumbersBecomeNull) {
  Hit h = full_hit();
  h.lat = std::numeric_limits<double>::quiet_NaN();
  h.score = -std::numeric_limits<float>::infinity();
  h.confidence = std::numeric_limits<float>::quiet_NaN();
  h.distance_m = std::numeric_limits<double>::infinity();
  const json j = hit_json(h);
  for (const char* key : {"lat", "score", "confidence", "distance_m"}) {
    EXPECT_TRUE(j.contains(key) && j[key].is_null()) << key;
  }
  EXPECT_EQ(j["lon"], 2.3522);
}

TEST(MakeHitTrace, EachBuiltHitIsReported) {
  testing::SheetBuilder b;
  b.streets = {testing::street("Rue Haute", {testing::house(2), testing::house(4, 10)})};
  const auto idx = b.open();
  MatchInfo m;
  m.street_exact = true;
  (void)idx->make_hit(0, m, true, 4, 0, false, 0, {});  // no trace: not recorded

  diagnosis::testing::ScopedTrace scope;
  const RankedHit house = idx->make_hit(0, m, true, 4, 0, false, 0, {});
  const RankedHit street = idx->make_hit(0, m, false, 0, 0, false, 0, {});
  const RankedHit nearest = idx->make_hit(0, m, true, 99, 0, false, 0, {});
  const diagnosis::Trace& t = scope.trace();

  ASSERT_EQ(t.hits.size(), 3u);
  EXPECT_EQ(t.hits[0], (json{{"street_id", 0}, {"commune_id", 0}, {"street", "Rue Haute"},
                             {"commune", "testville"}, {"block_house_count", 2},
                             {"requested_number", 4}, {"outcome", "house"},
                             {"score", static_cast<double>(house.hit.score)}}));
  EXPECT_TRUE(t.hits[1]["requested_number"].is_null());
  EXPECT_EQ(t.hits[1]["outcome"], "street");
  EXPECT_EQ(t.hits[2]["requested_number"], 99);
  EXPECT_EQ(t.hits[2]["outcome"], "near");  // placed at the nearest house, 4
  EXPECT_EQ(t.counts.hits, 3u);
  EXPECT_EQ(t.counts.hits_with_house_number, 2u);
  EXPECT_EQ(t.counts.hits_placed, 2u);
  EXPECT_EQ(t.best_score, std::max({house.hit.score, street.hit.score, nearest.hit.score}));
}

}  // namespace
}  // namespace vorlane::query
