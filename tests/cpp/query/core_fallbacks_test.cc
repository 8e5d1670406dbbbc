// The fuzzy and token-subset fallbacks of the matching core, on the fixture
// sheets of tests/data/core (make_core_sheets.py).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "core_fixture.h"
#include "vorlane/query/fallbacks.h"

namespace vorlane::query {
namespace {

using ::testing::ElementsAreArray;
using testing::core_sheet;
using testing::describe;
using testing::run_core;

std::vector<std::string> streets(std::string_view key) {
  std::vector<std::string> out;
  for (const RankedHit& r : run_core(core_sheet("fr"), key)) {
    out.push_back(r.hit.street + (r.features[1] > 0.5f ? " ~" : " ="));
  }
  return out;
}

TEST(CoreFallbacks, EndToEnd) {
  const struct {
    const char* key;
    std::vector<std::string> streets;
  } cases[] = {
      {"pontx velmont", {"Pont ~"}},  // 5 characters: searched
      {"ponx velmont", {}},           // 4: never
      {"rue des orks velmont", {"Rue des Arcs ~"}},  // 12 characters: distance 2
      {"rue du pork velmont", {}},                   // 11: distance 1
      {"rue vitcor hugo", {"Rue Victor Hugo ~"}},    // a transposition
      {"rue vixtor hugo velmont", {"Rue Victor Hugo ~"}},
      {"улица линина 10 химки", {"улица Ленина ~"}},  // Cyrillic substitution
      {"улица линина 10", {}},  // no substitutions without a commune
      {"champs elysees", {"Champs Elisees ~"}},  // the automaton pass
      {"jean boulevard saint velmont", {"Boulevard Saint-Jean ~"}},  // subset
  };
  for (const auto& c : cases) EXPECT_THAT(streets(c.key), ElementsAreArray(c.streets)) << c.key;

  for (const char* value : {"1", ""}) {
    setenv("VORLANE_NO_SUBSET", value, 1);
    EXPECT_TRUE(streets("jean boulevard saint velmont").empty()) << value;
    unsetenv("VORLANE_NO_SUBSET");
  }
}

size_t fuzzy_count(std::vector<std::string_view> words) {
  const Index& many = core_sheet("many");
  const rules::CurrentRulesScope scope(many.active_rules());
  LookupTools tools(many);
  CandidateMap out;
  fuzzy_street_search(many, words, std::nullopt, false, tools, out);
  return out.size();
}

size_t subset_count(const std::string& sheet, std::vector<std::string_view> words) {
  const Index& idx = core_sheet(sheet);
  const rules::CurrentRulesScope scope(idx.active_rules());
  LookupTools tools(idx);
  CandidateMap out;
  token_subset_search(idx, words, std::nullopt, tools, out);
  return out.size();
}

TEST(CoreFallbacks, Caps) {
  EXPECT_EQ(fuzzy_count({"grande", "ruex"}), 50u);  // a deletion, scanned under every commune
  EXPECT_EQ(fuzzy_count({"grande", "rua"}), 400u);  // the automaton pass
}

TEST(CoreFallbacks, SubsetPieces) {
  const struct {
    const char* sheet;
    std::vector<std::string_view> words;
    size_t found;
  } cases[] = {
      {"fr", {"saint-jean", "velmont"}, 1},  // two pieces
      {"fr", {"l-orme", "velmont"}, 1},      // "l" is too short, "orme" counts
      {"fr", {"l'orme", "velmont"}, 0},      // one piece, "l orme"
      {"many", {"mirabel", "aval"}, 8},
      {"many", {"mirabel", "amont"}, 0},  // one word of 9 streets
  };
  for (const auto& c : cases) {
    EXPECT_EQ(subset_count(c.sheet, c.words), c.found) << c.words[0] << " " << c.words[1];
  }
}

// Under a query's text memo the subset search answers as alone, also when
// the same pieces and commune come again with another count of lists.
TEST(CoreFallbacks, SubsetAnswersUnderTheTextMemo) {
  const Index& many = core_sheet("many");
  const std::vector<std::vector<std::string_view>> cases = {
      {"grande", "ort"}, {"grande", "grande", "ort"}, {"mirabel", "aval"}};
  std::vector<size_t> alone;
  for (const auto& words : cases) alone.push_back(subset_count("many", words));
  EXPECT_EQ(alone, (std::vector<size_t>{0, 40, 8}));
  const rules::CurrentRulesScope scope(many.active_rules());
  const CoreTextMemoScope memo(many);
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < cases.size(); ++i) {
      EXPECT_EQ(subset_count("many", cases[i]), alone[i]) << i;
    }
  }
}

}  // namespace
}  // namespace vorlane::query
