// The diagnosis trace: the exact keys each recorder writes, the caps on kept
// records, hit counters and best score, nested and per-thread scopes, and
// that with no trace present a recorder allocates nothing (counted through
// the global allocation functions this binary replaces).
#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

#include "support/alloc_counter.h"
#include "vorlane/diagnosis/trace.h"
#include "vorlane/diagnosis/trace_contents.h"

namespace vorlane::diagnosis {
namespace {

using nlohmann::json;
using testing::ScopedTrace;
using vorlane::testing::allocation_count;

// A hit on "Rue Haute" (30 houses) in "testville" (id 7); number 12 if requested.
HitReport report(uint32_t street_id, std::string_view precision, bool has_house, float score) {
  return {street_id, 7, "Rue Haute", "testville", precision, has_house, 12, 30, score};
}

// Hypotheses, splits, guards, commune lookups and hits counted.
std::vector<uint64_t> counts_of(const Trace& t) {
  return {t.counts.hypotheses, t.counts.splits, t.counts.guards, t.counts.commune_lookups,
          t.counts.hits};
}

TEST(Trace, RecordsEveryKindWithItsKeys) {
  ScopedTrace scope;
  ASSERT_TRUE(enabled());
  const uint32_t ids[] = {4, 5};
  hypothesis("rue haute 12", std::nullopt, 75011, 12, 0);
  split("rue haute", "paris", std::nullopt, 12);
  street(3, true, false);
  commune_lookup(kCommunesByName, "paris", ids);
  hit(report(3, "house", true, 11.0f));
  guard("prefix_drop", 2, true, json{{"house_exact", true}});
  guard("suffix_drop", 1, false, [] { return json{{"exact_street_noncity", false}}; });
  field_form(0, true);

  const Trace& t = scope.trace();
  const json lists = {{"hypotheses", t.hypotheses}, {"splits", t.splits}, {"streets", t.streets},
                      {"commune_lookups", t.commune_lookups}, {"hits", t.hits},
                      {"guards", t.guards}, {"field_forms", t.field_forms}};
  EXPECT_EQ(lists, json::parse(R"({
    "hypotheses": [{"street_or_rest": "rue haute 12", "commune": null, "postcode": 75011,
                    "house_number": 12, "house_suffix_id": 0}],
    "splits": [{"street": "rue haute", "commune": "paris", "postcode": null, "house_number": 12}],
    "streets": [{"id": 3, "exact": true, "commune_scoped": false}],
    "commune_lookups": [{"commune": "paris", "method": "communes_by_name", "count": 2,
                         "first_ids": [4, 5]}],
    "hits": [{"street_id": 3, "commune_id": 7, "street": "Rue Haute", "commune": "testville",
              "block_house_count": 30, "requested_number": 12, "outcome": "house",
              "score": 11.0}],
    "guards": [{"stage": "prefix_drop", "count": 2, "accepted": true,
                "evidence": {"house_exact": true}},
               {"stage": "suffix_drop", "count": 1, "accepted": false,
                "evidence": {"exact_street_noncity": false}}],
    "field_forms": [{"form": 0, "accepted": true}]})"));
  EXPECT_EQ(counts_of(t), std::vector<uint64_t>({1, 1, 2, 1, 1}));
  EXPECT_TRUE(t.street_text_seen);
}

TEST(Trace, ListsKeepTheFirstEightWhileCountersAndSeenSetsGoOn) {
  ScopedTrace scope;
  std::vector<uint32_t> twelve_ids;
  for (uint32_t i = 0; i < 12; ++i) twelve_ids.push_back(20 + i);
  commune_lookup(kCommunesByPrefix, "sain", twelve_ids);
  commune_lookup(kCommunesByName, "nowhere", {});
  street(5, true, true);
  street(5, false, false);  // already seen: writes nothing
  for (uint32_t i = 0; i < 9; ++i) {
    hypothesis("h" + std::to_string(i), std::nullopt, std::nullopt, std::nullopt, 0);
    split("s" + std::to_string(i), std::nullopt, std::nullopt, std::nullopt);
    guard("g", i, true, json(nullptr));
    commune_lookup(kCommunesByPrefix, "pa", std::span<const uint32_t>(&i, 1));
    hit(report(i, "street", false, 1.0f));
    field_form(i, false);
    street(100 + i, false, true);
  }
  const Trace& t = scope.trace();
  for (const auto* list :
       {&t.hypotheses, &t.splits, &t.guards, &t.commune_lookups, &t.hits, &t.streets}) {
    EXPECT_EQ(list->size(), kKeptRecords);
  }
  EXPECT_EQ(t.hypotheses.back()["street_or_rest"], "h7");
  EXPECT_EQ(t.streets[0], json::parse(R"({"id": 5, "exact": true, "commune_scoped": true})"));
  EXPECT_EQ(t.streets.back()["id"], 106);
  EXPECT_EQ(t.commune_lookups[0]["count"], 12);
  EXPECT_EQ(t.commune_lookups[0]["first_ids"], json({20, 21, 22, 23, 24, 25, 26, 27}));
  EXPECT_EQ(t.commune_lookups[1]["first_ids"], json::array());
  EXPECT_EQ(t.field_forms.size(), 9u);  // field forms are all kept
  EXPECT_EQ(counts_of(t), std::vector<uint64_t>({9, 9, 9, 11, 9}));
  EXPECT_EQ(t.seen_commune_ids.size(), 21u);  // 20..31 and 0..8, past both caps
  EXPECT_EQ(t.seen_street_ids.size(), 10u);
}

TEST(Trace, HitCountersAndBestScore) {
  ScopedTrace scope;
  const Trace& t = scope.trace();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // The best score is the highest finite one: NaN and infinities never count.
  const std::pair<float, std::optional<float>> steps[] = {
      {nan, std::nullopt}, {inf, std::nullopt}, {-4.0f, -4.0f}, {nan, -4.0f},
      {-inf, -4.0f},       {7.0f, 7.0f},        {3.0f, 7.0f}};
  for (const auto& [score, best] : steps) {
    hit(report(1, "street", false, score));
    EXPECT_EQ(t.best_score, best) << score;
  }
  // With a number requested a hit counts; placed only with a house-level
  // precision, never without a requested number.
  hit(report(1, "street", true, 1.0f));
  for (const char* precision : {"house", "near", "interp"}) hit(report(1, precision, true, 1.0f));
  hit(report(1, "house", false, 1.0f));
  EXPECT_EQ(t.counts.hits, 12u);
  EXPECT_EQ(t.counts.hits_with_house_number, 4u);
  EXPECT_EQ(t.counts.hits_placed, 3u);
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
  for (const auto& [text, seen] : std::vector<std::pair<const char*, bool>>{
           {"", false}, {"   ", false}, {"\t\n", false}, {"\u00a0\u3000", false},
           {" a ", true}, {"12", true}}) {
    ScopedTrace scope;
    hypothesis(text, std::nullopt, std::nullopt, std::nullopt, 0);
    EXPECT_EQ(scope.trace().street_text_seen, seen) << text;
  }
}

TEST(Trace, ScopesNestAndEachThreadHasItsOwn) {
  ScopedTrace outer;
  field_form(1, true);
  {
    ScopedTrace inner;
    field_form(2, true);
    EXPECT_EQ(inner.trace().field_forms.size(), 1u);
  }
  bool other_saw_trace = true;
  std::thread([&] {
    other_saw_trace = enabled();
    field_form(99, true);  // no trace on this thread: dropped
  }).join();
  EXPECT_FALSE(other_saw_trace);
  field_form(3, false);
  ASSERT_EQ(outer.trace().field_forms.size(), 2u);
  EXPECT_EQ(outer.trace().field_forms[1]["form"], 3);
}

// Texts past any small-string buffer, and evidence only built on demand.
void record_with_long_texts() {
  const std::string_view text = "a street or commune text long enough to need the heap";
  const uint32_t ids[] = {1, 2, 3};
  hypothesis(text, text, 1, 2, 3);
  split(text, text, 1, 2);
  street(9, true, true);
  commune_lookup(kCommunesByName, text, ids);
  hit(HitReport{.street = text, .commune = text, .precision = "house", .has_house = true});
  guard("prefix_drop", 1, true, [] { return json{{"a long evidence key", 1}}; });
  field_form(0, true);
}

TEST(Trace, RecordersAllocateOnlyWhileOn) {
  ASSERT_FALSE(enabled());
  size_t before = allocation_count.load();
  record_with_long_texts();
  EXPECT_EQ(allocation_count.load() - before, 0u);

  ScopedTrace scope;  // and the counter does count
  before = allocation_count.load();
  record_with_long_texts();
  EXPECT_GT(allocation_count.load() - before, 0u);
}

}  // namespace
}  // namespace vorlane::diagnosis
