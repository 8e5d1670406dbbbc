// Tokens, postcode and house-number hypotheses of the matching core, on the
// fixture sheets (suffix table "a", "b", "bc", "bis"; ml.idx adds a
// token-labelling model that labels only "lilas", "velmont", "7b" and
// "99999999999b").
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core_fixture.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/hypotheses.h"

namespace vorlane::query {
namespace {

using ::testing::ElementsAreArray;
using testing::core_sheet;

// "remaining words #number+suffix", " ml" for the labelled hypothesis.
std::vector<std::string> hypotheses(const Index& idx, std::string_view key) {
  const KeyTokens tokens = read_tokens(key);
  std::vector<std::string> out;
  for (const Hyp& h : build_hypotheses(idx, tokens)) {
    std::string s = join_words(hypothesis_words(tokens, h)) + " #";
    s += h.number ? std::to_string(*h.number) : "-";
    s += idx.suffix_text(h.suffix_id);
    if (h.flag == 1) s += " ml";
    out.push_back(s);
  }
  return out;
}

TEST(CoreHypotheses, PerKey) {
  const struct {
    const char* sheet;
    const char* key;
    std::vector<std::string> hyps;
  } cases[] = {
      {"fr", "12 14 rue de la paix",
       {"14 rue de la paix #12", "rue de la paix 14 #12", "12 14 rue de la paix #-"}},
      {"fr", "дом 5 я улица", {"дом 5 я улица #-"}},  // an ordinal, no number
      {"fr", "75001 paris 8 rue x", {"paris rue x #8", "rue x paris #8", "paris 8 rue x #-"}},
      {"fr", "12 bis rue x",
       {"rue x #12bis", "bis rue x #12", "x rue #12bis", "rue x bis #12", "12 bis rue x #-"}},
      {"fr", "12 b c rue", {"rue #12bc", "b c rue #12", "c rue b #12", "12 b c rue #-"}},
      {"fr", "12 quater rue", {"quater rue #12", "rue quater #12", "12 quater rue #-"}},
      {"fr", "12a rue x", {"rue x #12a", "x rue #12a", "12a rue x #-"}},
      {"fr", "75002", {" #-"}},
      {"fr", "rue x 1234 ab", {"rue x #-"}},
      {"ml", "velmont lilas 7b",
       {"velmont lilas #7b", "lilas velmont #7b ml", "lilas velmont #7b", "velmont lilas #7b ml",
        "velmont lilas 7b #-"}},
      // The number overflows; its rest still goes to the suffix.
      {"ml", "99999999999b lilas", {"lilas #-b ml", "99999999999b lilas #-"}},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(hypotheses(core_sheet(c.sheet), c.key), ElementsAreArray(c.hyps)) << c.key;
  }
}

TEST(CoreHypotheses, AtMostFifteen) {
  // Four number candidates, each with and without its suffix, and their
  // rotations: cut to 14, then the one without a number.
  const std::vector<std::string> hyps =
      hypotheses(core_sheet("fr"), "1 a x 2 a y 3 a z 4 a w 5 a v");
  ASSERT_EQ(hyps.size(), 15u);
  EXPECT_EQ(hyps[0], "x 2 a y 3 a z 4 a w 5 a v #1a");
  EXPECT_EQ(hyps.back(), "1 a x 2 a y 3 a z 4 a w 5 a v #-");
}

TEST(CoreHypotheses, Postcode) {
  const struct {
    const char* key;
    std::optional<uint32_t> postcode;
    std::vector<bool> used;
  } cases[] = {
      {"rue x 75001 75002", 75002, {false, false, true, true}},
      {"1234 ab rue", 1234, {true, true, false}},
      {"1234ab 123456", 123456, {true, true}},
      {"1234 abc rue", std::nullopt, {false, false, false}},
      {"0000 ab", 0, {true, true}},
  };
  for (const auto& c : cases) {
    const KeyTokens t = read_tokens(c.key);
    EXPECT_EQ(t.postcode, c.postcode) << c.key;
    EXPECT_EQ(t.used, c.used) << c.key;
  }
}

TEST(CoreHypotheses, LongKeysKeepTwoCopiesThenThirtyTwoTokens) {
  std::string key = "w w";
  for (int i = 0; i < 35; ++i) key += " t" + std::to_string(i) + (i % 10 == 0 ? " w" : "");
  const KeyTokens t = read_tokens(key);
  ASSERT_EQ(t.tokens.size(), kMaxTokens);
  EXPECT_EQ(std::count(t.tokens.begin(), t.tokens.end(), "w"), 2);
  EXPECT_EQ(t.tokens.back(), "t29");
  EXPECT_EQ(read_tokens("  a  b ").tokens, (std::vector<std::string_view>{"a", "b"}));
}

TEST(CoreHypotheses, LabelledHypothesisCarriesMl) {
  const Index& ml = core_sheet("ml");
  const std::vector<std::string_view> tokens = {"velmont", "lilas", "7b"};
  EXPECT_EQ(ml.parser->label(std::span(tokens)), (std::vector<uint8_t>{1, 0, 2}));
  const std::vector<RankedHit> rows = testing::run_core(ml, "velmont lilas 7b");
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(testing::describe(rows)[0], "Sentier Lilas | Velmont | 7b");
  EXPECT_THAT(rows[0].hit.flags, ::testing::Contains("ml"));
}

}  // namespace
}  // namespace vorlane::query
