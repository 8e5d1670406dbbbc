#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

#include "vorlane/diagnosis/trace.h"
#include "vorlane/diagnosis/trace_contents.h"

namespace vorlane::diagnosis {
namespace {

using nlohmann::json;
using testing::ScopedTrace;

HitReport report(uint32_t street_id, std::string_view precision, bool has_house, float score) {
  return HitReport{.street_id = street_id,
                   .commune_id = 7,
                   .street = "Rue Haute",
                   .commune = "testville",
                   .precision = precision,
                   .has_house = has_house,
                   .requested_number = 12,
                   .house_count = 30,
                   .score = score};
}

// Calls every recorder once.
void record_one_of_each() {
  const uint32_t ids[] = {4, 5};
  hypothesis("rue haute 12", std::nullopt, 75011, 12, 0);
  split("rue haute", "paris", std::nullopt, 12);
  street(3, true, false);
  commune_lookup(kCommunesByName, "paris", ids);
  hit(report(3, "house", true, 11.0f));
  guard("prefix_drop", 2, true, json{{"house_exact", true}});
  guard("suffix_drop", 1, false, [] { return json{{"exact_street_noncity", false}}; });
  field_form(0, true);
}

TEST(Trace, AbsentByDefaultAndRecordersDoNothing) {
  EXPECT_FALSE(enabled());
  bool evidence_built = false;
  guard("prefix_drop", 1, true, [&] {
    evidence_built = true;
    return json::object();
  });
  EXPECT_FALSE(evidence_built);
  record_one_of_each();  // must not crash or reach a trace

  // A trace installed afterwards starts empty: nothing was kept aside.
  ScopedTrace scope;
  const Trace& t = scope.trace();
  EXPECT_TRUE(t.hypotheses.empty() && t.splits.empty() && t.guards.empty() &&
              t.commune_lookups.empty() && t.streets.empty() && t.hits.empty() &&
              t.field_forms.empty());
  EXPECT_EQ(t.counts.hits, 0u);
  EXPECT_FALSE(t.best_score.has_value());
}

TEST(Trace, RecordsEveryKindWithItsKeys) {
  ScopedTrace scope;
  ASSERT_TRUE(enabled());
  record_one_of_each();
  const Trace& t = scope.trace();

  ASSERT_EQ(t.hypotheses.size(), 1u);
  EXPECT_EQ(t.hypotheses[0], (json{{"street_or_rest", "rue haute 12"},
                                   {"commune", nullptr},
                                   {"postcode", 75011},
                                   {"house_number", 12},
                                   {"house_suffix_id", 0}}));
  ASSERT_EQ(t.splits.size(), 1u);
  EXPECT_EQ(t.splits[0], (json{{"street", "rue haute"},
                               {"commune", "paris"},
                               {"postcode", nullptr},
                               {"house_number", 12}}));
  ASSERT_EQ(t.streets.size(), 1u);
  EXPECT_EQ(t.streets[0], (json{{"id", 3}, {"exact", true}, {"commune_scoped", false}}));
  ASSERT_EQ(t.commune_lookups.size(), 1u);
  EXPECT_EQ(t.commune_lookups[0], (json{{"commune", "paris"},
                                        {"method", "communes_by_name"},
                                        {"count", 2},
                                        {"first_ids", {4, 5}}}));
  ASSERT_EQ(t.hits.size(), 1u);
  EXPECT_EQ(t.hits[0], (json{{"street_id", 3},
                             {"commune_id", 7},
                             {"street", "Rue Haute"},
                             {"commune", "testville"},
                             {"block_house_count", 30},
                             {"requested_number", 12},
                             {"outcome", "house"},
                             {"score", 11.0}}));
  ASSERT_EQ(t.guards.size(), 2u);
  EXPECT_EQ(t.guards[0], (json{{"stage", "prefix_drop"},
                               {"count", 2},
                               {"accepted", true},
                               {"evidence", {{"house_exact", true}}}}));
  EXPECT_EQ(t.guards[1], (json{{"stage", "suffix_drop"},
                               {"count", 1},
                               {"accepted", false},
                               {"evidence", {{"exact_street_noncity", false}}}}));
  ASSERT_EQ(t.field_forms.size(), 1u);
  EXPECT_EQ(t.field_forms[0], (json{{"form", 0}, {"accepted", true}}));

  EXPECT_EQ(t.counts.hypotheses, 1u);
  EXPECT_EQ(t.counts.splits, 1u);
  EXPECT_EQ(t.counts.guards, 2u);
  EXPECT_EQ(t.counts.commune_lookups, 1u);
  EXPECT_EQ(t.counts.hits, 1u);
  EXPECT_TRUE(t.street_text_seen);
}

TEST(Trace, ListsKeepTheFirstEightWhileCountersGoOn) {
  ScopedTrace scope;
  for (uint32_t i = 0; i < 9; ++i) {
    hypothesis("h" + std::to_string(i), std::nullopt, std::nullopt, std::nullopt, 0);
    split("s" + std::to_string(i), std::nullopt, std::nullopt, std::nullopt);
    guard("g", i, true, json(nullptr));
    commune_lookup(kCommunesByPrefix, "pa", std::span<const uint32_t>(&i, 1));
    hit(report(i, "street", false, 1.0f));
    field_form(i, false);
  }
  const Trace& t = scope.trace();
  for (const auto* list : {&t.hypotheses, &t.splits, &t.guards, &t.commune_lookups, &t.hits}) {
    EXPECT_EQ(list->size(), kKeptRecords);
  }
  EXPECT_EQ(t.hypotheses.back()["street_or_rest"], "h7");
  EXPECT_EQ(t.field_forms.size(), 9u);  // field forms are all kept
  EXPECT_EQ(t.counts.hypotheses, 9u);
  EXPECT_EQ(t.counts.splits, 9u);
  EXPECT_EQ(t.counts.guards, 9u);
  EXPECT_EQ(t.counts.commune_lookups, 9u);
  EXPECT_EQ(t.counts.hits, 9u);
  EXPECT_EQ(t.seen_commune_ids.size(), 9u);  // ids past the list are still seen
}

TEST(Trace, StreetIdsAreRecordedOnce) {
  ScopedTrace scope;
  street(5, true, true);
  street(5, false, false);  // already seen: writes nothing
  const Trace& t = scope.trace();
  ASSERT_EQ(t.streets.size(), 1u);
  EXPECT_EQ(t.streets[0], (json{{"id", 5}, {"exact", true}, {"commune_scoped", true}}));

  for (uint32_t id = 100; id < 109; ++id) street(id, false, true);
  EXPECT_EQ(t.streets.size(), kKeptRecords);
  EXPECT_EQ(t.seen_street_ids.size(), 10u);
  EXPECT_EQ(t.streets.back()["id"], 106);
}

TEST(Trace, CommuneLookupListsTheFirstEightIds) {
  ScopedTrace scope;
  std::vector<uint32_t> ids;
  for (uint32_t i = 0; i < 12; ++i) ids.push_back(20 + i);
  commune_lookup(kCommunesByPrefix, "sain", ids);
  commune_lookup(kCommunesByName, "nowhere", {});
  const Trace& t = scope.trace();
  ASSERT_EQ(t.commune_lookups.size(), 2u);
  EXPECT_EQ(t.commune_lookups[0]["method"], "communes_by_prefix");
  EXPECT_EQ(t.commune_lookups[0]["count"], 12);
  EXPECT_EQ(t.commune_lookups[0]["first_ids"], json({20, 21, 22, 23, 24, 25, 26, 27}));
  EXPECT_EQ(t.commune_lookups[1]["count"], 0);
  EXPECT_EQ(t.commune_lookups[1]["first_ids"], json::array());
  EXPECT_EQ(t.seen_commune_ids.size(), 12u);
}

TEST(Trace, HitCountersAndBestScore) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    std::vector<HitReport> hits;
    uint64_t with_house, placed;
    std::optional<float> best;
  };
  const Case cases[] = {
      {"no number requested", {report(1, "street", false, 2.0f)}, 0, 0, 2.0f},
      {"number requested, street only", {report(1, "street", true, 2.0f)}, 1, 0, 2.0f},
      {"placed houses",
       {report(1, "house", true, 3.0f), report(2, "near", true, 1.0f),
        report(3, "interp", true, 5.0f)},
       3, 3, 5.0f},
      {"precision without a number is not placed", {report(1, "house", false, 1.0f)}, 0, 0,
       1.0f},
      {"nan never becomes best", {report(1, "street", false, nan)}, 0, 0, std::nullopt},
      {"nan after a finite score", {report(1, "street", false, -4.0f),
                                    report(2, "street", false, nan)}, 0, 0, -4.0f},
      {"infinite scores are not finite", {report(1, "street", false, inf)}, 0, 0, std::nullopt},
      {"lower score keeps the best", {report(1, "street", false, 7.0f),
                                      report(2, "street", false, 3.0f)}, 0, 0, 7.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTrace scope;
    for (const HitReport& r : c.hits) hit(r);
    const Trace& t = scope.trace();
    EXPECT_EQ(t.counts.hits, c.hits.size());
    EXPECT_EQ(t.counts.hits_with_house_number, c.with_house);
    EXPECT_EQ(t.counts.hits_placed, c.placed);
    EXPECT_EQ(t.best_score, c.best);
  }
}

TEST(Trace, HitRecordWritesNullForAbsentNumberAndNonFiniteScore) {
  ScopedTrace scope;
  hit(report(1, "street", false, std::numeric_limits<float>::quiet_NaN()));
  hit(report(2, "near", true, 0.1f));
  const Trace& t = scope.trace();
  EXPECT_TRUE(t.hits[0]["requested_number"].is_null());
  EXPECT_TRUE(t.hits[0]["score"].is_null());
  EXPECT_EQ(t.hits[1]["requested_number"], 12);
  // The f32 score widened, not re-rounded to the nearest double of 0.1.
  EXPECT_EQ(t.hits[1]["score"].get<double>(), static_cast<double>(0.1f));
}

TEST(Trace, StreetTextFlagIgnoresWhiteSpace) {
  const struct {
    const char* text;
    bool seen;
  } cases[] = {{"", false}, {"   ", false}, {"\t\n", false}, {"\u00a0\u3000", false},
               {" a ", true}, {"12", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ScopedTrace scope;
    hypothesis(c.text, std::nullopt, std::nullopt, std::nullopt, 0);
    EXPECT_EQ(scope.trace().street_text_seen, c.seen);
    EXPECT_EQ(scope.trace().counts.hypotheses, 1u);
  }
}

TEST(Trace, NestedScopesRestoreTheOuterTrace) {
  ScopedTrace outer;
  field_form(1, true);
  {
    ScopedTrace inner;
    field_form(2, true);
    EXPECT_EQ(inner.trace().field_forms.size(), 1u);
  }
  field_form(3, false);
  ASSERT_EQ(outer.trace().field_forms.size(), 2u);
  EXPECT_EQ(outer.trace().field_forms[1]["form"], 3);
}

TEST(Trace, EachThreadHasItsOwn) {
  ScopedTrace main_scope;
  bool other_saw_trace = true;
  uint64_t other_recorded = 0;
  std::thread other([&] {
    other_saw_trace = enabled();
    field_form(99, true);  // no trace here: dropped
    ScopedTrace own;
    field_form(1, true);
    street(1, true, false);
    other_recorded = own.trace().field_forms.size() + own.trace().streets.size();
  });
  other.join();
  EXPECT_FALSE(other_saw_trace);
  EXPECT_EQ(other_recorded, 2u);
  EXPECT_TRUE(enabled());
  EXPECT_TRUE(main_scope.trace().field_forms.empty());
  EXPECT_TRUE(main_scope.trace().streets.empty());
}

}  // namespace
}  // namespace vorlane::diagnosis
