// Parsing and evaluation of the token-labelling model. from_section checks
// the exact section length and the finiteness of every value up front, so
// label() can read any weight (label < L, bucket < D) without a check.
// Scores are summed in f32 in a fixed order (bias, then the eleven features
// in order) so that labels come out bit for bit the same everywhere.
#include "vorlane/ml/parser.h"

#include <blake2.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "vorlane/base/utf8.h"

namespace vorlane::ml {
namespace {

constexpr std::string_view kMagic = "VRML";
// Magic (4), bucket count D (u32), label count L (u8).
constexpr uint64_t kHeaderBytes = 9;
// A token's prefix and suffix features hold this many characters.
constexpr size_t kAffixChars = 3;
// The length feature saturates at this many characters.
constexpr size_t kMaxLengthValue = 7;

bool is_ascii_digit(char32_t c) { return c >= '0' && c <= '9'; }

bool all_ascii_digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return is_ascii_digit(c); });
}

// What the features need to know about a token, counted in characters
// (Unicode scalar values), gathered in one pass.
struct TokenShape {
  size_t chars = 0;
  bool all_digits = false;   // non-empty, every character an ASCII digit
  bool some_digit = false;   // at least one ASCII digit
  size_t prefix_end = 0;     // byte end of the first kAffixChars characters
  size_t suffix_begin = 0;   // byte start of the last kAffixChars characters
};

TokenShape shape_of(std::string_view token) {
  TokenShape shape;
  std::array<size_t, kAffixChars> recent_starts{};  // start of char k at [k % 3]
  bool only_digits = true;
  size_t pos = 0;
  while (pos < token.size()) {
    const utf8::Step step = utf8::decode_step(token, pos);
    recent_starts[shape.chars % kAffixChars] = pos;
    const bool digit = step.valid && is_ascii_digit(step.scalar);
    shape.some_digit |= digit;
    only_digits &= digit;
    pos += step.length;
    ++shape.chars;
    if (shape.chars == kAffixChars) shape.prefix_end = pos;
  }
  shape.all_digits = shape.chars > 0 && only_digits;
  if (shape.chars < kAffixChars) {
    shape.prefix_end = token.size();
    shape.suffix_begin = 0;
  } else {
    shape.suffix_begin = recent_starts[(shape.chars - kAffixChars) % kAffixChars];
  }
  return shape;
}

// Exactly two characters, both Alphabetic in the Unicode sense.
bool is_two_letter_word(std::string_view s) {
  size_t chars = 0;
  size_t pos = 0;
  while (pos < s.size()) {
    const utf8::Step step = utf8::decode_step(s, pos);
    if (!step.valid || !u_isUAlphabetic(static_cast<UChar32>(step.scalar))) return false;
    if (++chars > 2) return false;
    pos += step.length;
  }
  return chars == 2;
}

template <typename Tokens>
TokenWindow window_at(const Tokens& tokens, size_t i) {
  TokenWindow w{std::string_view(tokens[i]), std::nullopt, std::nullopt};
  if (i > 0) w.prev = std::string_view(tokens[i - 1]);
  if (i + 1 < tokens.size()) w.next = std::string_view(tokens[i + 1]);
  return w;
}

template <typename Tokens>
std::array<std::string, kFeatureCount> features_at(const Tokens& tokens, size_t i) {
  FeatureTexts texts;
  texts.build(window_at(tokens, i));
  std::array<std::string, kFeatureCount> out;
  for (size_t k = 0; k < kFeatureCount; ++k) out[k] = std::string(texts[k]);
  return out;
}

}  // namespace

uint32_t feature_hash(std::string_view feature) {
  uint8_t digest[4] = {};
  // Argument order: out, in, key, outlen, inlen, keylen. The digest length
  // goes into the parameter block, so a 4-byte digest is not a truncated
  // 64-byte one.
  [[maybe_unused]] const int rc =
      blake2b(digest, feature.data(), nullptr, sizeof digest, feature.size(), 0);
  assert(rc == 0);
  return load_le<uint32_t>(digest);
}

void FeatureTexts::put(size_t k, std::string_view prefix, std::string_view value) {
  starts_[k] = buffer_.size();
  buffer_.append(prefix);
  buffer_.append(value);
}

