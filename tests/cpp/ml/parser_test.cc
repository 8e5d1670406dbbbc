#include "vorlane/ml/parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <limits>
#include <string>
#include <vector>

#include "support/le_bytes.h"

namespace vorlane::ml {
namespace {

using vorlane::testing::put_le;
using Labels = std::vector<uint8_t>;
using Tokens = std::vector<std::string>;

constexpr float kMaxF = std::numeric_limits<float>::max();

// A model section under construction: biases, and L * D weights, label-major.
struct Model {
  Model(uint32_t buckets, std::vector<float> label_biases)
      : d(buckets), biases(std::move(label_biases)), weights(biases.size() * buckets, 0.0f) {}

  // The weight of `label` for the bucket `feature` hashes to.
  float& weight(size_t label, std::string_view feature) {
    return weights[label * d + feature_hash(feature) % d];
  }

  std::string bytes() const {
    std::string out = "VRML";
    put_le(out, d, 4);
    out.push_back(static_cast<char>(biases.size()));
    for (float f : biases) put_le(out, std::bit_cast<uint32_t>(f), 4);
    for (float f : weights) put_le(out, std::bit_cast<uint32_t>(f), 4);
    return out;
  }

  uint32_t d;
  std::vector<float> biases, weights;
};

std::optional<Parser> parse(const std::string& bytes) {
  return Parser::from_section(ByteView(std::string_view(bytes)));
}

TEST(FeatureHash, MatchesBlake2bWithAFourByteDigest) {
  EXPECT_EQ(feature_hash("w=rue"), 3741739819u);
  EXPECT_EQ(feature_hash(""), 0x25CF7112u);  // digest bytes 12 71 cf 25
}

TEST(ParserSection, AcceptsOnlyAnExactFiniteModel) {
  const Model model(3, {0.5f, -1.0f});
  const std::string valid = model.bytes();
  auto parser = parse(valid);
  ASSERT_TRUE(parser);
  EXPECT_EQ(parser->bucket_count(), 3u);
  EXPECT_EQ(parser->label_count(), 2u);

  const auto with = [&](size_t index, float value) {
    Model m = model;
    (index < 2 ? m.biases[index] : m.weights[index - 2]) = value;
    return m.bytes();
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::pair<const char*, std::string> rejected[] = {
      {"one byte more", valid + '\0'}, {"one byte less", valid.substr(0, valid.size() - 1)},
      {"header only", valid.substr(0, 9)}, {"shorter than the header", valid.substr(0, 8)},
      {"empty", ""}, {"bad magic", "VRMX" + valid.substr(4)},
      {"no buckets", Model(0, {1.0f}).bytes()}, {"no labels", Model(3, {}).bytes()},
      {"NaN bias", with(1, nan)}, {"infinite bias", with(0, -inf)},
      {"NaN weight", with(2, nan)}, {"infinite last weight", with(7, inf)},
  };
  for (const auto& [what, bytes] : rejected) EXPECT_FALSE(parse(bytes)) << what;
  EXPECT_TRUE(parse(with(7, -kMaxF))) << "extreme finite values are fine";
}

TEST(ParserFeatures, TextsInScoringOrderAndEdgeCases) {
  const std::array<std::string, kFeatureCount> expected = {
      "w=rue", "p=^", "n=$", "sfx=rue", "pfx=rue", "dig=0",
      "len=3", "pos=a", "d5=0", "d4n2=0", "pdig=0",
  };
  EXPECT_EQ(features(Tokens{"rue"}, 0), expected);
  const std::vector<std::string_view> views = {"rue"};
  EXPECT_EQ(features(std::span<const std::string_view>(views), 0), expected);

  const struct {
    Tokens tokens;
    size_t i;
    std::vector<std::string> some_features;
  } cases[] = {
      {{"a", "b", "c"}, 1, {"p=a", "n=c", "pos=m"}}, {{"a", "b", "c"}, 2, {"n=$", "pos=z"}},
      {{"75001"}, 0, {"dig=1", "d5=1"}}, {{"12a"}, 0, {"dig=m"}}, {{"7500a"}, 0, {"d5=0"}},
      {{"١٢٣"}, 0, {"dig=0"}},  // digits are ASCII only
      // Length and affixes count characters, not bytes.
      {{"boulevards"}, 0, {"len=7", "sfx=rds", "pfx=bou"}}, {{"ab"}, 0, {"sfx=ab"}},
      {{"улица"}, 0, {"sfx=ица", "len=5"}}, {{"x😀yz"}, 0, {"sfx=😀yz", "pfx=x😀y"}},
      {{""}, 0, {"len=0", "dig=0", "sfx="}},
      // Four digits followed by a two-letter word (alphabetic in the Unicode
      // sense), unless the token is the last one.
      {{"1234", "ab"}, 0, {"d4n2=1"}}, {{"1234", "éß"}, 0, {"d4n2=1"}},
      {{"1234", "a1"}, 0, {"d4n2=0"}}, {{"1234", "abc"}, 0, {"d4n2=0"}},
      {{"12345", "ab"}, 0, {"d4n2=0"}}, {{"x", "1234"}, 1, {"d4n2=0"}},
      // Previous token all digits.
      {{"1234", "ab"}, 1, {"pdig=1"}}, {{"12b", "ab"}, 1, {"pdig=0"}},
      {{"", "ab"}, 1, {"pdig=0", "p="}}, {{"١٢", "ab"}, 1, {"pdig=0"}},
  };
  for (const auto& c : cases) {
    const auto texts = features(c.tokens, c.i);
    for (const std::string& f : c.some_features) {
      EXPECT_NE(std::find(texts.begin(), texts.end(), f), texts.end())
          << "no " << f << " for token " << c.i << " of '" << c.tokens[0] << "...'";
    }
  }
}

TEST(ParserLabel, PicksTheLabelWhoseWeightsTheFeaturesHit) {
  Model model(1024, {0.0f, 0.0f, 0.0f});
  const Tokens tokens = {"rue", "75001"};
  // Neither bucket may be hit by the other token's features.
  for (size_t i : {0, 1}) {
    for (const std::string& f : features(tokens, i)) {
      ASSERT_NE(feature_hash(f) % 1024, feature_hash(i == 0 ? "d5=1" : "w=rue") % 1024) << f;
    }
  }
  model.weight(2, "w=rue") = 1.0f;
  model.weight(1, "d5=1") = 2.0f;

  std::string bytes = model.bytes();
  auto parser = parse(bytes);
  ASSERT_TRUE(parser);
  EXPECT_EQ(parser->label(tokens), (Labels{2, 1}));
  const std::vector<std::string_view> views = {"rue", "75001"};
  EXPECT_EQ(parser->label(std::span<const std::string_view>(views)), (Labels{2, 1}));
  EXPECT_TRUE(parser->label(Tokens{}).empty());

  // The weights are read from the section bytes, not from a copy (and h()
  // names the bucket the features hash to).
  const size_t at = 9 + 4 * 3 + 4 * (2 * 1024 + parser->h("w=rue"));
  bytes.replace(at, 4, "\x00\x00\x80\xbf", 4);  // -1.0f little-endian
  EXPECT_EQ(parser->label(tokens), (Labels{0, 1}));
}

TEST(ParserLabel, TieBreakAndSummationOrder) {
  const auto label = [](const Model& model, const Tokens& tokens) {
    const std::string bytes = model.bytes();
    auto parser = parse(bytes);
    EXPECT_TRUE(parser);
    return parser ? parser->label(tokens) : Labels{};
  };
  // Equal top scores keep the lower label.
  EXPECT_EQ(label(Model(16, {0.0f, 1.0f, 1.0f, -1.0f}), {"a", "b"}), (Labels{1, 1}));

  // Label 1 scores exactly -FLT_MAX, label 0 overflows to -inf: neither
  // beats the starting value, so label 0 stands.
  Model lowest(4, {-kMaxF, -kMaxF});
  lowest.weight(0, "w=x") = -kMaxF;
  EXPECT_EQ(label(lowest, {"x"}), (Labels{0}));

  // 1e8 has a spacing of 8 in f32: adding 1.0 eleven times to the bias
  // leaves it at 1e8, below label 1's 1e8 + 8. Summing the features first
  // would reach 1e8 + 11, round to 1e8 + 8 and tie, giving label 0.
  Model big(16, {1e8f, 1e8f + 8.0f});
  for (const std::string& f : features(Tokens{"x"}, 0)) big.weight(0, f) = 1.0f;
  EXPECT_EQ(label(big, {"x"}), (Labels{1}));
}

}  // namespace
}  // namespace vorlane::ml
