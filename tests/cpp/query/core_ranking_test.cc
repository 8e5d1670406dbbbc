// Candidate order, ranking and the post-filters of the matching core, over
// hand-built rows (the sheets only answer "German or not").
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core_fixture.h"
#include "vorlane/query/de_post_filters.h"
#include "vorlane/query/ranking.h"

namespace vorlane::query {
namespace {

using ::testing::ElementsAreArray;
using testing::core_sheet;

constexpr double kKmPerDegree = 12742.0 / 2 * 0.017453292519943295;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A house row on "Hauptstrasse" at `km` north of (50, 8), with both the
// street and the house found exactly.
RankedHit row(uint32_t id, double km = 0.0, float score = 8.0f, uint32_t weight = 10) {
  RankedHit r;
  r.street_id = id;
  r.hit.street = "Hauptstrasse";
  r.hit.commune = "Ort " + std::to_string(id);
  r.hit.lat = 50.0 + km / kKmPerDegree;
  r.hit.lon = 8.0;
  r.hit.precision = kPrecisionHouse;
  r.hit.score = score;
  r.hit.confidence = 0.9f;
  r.features = {1, 0, 0, 0, 0, 0, 0, 1, 1, 1};
  r.commune_weight = weight;
  return r;
}

std::vector<uint32_t> ids(const std::vector<RankedHit>& rows) {
  std::vector<uint32_t> out;
  for (const RankedHit& r : rows) out.push_back(r.street_id);
  return out;
}

TEST(CoreRanking, CandidateOrderAndCut) {
  CandidateMap kept;
  kept[0].street_exact = true;                                      // 3, Velmont 5000
  kept[7].street_exact = kept[7].commune_exact = true;              // 6, Orsange 300
  kept[1].street_exact = kept[1].commune_exact = true;              // 6, Orsange 300
  kept[2].street_exact = kept[2].commune_exact = kept[2].pc_exact = true;  // 8
  std::vector<uint32_t> order;
  for (const CandidateEntry& e : ordered_candidates(core_sheet("fr"), kept.entries())) {
    order.push_back(e.street_id);
  }
  EXPECT_EQ(order, (std::vector<uint32_t>{2, 1, 7, 0}));

  const auto cut = [](size_t k, std::optional<uint32_t> pinned) {
    std::vector<CandidateEntry> entries(40);
    for (uint32_t i = 0; i < 40; ++i) entries[i].street_id = i;
    cut_candidates(entries, k, pinned);
    return entries;
  };
  EXPECT_EQ(cut(5, std::nullopt).size(), 30u);
  EXPECT_EQ(cut(15, std::nullopt).size(), 40u);
  EXPECT_EQ(cut(10, 33).size(), 31u);
  EXPECT_EQ(cut(10, 33).back().street_id, 33u);
  EXPECT_EQ(cut(10, 12).size(), 30u);
}

TEST(CoreRanking, WordsAndAnchor) {
  EXPECT_EQ(query_words("12 12b улица"),
            (std::vector<std::u32string>{U"12b", U"12б", U"улица", U"ulica"}));
  EXPECT_EQ(anchor_words("12b rue x 75001"), (std::vector<std::string_view>{"12b", "rue"}));

  const Index& fr = core_sheet("fr");
  const rules::CurrentRulesScope scope(fr.active_rules());
  const std::optional<Anchor> place = choose_anchor(fr, "rue de la paix velmont");  // 5000
  ASSERT_TRUE(place);
  EXPECT_TRUE(place->from_place);
  const std::optional<Anchor> centre = choose_anchor(fr, "rue de la paix orsange");  // 300
  ASSERT_TRUE(centre);
  EXPECT_FALSE(centre->from_place);
  EXPECT_EQ(centre->lat, fr.default_centre->lat);
}

TEST(CoreRanking, Comparator) {
  const struct {
    const char* what;
    std::vector<RankedHit> rows;
    std::vector<double> anchor_km;
    std::optional<uint32_t> postcode;
    std::vector<uint32_t> order;
  } cases[] = {
      {"score first", {row(0, 0, 4.0f), row(1, 0, 5.0f)}, {0, 0}, {}, {1, 0}},
      {"NaN score counts as equal",
       [] {
         std::vector<RankedHit> r{row(0, 0, kNaN), row(1, 0, 9.0f)};
         r[1].street_similarity = -1;
         return r;
       }(),
       {0, 0}, {}, {0, 1}},
      {"postcode closeness",
       [] {
         std::vector<RankedHit> r{row(0), row(1), row(2)};
         r[0].hit.postcode = "75002";
         r[1].hit.postcode = "+75010";
         r[2].hit.postcode = "D-75011";
         r[2].house_distance = 1;
         return r;
       }(),
       {0, 0, 0}, 75011, {1, 0, 2}},
      {"house distance, anchor, weight",
       [] {
         std::vector<RankedHit> r{row(0, 0, 8, 5), row(1, 0, 8, 9), row(2), row(3, 0, 8, 1)};
         r[2].house_distance = 2;
         return r;
       }(),
       {3, 3, 0, 1}, {}, {3, 1, 0, 2}},
      {"ties keep candidate order", {row(0), row(1), row(2)}, {0, 0, 0}, {}, {0, 1, 2}},
  };
  for (auto c : cases) {
    rank_rows(c.rows, c.anchor_km, c.postcode);
    EXPECT_EQ(ids(c.rows), c.order) << c.what;
  }
}

TEST(CoreRanking, AnchorPromotion) {
  const Index& fr = core_sheet("fr");
  const Anchor centre{50.0, 8.0, false};
  const auto promote = [&](const Index& idx, std::vector<RankedHit> rows, const Anchor& anchor,
                           std::optional<uint32_t> postcode = {}) {
    RowStreetKeys keys;
    promote_near_default_centre(idx, rows, anchor, postcode, keys);
    return ids(rows);
  };
  std::vector<RankedHit> rows = {row(0, 70), row(1, 50), row(2, 30), row(3, 20)};
  rows[1].hit.street = "Hauptstrasse Nord";
  EXPECT_EQ(promote(fr, rows, centre), (std::vector<uint32_t>{2, 0, 1, 3}));
  EXPECT_EQ(promote(fr, {row(0, 70), row(1, 40.1)}, centre), (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(promote(fr, {row(0, 59.9), row(1, 30)}, centre), (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(promote(fr, {row(0, 70), row(1, 30)}, Anchor{50.0, 8.0, true}),
            (std::vector<uint32_t>{0, 1}));
  std::vector<RankedHit> de_rows = {row(0, 70), row(1, 30)};
  de_rows[0].features[kPcExact] = 1;
  EXPECT_EQ(promote(core_sheet("de"), de_rows, centre, 10115), (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(promote(core_sheet("de"), de_rows, centre), (std::vector<uint32_t>{1, 0}));
}

TEST(CoreRanking, CitylessProminenceAndFarAmbiguity) {
  const auto prominence = [](const Index& idx, std::vector<RankedHit> rows,
                             std::optional<uint32_t> postcode) {
    RowStreetKeys keys;
    promote_cityless_prominence(idx, rows, postcode, "hauptstrasse", keys);
    return rows;
  };
  const std::vector<RankedHit> tied = {row(0, 0, 8, 10), row(1, 0, 8, 30), row(2, 0, 8, 20)};
  const std::vector<RankedHit> moved = prominence(core_sheet("de"), tied, std::nullopt);
  EXPECT_EQ(ids(moved), (std::vector<uint32_t>{1, 0, 2}));
  EXPECT_THAT(moved[0].hit.flags, ElementsAreArray({"de_cityless_prominence"}));
  EXPECT_EQ(ids(prominence(core_sheet("de"), tied, 10115)), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(ids(prominence(core_sheet("fr"), tied, std::nullopt)), (std::vector<uint32_t>{0, 1, 2}));

  const struct {
    float second_score;
    double second_km;
    bool capped;
  } far[] = {{4.0f, 100, false}, {4.5f, 51, true}, {4.5f, 49.9, false}, {kNaN, 100, false}};
  for (const auto& c : far) {
    std::vector<RankedHit> rows = {row(0, 0, 5.0f), row(1, c.second_km, c.second_score)};
    flag_far_ambiguity(rows);
    EXPECT_EQ(rows[0].hit.confidence, c.capped ? 0.2f : 0.9f) << c.second_score << " " << c.second_km;
    EXPECT_EQ(rows[0].hit.flags.size(), c.capped ? 1u : 0u);
  }
}

TEST(CoreRanking, RetainedLocality) {
  // Twins of the top that differ only in commune; the context kept "Neustadt".
  const auto twins = [](std::vector<const char*> communes) {
    std::vector<RankedHit> rows;
    for (uint32_t i = 0; i < communes.size(); ++i) {
      rows.push_back(row(i));
      rows.back().hit.commune = communes[i];
    }
    return rows;
  };
  const struct {
    const char* what;
    std::vector<const char*> communes;
    std::vector<uint32_t> order;
  } cases[] = {
      {"agreement 1 at 2, 2 at 3", {"Altdorf", "Dorf", "Neustadt Nord", "Stadt Neustadt"}, {3, 0, 1, 2}},
      {"two twins of agreement 2", {"Altdorf", "Neustadt", "Neustadt"}, {0, 1, 2}},
      {"top agrees", {"Neustadt Ost", "Neustadt"}, {0, 1}},
      {"agreement 0 never moves", {"Altdorf", "Rhein Neustadt"}, {0, 1}},
      {"past the window", {"Altdorf", "A", "B", "C", "D", "Neustadt"}, {0, 1, 2, 3, 4, 5}},
  };
  const DeLocalityContext context{"neustadt", "neustadt am rhein", false};
  for (const auto& c : cases) {
    std::vector<RankedHit> rows = twins(c.communes);
    RowStreetKeys keys;
    promote_retained_locality(rows, context, keys);
    EXPECT_EQ(ids(rows), c.order) << c.what;
  }
  std::vector<RankedHit> rows = twins({"Altdorf", "Neustadt"});
  rows[1].house_distance = 1;  // no twin
  RowStreetKeys keys;
  promote_retained_locality(rows, context, keys);
  EXPECT_EQ(ids(rows), (std::vector<uint32_t>{0, 1}));
  // A tail piece of 3 characters does not qualify a commune.
  rows = twins({"Altdorf", "Ulm"});
  promote_retained_locality(rows, DeLocalityContext{"ulm", "ulm", false}, keys);
  EXPECT_EQ(ids(rows), (std::vector<uint32_t>{0, 1}));
}

TEST(CoreRanking, PostalTail) {
  const auto run = [](std::vector<const char*> postcodes, bool eligible, bool german) {
    std::vector<RankedHit> rows;
    for (uint32_t i = 0; i < postcodes.size(); ++i) {
      rows.push_back(row(i));
      rows.back().hit.postcode = postcodes[i];
      rows.back().features[kPcExact] = i > 0 ? 1 : 0;
    }
    promote_postal_tail(rows, DeLocalityContext{"x", "", eligible}, 1067, german);
    return rows;
  };
  const std::vector<RankedHit> moved = run({"10115", "D-01067", "+01067"}, true, true);
  EXPECT_EQ(ids(moved), (std::vector<uint32_t>{2, 0, 1}));
  EXPECT_THAT(moved[0].hit.flags, ElementsAreArray({"de_postal_tail"}));
  EXPECT_EQ(ids(run({"10115", "01067", "+01067"}, true, true)), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(ids(run({"10115", "01067"}, false, true)), (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(ids(run({"10115", "01067"}, true, false)), (std::vector<uint32_t>{0, 1}));
}

}  // namespace
}  // namespace vorlane::query
