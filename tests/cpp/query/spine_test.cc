// The forward spine over a scripted matching core: the memo, the per-index
// clean-up and the cascade's choice between the sheet and its POI layer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/spine.h"

namespace vorlane::query {
namespace {

using Rows = std::vector<ScoredHit>;

ScoredHit row(std::string_view precision, float confidence,
              std::vector<std::string_view> flags = {}) {
  Hit hit;
  hit.precision = precision;
  hit.confidence = confidence;
  hit.flags = std::move(flags);
  return {hit, FeatureVector{}};
}

struct Sheets {
  std::unique_ptr<Index> sheet = testing::one_street_sheet();
  std::unique_ptr<Index> poi = testing::one_street_sheet();
};

const Sheets& sheets() {
  static const Sheets s;
  return s;
}

uint64_t runs_of(const std::function<void()>& work) {
  const uint64_t before = testing::core_runs();
  work();
  return testing::core_runs() - before;
}

TEST(Memo, RemembersOnlyInsideAScopeAndWithoutContext) {
  const Index& a = *sheets().sheet;
  const Index& b = *sheets().poi;
  testing::ScopedCoreScript script([](const testing::CoreRequest&) { return Rows{row("house", 1)}; });
  auto ask = [](const Index& index, std::string_view key, size_t k = 5,
                std::optional<std::string_view> hint = std::nullopt,
                std::optional<DeLocalityContext> context = std::nullopt) {
    return runs_of([&] { (void)query_feats_prepared_context(index, key, k, context, hint); });
  };
  EXPECT_EQ(ask(a, "x") + ask(a, "x"), 2u);
  EXPECT_FALSE(testing::memo_size());

  EsPreparedScope scope;
  EXPECT_EQ(ask(a, "x") + ask(a, "x"), 1u);
  EXPECT_EQ(ask(a, "x", 6), 1u);
  EXPECT_EQ(ask(a, "x", 5, "hint") + ask(a, "x", 5, "hint"), 1u);
  EXPECT_EQ(ask(b, "x"), 1u);
  const DeLocalityContext context{"velmont", "", false};
  EXPECT_EQ(ask(a, "y", 5, std::nullopt, context) + ask(a, "y", 5, std::nullopt, context), 2u);
  EXPECT_EQ(testing::memo_size(), 4u);

  // Answers are copies both ways.
  Rows first = query_feats_prepared_context(a, "x", 5, std::nullopt, std::nullopt);
  first.front().first.confidence = 0;
  EXPECT_EQ(query_feats_prepared_context(a, "x", 5, std::nullopt, std::nullopt)[0].first.confidence,
            1.0f);

  {
    EsPreparedScope inner;
    EXPECT_EQ(testing::memo_size(), 0u);
    EXPECT_EQ(ask(a, "x") + ask(a, "z"), 2u);
  }
  EXPECT_EQ(ask(a, "x") + ask(a, "z"), 1u);
}

TEST(Memo, StoresAtMost128EntriesOfAtMost64Rows) {
  const Index& a = *sheets().sheet;
  size_t rows = 64;
  testing::ScopedCoreScript script(
      [&rows](const testing::CoreRequest&) { return Rows(rows, row("house", 1)); });
  auto ask = [&](std::string key) {
    return runs_of([&] { (void)query_feats_prepared_context(a, key, 5, std::nullopt, std::nullopt); });
  };
  EsPreparedScope scope;
  rows = 65;
  EXPECT_EQ(ask("long") + ask("long"), 2u);
  rows = 64;
  for (int i = 0; i < 128; ++i) ask("key " + std::to_string(i));
  EXPECT_EQ(testing::memo_size(), 128u);
  EXPECT_EQ(ask("key 0") + ask("key 127"), 0u);
  EXPECT_EQ(ask("one more") + ask("one more"), 2u);
  EXPECT_EQ(testing::memo_size(), 128u);
}

TEST(Spine, QueryCleansFlagsAndConfidences) {
  testing::ScopedCoreScript script([](const testing::CoreRequest&) {
    return Rows{row("house", 0.8f, {"a", "__deferred_locality_drop", "b", "__deferred_locality_drop"}),
                row("house", 0.9f), row("house", 0.5f)};
  });
  const std::vector<Hit> hits = query(*sheets().sheet, "rue x 5", 3);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0].flags, (std::vector<std::string_view>{"a", "b"}));
  EXPECT_EQ(hits[1].confidence, 0.8f);
  EXPECT_EQ(hits[2].confidence, 0.5f);
  EXPECT_TRUE(query(*sheets().sheet, "rue x 5", 0).empty());
  EXPECT_EQ(script.requests().size(), 1u);
}

TEST(Spine, QueryTextIsCutAtACharacterBoundary) {
  const std::string exact(1024, 'a');
  EXPECT_EQ(cut_query_text(exact).size(), 1024u);
  const std::string straddling = std::string(1023, 'a') + "€" + "abcd";  // € is 3 bytes
  EXPECT_EQ(cut_query_text(straddling).size(), 1023u);
  const std::string continuation_bytes(2000, '\x80');
  EXPECT_EQ(cut_query_text(continuation_bytes).size(), 0u);
}

TEST(Spine, CascadeAsksThePoiLayerOnlyForWeakAnswers) {
  struct Case {
    const char* name;
    Rows sheet;
    Rows poi;
    bool poi_wins;
  };
  const Case cases[] = {
      {"exact house, low confidence", {row("house", 0.1f, {"street_exact"})}, {row("house", 0.9f)}, false},
      {"house without street_exact", {row("house", 0.25f)}, {row("house", 0.3f)}, true},
      {"fuzzy street below 0.6", {row("street", 0.59f, {"street_fuzzy"})}, {row("house", 0.9f)}, true},
      {"fuzzy street at 0.6", {row("street", 0.6f, {"street_fuzzy"})}, {row("house", 0.9f)}, false},
      {"city", {row("city", 0.9f)}, {row("house", 0.95f)}, true},
      {"equal confidence", {row("city", 0.5f)}, {row("house", 0.5f)}, false},
      {"empty sheet answer", {}, {row("house", 0.1f), row("house", 0.1f)}, true},
      {"empty POI answer", {row("city", 0.5f)}, {}, false},
  };
  for (const Case& c : cases) {
    testing::ScopedCoreScript script([&](const testing::CoreRequest& r) {
      return r.index == sheets().sheet.get() ? c.sheet : c.poi;
    });
    const std::vector<Hit> hits = query_cascade(*sheets().sheet, sheets().poi.get(), "rue x 5", 10);
    const Rows& expected = c.poi_wins ? c.poi : c.sheet;
    ASSERT_EQ(hits.size(), expected.size()) << c.name;
    for (const Hit& hit : hits) {
      EXPECT_EQ(!hit.flags.empty() && hit.flags.back() == "poi_layer", c.poi_wins) << c.name;
    }
  }
  testing::ScopedCoreScript script([](const testing::CoreRequest& r) {
    return Rows(r.k, row("city", 0.1f));
  });
  const std::vector<Hit> unconsulted = query_cascade(*sheets().sheet, sheets().poi.get(), "", 10);
  ASSERT_EQ(unconsulted.size(), 10u);
  EXPECT_TRUE(unconsulted[0].flags.empty());
  EXPECT_EQ(query_cascade(*sheets().sheet, nullptr, "x", (uint64_t{1} << 32) + 5).size(), 100u);
  EXPECT_TRUE(query_cascade(*sheets().sheet, sheets().poi.get(), "x", 0).empty());
}

}  // namespace
}  // namespace vorlane::query
