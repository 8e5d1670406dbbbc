#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "de_rows_fixture.h"
#include "vorlane/de/effect.h"
#include "vorlane/de/variants.h"
#include "vorlane/query/de_branch.h"
#include "vorlane/query/de_overrides.h"
#include "vorlane/query/de_rescue.h"
#include "vorlane/query/spine.h"

namespace vorlane::query {
namespace {

using testing::make_row;
using E = de::Effect;

enum : int { f0 = 0, f1 = 1, f2 = 2, f3 = 3, f4 = 4, f5 = 5, f7 = 7, f8 = 8 };

TEST(DeBranch, StreetKeyHintAndLocalityContext) {
  const struct {
    const char* q;
    std::optional<std::string> hint;
  } hints[] = {
      {"Hauptstrasse 5a", "hauptstrasse"},
      {"Hauptstrasse 5 a", "hauptstrasse"},
      {"Unter den Linden 12", "den linden unter"},
      {"Hauptstrasse 12345", std::nullopt},
      {"B 27 5", std::nullopt},
      {"5a", std::nullopt},
      {"5 a", std::nullopt},
      {"Hauptstrasse 5, Berlin", std::nullopt},
  };
  for (const auto& c : hints) EXPECT_EQ(de_street_key_hint(c.q), c.hint) << c.q;

  const struct {
    const char* q;
    std::optional<DeLocalityQuery> context;
  } contexts[] = {
      {"Hauptstr. 5, 10115 Berlin", DeLocalityQuery{10115, "berlin"}},
      {"12345 Weg 5, 10117 Berlin Mitte", DeLocalityQuery{10117, "berlin mitte"}},
      {"10115 Berlin Hauptstr 5", DeLocalityQuery{10115, "berlin hauptstr 5"}},
      {"Hauptstr. 5 10115", std::nullopt},
      {"Hauptstr. 5, 1011 Berlin", std::nullopt},
      {"Hauptstr. 5, 101155 Berlin", std::nullopt},
  };
  for (const auto& c : contexts) EXPECT_EQ(de_locality_context(c.q), c.context) << c.q;
}

TEST(DeBranch, RowKeys) {
  const DeRowKey full = de_row_key(make_row({.features = {f0, f2, f4, f8}}));
  EXPECT_EQ(full.evidence, 10);
  EXPECT_EQ(full.precision_rank, 4);
  EXPECT_EQ(full.no_dropped_suffix, 1);
  const DeRowKey weak = de_row_key(
      make_row({.precision = kPrecisionNear, .features = {f1, f3, f7}, .flags = {"dropped_suffix"}}));
  EXPECT_EQ(weak.evidence, 2 + 2 + 1);
  EXPECT_EQ(weak.precision_rank, 2);
  EXPECT_EQ(weak.no_dropped_suffix, 0);
  EXPECT_EQ(de_row_key(make_row({.features = {f0}, .flags = {"__deferred_locality_drop"}})).evidence,
            INT32_MIN);

  const float nan = std::nanf("");
  const struct {
    DeRowKey row, best;
    DeKeyOrder order;
  } cases[] = {
      {{9, 4, 1, 5.0f}, {10, 1, 1, 1.0f}, DeKeyOrder::less},  // evidence first
      {{10, 2, 1, 1.0f}, {10, 2, 0, 9.0f}, DeKeyOrder::greater},
      {{INT32_MIN, 4, 1, 9.0f}, {0, 0, 0, 0.0f}, DeKeyOrder::less},
      {{4, 3, 1, 2.0f}, {4, 3, 1, 2.0f}, DeKeyOrder::tie},
      {{4, 3, 1, 2.5f}, {4, 3, 1, 2.0f}, DeKeyOrder::greater},
      {{4, 3, 1, nan}, {4, 3, 1, 2.0f}, DeKeyOrder::less},
      {{4, 3, 1, 2.0f}, {4, 3, 1, nan}, DeKeyOrder::less},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(de_compare_row_keys(cases[i].row, cases[i].best), cases[i].order) << i;
  }
}

TEST(DeBranch, RecipientRuleAndAbbreviationGuard) {
  const auto exact = make_row({.features = {f0, f8}});
  const auto dropped = make_row({.features = {f0, f8}, .flags = {"dropped_prefix"}});
  const E recipient[] = {E::RecipientPrefix};
  const E other[] = {E::Abbrev};
  EXPECT_TRUE(de_recipient_rule(recipient, exact, dropped));
  EXPECT_FALSE(de_recipient_rule(other, exact, dropped));
  EXPECT_FALSE(de_recipient_rule(recipient, dropped, dropped));
  EXPECT_FALSE(de_recipient_rule(recipient, exact, exact));
  EXPECT_FALSE(de_recipient_rule(recipient, make_row({.features = {f0}}), dropped));

  const std::optional<DeLocalityQuery> berlin = DeLocalityQuery{10115, "berlin"};
  const struct {
    const char* name;
    testing::RowSpec row, best;
    bool passes;
  } cases[] = {
      {"dropped prefix, exact with commune", {.features = {f0, f8, f2}, .flags = {"dropped_prefix"}},
       {}, true},
      {"dropped prefix, no commune or postcode", {.features = {f0, f8}, .flags = {"dropped_prefix"}},
       {.features = {f2}}, false},
      {"best has the commune: no test", {.features = {f3}}, {.features = {f2}}, true},
      {"row better only", {.features = {f3, f0}}, {}, true},
      {"both better somewhere", {.features = {f3, f0}}, {.features = {f4}}, false},
      {"precision scale counts", {.precision = kPrecisionNear, .features = {f3}},
       {.precision = kPrecisionStreet}, true},
      {"no better: locality decides",
       {.features = {f3, f0, f8}, .commune = "Berlin"},
       {.features = {f0, f8}, .commune = "Berlin Mitte"}, true},
      {"no better, worse locality",
       {.features = {f3, f0, f8}, .commune = "Berlin Mitte"},
       {.features = {f0, f8}, .commune = "Berlin"}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(de_abbreviation_row_passes(make_row(c.row), make_row(c.best), berlin), c.passes)
        << c.name;
  }
  EXPECT_FALSE(de_abbreviation_row_passes(make_row({.features = {f3, f0, f8}}),
                                          make_row({.features = {f0, f8}, .commune = "Bonn"}),
                                          std::nullopt));
}

TEST(DeOverrides, QualifiedStreetRow) {
  const DeStreetLocalityQualifierSpec spec{"dorfstrasse", "mitte", "5", "10117"};
  const auto row = [](std::string street, testing::RowSpec s = {}) {
    s.street = std::move(street);
    if (s.features.empty()) s.features = {f0, f8};
    s.postcode = "";
    s.commune = "Mitte";
    return make_row(s);
  };
  EXPECT_TRUE(de_qualified_street_row(row("Dorfstraße (Mitte)"), spec));
  const char* refused[] = {"Dorfstraße",          "Dorfstraße (Mitte) ",  "Dorfstraße (Mitte",
                           "Dorfstraße ()",       " (Mitte)",             "Dorf (straße) (Mitte)",
                           "Dorfstraße (Mit(te)", "Dorfstraße (Mit\ttte)", "Dorfstraße (Tiergarten)",
                           "Weg (Mitte)",         "Dorfstraße(Mitte)"};
  for (const char* name : refused) EXPECT_FALSE(de_qualified_street_row(row(name), spec)) << name;
  EXPECT_FALSE(de_qualified_street_row(row("Dorfstraße (Mitte)", {.features = {f0}}), spec));
  ScoredHit with_postcode = row("Dorfstraße (Mitte)");
  with_postcode.first.postcode = "10117";
  EXPECT_FALSE(de_qualified_street_row(with_postcode, spec));
}

TEST(DeOverrides, EditDistanceAndMatchingBytes) {
  const struct {
    const char* a;
    const char* b;
    size_t osa;
    size_t matching;  // difflib.SequenceMatcher(None, a, b, autojunk=False)
  } cases[] = {
      {"hauptstrasse", "hauptstrase", 1, 11},
      {"abcd", "bacd", 1, 3},
      {"ca", "abc", 3, 1},  // no byte edited twice: not 2
      {"linden allee", "lindenallee", 1, 11},
      {"schillerstrasse", "schilerstrase", 2, 13},
      {"aababba", "bbbbbab", 4, 3},  // ties: earliest in a, then in b
      {"qabxcd", "abycdf", 3, 4},
      {"", "ab", 2, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(de_osa_distance(c.a, c.b, 100), c.osa) << c.a << " / " << c.b;
    EXPECT_EQ(de_osa_distance(c.a, c.b, 1), std::min<size_t>(c.osa, 2)) << c.a << " / " << c.b;
    EXPECT_EQ(de_matching_bytes(c.a, c.b), c.matching) << c.a << " / " << c.b;
  }
}

// A query that nothing answers runs each variant row through the core stage
// once and tries every rescue, each bounded by the rows of its own text.
TEST(DeBranch, FailingQueriesStayWithinTheirCoreCalls) {
  const Index& de = testing::core_sheet("de");
  uint64_t stage_calls = 0, rescues = 0;
  for (const char* q : {"Nirgendweg 12-14, 10115 Nirgendwo", "Nirgendweg 5   10115 Nirgendwo",
                        "Hauptstrasse 99, 10115 Dorf 01",
                        "z. Hd. Empfang, Müllerstraße 5–7 (Hinterhaus), 2. OG, D-10115 Dorf 01",
                        "z. Hd. Empfang, Hauptstraße 12-14, 10115 Dorf 01, Deutschland"}) {
    de_branch_stats() = DeBranchStats{};
    de_rescue_stats() = DeRescueStats{};
    query(de, q, 5);
    EXPECT_EQ(de_branch_stats().branches, 1u) << q;
    EXPECT_LE(de_branch_stats().core_stage_calls, de::kMaxQueryVariants) << q;
    EXPECT_LE(de_rescue_stats().rescues, de::kMaxQueryVariants + 2) << q;
    EXPECT_LE(de_rescue_stats().most_core_calls, de::kMaxQueryVariants) << q;
    stage_calls += de_branch_stats().core_stage_calls;
    rescues += de_rescue_stats().rescues;
  }
  EXPECT_GE(stage_calls, 25u);  // the clean-up query alone has 16 rows
  EXPECT_GE(rescues, 4u);
}

}  // namespace
}  // namespace vorlane::query
