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
using testing::SheetBuilder;
using testing::TestStreet;

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
  const json j = hit_json(full_hit());
  EXPECT_EQ(j, (json{{"lat", 48.8566},
                     {"lon", 2.3522},
                     {"precision", "house"},
                     {"score", 11.0},
                     {"confidence", static_cast<double>(0.93f)},
                     {"street", "Rue de la Paix"},
                     {"housenumber", "4a"},
                     {"commune", "Paris"},
                     {"postcode", "75002"},
                     {"flags", {"street_exact", "commune_exact"}},
                     {"region", "Île-de-France"},
                     {"distance_m", 12.5}}));
  EXPECT_TRUE(j["score"].is_number_float());
}

TEST(HitJson, AbsentPartsAreLeftOutEmptyTextsKept) {
  struct Case {
    const char* what;
    void (*change)(Hit&);
    const char* missing;
  };
  const Case cases[] = {
      {"no house number", [](Hit& h) { h.housenumber.reset(); }, "housenumber"},
      {"no flags", [](Hit& h) { h.flags.clear(); }, "flags"},
      {"no region", [](Hit& h) { h.region.reset(); }, "region"},
      {"forward answer", [](Hit& h) { h.distance_m.reset(); }, "distance_m"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Hit h = full_hit();
    c.change(h);
    const json j = hit_json(h);
    EXPECT_FALSE(j.contains(c.missing));
    EXPECT_EQ(j.size(), 11u);
  }

  Hit bare;  // a place-like hit: empty street and postcode are still written
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
    SCOPED_TRACE(key);
    ASSERT_TRUE(j.contains(key));
    EXPECT_TRUE(j[key].is_null());
  }
  EXPECT_EQ(j["lon"], 2.3522);
}

TEST(HitJson, NestsInsideEvidence) {
  const Hit h = full_hit();
  const json evidence{{"house_exact", true}, {"top", h}};
  EXPECT_EQ(evidence["top"], hit_json(h));
}

SheetBuilder one_street_sheet() {
  SheetBuilder b;
  TestStreet s;
  s.name = "Rue Haute";
  s.lat = 48.0;
  s.lon = 2.0;
  s.postcode = 75011;
  const auto [lat, lon] = testing::offset_m(48.0, 2.0, 10.0, 0.0);
  s.houses = {{2, 0, 48.0, 2.0, 0}, {4, 0, lat, lon, 0}};
  b.streets = {s};
  return b;
}

TEST(MakeHitTrace, EachBuiltHitIsReported) {
  const auto idx = one_street_sheet().open();
  MatchInfo m;
  m.street_exact = true;
  (void)idx->make_hit(0, m, true, 4, 0, false, 0, {});  // no trace: not recorded

  diagnosis::testing::ScopedTrace scope;
  const RankedHit house = idx->make_hit(0, m, true, 4, 0, false, 0, {});
  const RankedHit street = idx->make_hit(0, m, false, 0, 0, false, 0, {});
  const RankedHit nearest = idx->make_hit(0, m, true, 99, 0, false, 0, {});
  const diagnosis::Trace& t = scope.trace();

  ASSERT_EQ(t.hits.size(), 3u);
  EXPECT_EQ(t.hits[0], (json{{"street_id", 0},
                             {"commune_id", 0},
                             {"street", "Rue Haute"},
                             {"commune", "testville"},
                             {"block_house_count", 2},
                             {"requested_number", 4},
                             {"outcome", "house"},
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