void FeatureTexts::build(const TokenWindow& window) {
  const std::string_view token = window.token;
  const TokenShape shape = shape_of(token);
  const char length_digit = static_cast<char>('0' + std::min(shape.chars, kMaxLengthValue));

  buffer_.clear();
  put(0, "w=", token);
  put(1, "p=", window.prev.value_or("^"));
  put(2, "n=", window.next.value_or("$"));
  put(3, "sfx=", token.substr(shape.suffix_begin));
  put(4, "pfx=", token.substr(0, shape.prefix_end));
  put(5, "dig=", shape.all_digits ? "1" : shape.some_digit ? "m" : "0");
  put(6, "len=", std::string_view(&length_digit, 1));
  put(7, "pos=", !window.prev ? "a" : !window.next ? "z" : "m");
  put(8, "d5=", shape.all_digits && shape.chars == 5 ? "1" : "0");
  const bool d4n2 = shape.all_digits && shape.chars == 4 && window.next &&
                    is_two_letter_word(*window.next);
  put(9, "d4n2=", d4n2 ? "1" : "0");
  put(10, "pdig=", window.prev && all_ascii_digits(*window.prev) ? "1" : "0");
  starts_[kFeatureCount] = buffer_.size();
}

std::array<std::string, kFeatureCount> features(const std::vector<std::string>& tokens,
                                                size_t i) {
  return features_at(tokens, i);
}

std::array<std::string, kFeatureCount> features(std::span<const std::string_view> tokens,
                                                size_t i) {
  return features_at(tokens, i);
}

std::optional<Parser> Parser::from_section(ByteView section) {
  if (section.size() < kHeaderBytes || section.as_string_view().substr(0, 4) != kMagic) {
    return std::nullopt;
  }
  const uint32_t buckets = *section.le_u32(4);
  const uint8_t labels = *section.u8(8);
  if (buckets == 0 || labels == 0) return std::nullopt;

  const auto bias_bytes = section.subview(kHeaderBytes, 4 * uint64_t{labels});
  if (!bias_bytes) return std::nullopt;
  std::vector<float> biases;
  biases.reserve(labels);
  for (size_t j = 0; j < labels; ++j) {
    const float bias = load_le_f32(bias_bytes->data() + 4 * j);
    if (!std::isfinite(bias)) return std::nullopt;
    biases.push_back(bias);
  }

  // At most 4 * 255 * (2^32 - 1) bytes of weights: no overflow in 64 bits.
  const uint64_t weight_bytes = 4 * uint64_t{labels} * buckets;
  const uint64_t weights_at = kHeaderBytes + 4 * uint64_t{labels};
  if (section.size() != weights_at + weight_bytes) return std::nullopt;
  const ByteView weights = *section.subview(weights_at, weight_bytes);
  for (size_t at = 0; at < weights.size(); at += 4) {
    if (!std::isfinite(load_le_f32(weights.data() + at))) return std::nullopt;
  }
  return Parser(std::move(biases), weights, buckets);
}

float Parser::weight(size_t label, uint32_t bucket) const {
  // label < L and bucket < D, and from_section made the view exactly 4*L*D
  // bytes, so the four bytes at this index are always inside it.
  const size_t index = label * buckets_ + bucket;
  return load_le_f32(weights_.data() + 4 * index);
}

uint8_t Parser::best_label(const std::array<uint32_t, kFeatureCount>& buckets) const {
  float best_score = -std::numeric_limits<float>::max();
  uint8_t best = 0;
  for (size_t j = 0; j < biases_.size(); ++j) {
    float score = biases_[j];
    for (uint32_t bucket : buckets) score += weight(j, bucket);
    // Strictly greater: equal top scores keep the lower label.
    if (score > best_score) {
      best_score = score;
      best = static_cast<uint8_t>(j);
    }
  }
  return best;
}

template <typename Tokens>
std::vector<uint8_t> Parser::label_all(const Tokens& tokens) const {
  std::vector<uint8_t> labels;
  labels.reserve(tokens.size());
  FeatureTexts texts;
  std::array<uint32_t, kFeatureCount> buckets;
  for (size_t i = 0; i < tokens.size(); ++i) {
    texts.build(window_at(tokens, i));
    for (size_t k = 0; k < kFeatureCount; ++k) buckets[k] = h(texts[k]);
    labels.push_back(best_label(buckets));
  }
  return labels;
}

std::vector<uint8_t> Parser::label(const std::vector<std::string>& tokens) const {
  return label_all(tokens);
}

std::vector<uint8_t> Parser::label(std::span<const std::string_view> tokens) const {
  return label_all(tokens);
}

}  // namespace vorlane::ml
