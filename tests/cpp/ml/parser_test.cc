#include "vorlane/ml/parser.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vorlane::ml {
namespace {

constexpr float kMaxF = std::numeric_limits<float>::max();

void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A model section under construction: biases, and L * D weights, label-major.
struct Model {
  Model(uint32_t buckets, std::vector<float> label_biases)
      : d(buckets), biases(std::move(label_biases)), weights(biases.size() * buckets, 0.0f) {}

  float& weight(size_t label, uint32_t bucket) { return weights[label * d + bucket]; }

  std::string bytes() const {
    std::string out = "VRML";
    put_u32(out, d);
    out.push_back(static_cast<char>(biases.size()));
    for (float f : biases) put_u32(out, std::bit_cast<uint32_t>(f));
    for (float f : weights) put_u32(out, std::bit_cast<uint32_t>(f));
    return out;
  }

  uint32_t d;
  std::vector<float> biases;
  std::vector<float> weights;
};

std::optional<Parser> parse(const std::string& bytes) {
  return Parser::from_section(ByteView(std::string_view(bytes)));
}

TEST(FeatureHash, MatchesBlake2bWithAFourByteDigest) {
  EXPECT_EQ(feature_hash("w=rue"), 3741739819u);
  EXPECT_EQ(feature_hash(""), 0x25CF7112u);  // digest bytes 12 71 cf 25

  const std::string bytes = Model(7, {0.0f}).bytes();
  auto parser = parse(bytes);
  ASSERT_TRUE(parser);
  EXPECT_EQ(parser->h("w=rue"), 3741739819u % 7);
  EXPECT_EQ(parser->h(""), 0x25CF7112u % 7);
}

TEST(ParserSection, AcceptsOnlyAnExactFiniteModel) {
  const Model model(3, {0.5f, -1.0f});
  const std::string valid = model.bytes();
  ASSERT_EQ(valid.size(), 9u + 4 * 2 + 4 * 2 * 3);
  auto parser = parse(valid);
  ASSERT_TRUE(parser);
  EXPECT_EQ(parser->bucket_count(), 3u);
  EXPECT_EQ(parser->label_count(), 2u);

  const auto with = [&](auto change) {
    Model m = model;
    change(m);
    return m.bytes();
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case rejected[] = {
      {"one byte more", valid + '\0'},
      {"one byte less", valid.substr(0, valid.size() - 1)},
      {"header only", valid.substr(0, 9)},
      {"shorter than the header", valid.substr(0, 8)},
      {"empty", ""},
      {"bad magic", "VRMX" + valid.substr(4)},
      {"no buckets", Model(0, {1.0f}).bytes()},
      {"no labels", Model(3, {}).bytes()},
      {"NaN bias", with([&](Model& m) { m.biases[1] = nan; })},
      {"infinite bias", with([&](Model& m) { m.biases[0] = -inf; })},
      {"NaN weight", with([&](Model& m) { m.weight(0, 0) = nan; })},
      {"infinite last weight", with([&](Model& m) { m.weight(1, 2) = inf; })},
  };
  for (const Case& c : rejected) EXPECT_FALSE(parse(c.bytes)) << c.what;

  // Extreme finite values are fine.
  EXPECT_TRUE(parse(with([](Model& m) { m.weight(1, 2) = -kMaxF; })));
}

// The value of the feature with `prefix` among the texts of token i.
std::string feature_value(const std::vector<std::string>& tokens, size_t i,
                          std::string_view prefix) {
  for (const std::string& f : features(tokens, i)) {
    if (f.starts_with(prefix)) return f.substr(prefix.size());
  }
  return "<missing>";
}

TEST(ParserFeatures, SingleTokenTextsInScoringOrder) {
  const std::array<std::string, kFeatureCount> expected = {
      "w=rue", "p=^", "n=$", "sfx=rue", "pfx=rue", "dig=0",
      "len=3", "pos=a", "d5=0", "d4n2=0", "pdig=0",
  };
  EXPECT_EQ(features(std::vector<std::string>{"rue"}, 0), expected);
  const std::vector<std::string_view> views = {"rue"};
  EXPECT_EQ(features(std::span<const std::string_view>(views), 0), expected);
}

TEST(ParserFeatures, EdgeCases) {
  using Tokens = std::vector<std::string>;
  struct Case {
    Tokens tokens;
    size_t i;
    std::string_view prefix;
    std::string value;
  };
  const Case cases[] = {
      // Neighbours and position.
      {{"a", "b", "c"}, 1, "p=", "a"},
      {{"a", "b", "c"}, 1, "n=", "c"},
      {{"a", "b", "c"}, 1, "pos=", "m"},
      {{"a", "b", "c"}, 2, "pos=", "z"},
      {{"a", "b", "c"}, 2, "n=", "$"},
      // Digit shape.
      {{"75001"}, 0, "dig=", "1"},
      {{"75001"}, 0, "d5=", "1"},
      {{"75001"}, 0, "len=", "5"},
      {{"12a"}, 0, "dig=", "m"},
      {{"12a"}, 0, "d5=", "0"},
      {{"7500a"}, 0, "d5=", "0"},
      {{"١٢٣"}, 0, "dig=", "0"},  // digits are ASCII only
      // Length and affixes count characters, not bytes.
      {{"boulevards"}, 0, "len=", "7"},
      {{"boulevards"}, 0, "sfx=", "rds"},
      {{"boulevards"}, 0, "pfx=", "bou"},
      {{"улица"}, 0, "sfx=", "ица"},
      {{"улица"}, 0, "pfx=", "ули"},
      {{"улица"}, 0, "len=", "5"},
      {{"ab"}, 0, "sfx=", "ab"},
      {{"x😀yz"}, 0, "sfx=", "😀yz"},
      {{"x😀yz"}, 0, "pfx=", "x😀y"},
      {{""}, 0, "len=", "0"},
      {{""}, 0, "dig=", "0"},
      {{""}, 0, "sfx=", ""},
      // Four digits followed by a two-letter word.
      {{"1234", "ab"}, 0, "d4n2=", "1"},
      {{"1234", "éß"}, 0, "d4n2=", "1"},  // alphabetic in the Unicode sense
      {{"1234", "a1"}, 0, "d4n2=", "0"},
      {{"1234", "a-"}, 0, "d4n2=", "0"},
      {{"1234", "abc"}, 0, "d4n2=", "0"},
      {{"12345", "ab"}, 0, "d4n2=", "0"},
      {{"x", "1234"}, 1, "d4n2=", "0"},  // last token: no real next
      // Previous token all digits.
      {{"1234", "ab"}, 1, "pdig=", "1"},
      {{"12b", "ab"}, 1, "pdig=", "0"},
      {{"", "ab"}, 1, "pdig=", "0"},
      {{"", "ab"}, 1, "p=", ""},
      {{"١٢", "ab"}, 1, "pdig=", "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(feature_value(c.tokens, c.i, c.prefix), c.value)
        << "token " << c.i << " of '" << c.tokens[0] << "...', feature " << c.prefix;
  }
}

TEST(ParserLabel, PicksTheLabelWhoseWeightsTheFeaturesHit) {
  Model model(1024, {0.0f, 0.0f, 0.0f});
  const std::string probe_bytes = model.bytes();
  auto probe = parse(probe_bytes);
  ASSERT_TRUE(probe);
  const uint32_t rue = probe->h("w=rue");
  const uint32_t five_digits = probe->h("d5=1");
  // Neither bucket may be hit by the other token's features.
  for (const std::string& f : features(std::vector<std::string>{"rue", "75001"}, 1)) {
    ASSERT_NE(probe->h(f), rue) << f;
  }
  for (const std::string& f : features(std::vector<std::string>{"rue", "75001"}, 0)) {
    ASSERT_NE(probe->h(f), five_digits) << f;
  }
  model.weight(2, rue) = 1.0f;
  model.weight(1, five_digits) = 2.0f;

  std::string bytes = model.bytes();
  auto parser = parse(bytes);
  ASSERT_TRUE(parser);
  const std::vector<std::string> tokens = {"rue", "75001"};
  EXPECT_EQ(parser->label(tokens), (std::vector<uint8_t>{2, 1}));
  const std::vector<std::string_view> views = {"rue", "75001"};
  EXPECT_EQ(parser->label(std::span<const std::string_view>(views)),
            (std::vector<uint8_t>{2, 1}));
  EXPECT_TRUE(parser->label(std::vector<std::string>{}).empty());

  // The weights are read from the section bytes, not from a copy.
  const size_t at = 9 + 4 * 3 + 4 * (2 * 1024 + rue);
  const std::string minus_one = "\x00\x00\x80\xbf";  // -1.0f little-endian
  bytes.replace(at, 4, minus_one);
  EXPECT_EQ(parser->label(tokens), (std::vector<uint8_t>{0, 1}));
}

TEST(ParserLabel, EqualTopScoresKeepTheLowerLabel) {
  const std::string bytes = Model(16, {0.0f, 1.0f, 1.0f, -1.0f}).bytes();
  auto parser = parse(bytes);
  ASSERT_TRUE(parser);
  EXPECT_EQ(parser->label(std::vector<std::string>{"a", "b"}), (std::vector<uint8_t>{1, 1}));
}

TEST(ParserLabel, NoScoreAboveTheLowestFiniteValueGivesLabelZero) {
  // Label 1 scores exactly -FLT_MAX, label 0 overflows to -inf: neither
  // beats the starting value, so label 0 stands.
  Model model(4, {-kMaxF, -kMaxF});
  const std::string probe_bytes = model.bytes();
  auto probe = parse(probe_bytes);
  ASSERT_TRUE(probe);
  const uint32_t word = probe->h("w=x");
  model.weight(0, word) = -kMaxF;
  const std::string bytes = model.bytes();
  auto parser = parse(bytes);
  ASSERT_TRUE(parser);
  EXPECT_EQ(parser->label(std::vector<std::string>{"x"}), (std::vector<uint8_t>{0}));
}

TEST(ParserLabel, SumsTheBiasFirstInSinglePrecision) {
  // 1e8 has a spacing of 8 in f32: adding 1.0 eleven times to the bias
  // leaves it at 1e8, below label 1's 1e8 + 8. Summing the features first
  // would reach 1e8 + 11, round to 1e8 + 8 and tie, giving label 0.
  Model model(16, {1e8f, 1e8f + 8.0f});
  const std::string probe_bytes = model.bytes();
  auto probe = parse(probe_bytes);
  ASSERT_TRUE(probe);
  for (const std::string& f : features(std::vector<std::string>{"x"}, 0)) {
    model.weight(0, probe->h(f)) = 1.0f;
  }
  const std::string bytes = model.bytes();
  auto parser = parse(bytes);
  ASSERT_TRUE(parser);
  EXPECT_EQ(parser->label(std::vector<std::string>{"x"}), (std::vector<uint8_t>{1}));
}

}  // namespace
}  // namespace vorlane::ml
