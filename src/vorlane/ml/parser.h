// Token-labelling model: a linear classifier over hashed token features that
// gives each token of a query a label index. Eleven short feature texts per
// token are hashed (BLAKE2b, 4-byte digest) into D buckets; each of the L
// labels has a bias and one weight per bucket, and a token takes the label
// with the highest summed score.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorlane/base/byte_view.h"

namespace vorlane::ml {

inline constexpr size_t kFeatureCount = 11;

// The BLAKE2b digest (4 bytes, no key, salt or personalisation) of a
// feature text, read as a little-endian u32.
uint32_t feature_hash(std::string_view feature);

// One token and its neighbours; a missing neighbour marks the first or the
// last token of the query.
struct TokenWindow {
  std::string_view token;
  std::optional<std::string_view> prev;
  std::optional<std::string_view> next;
};

// The eleven feature texts of one token, written back to back into one
// buffer that is reused from token to token.
class FeatureTexts {
 public:
  void build(const TokenWindow& window);
  // Requires: k < kFeatureCount and build() called.
  std::string_view operator[](size_t k) const {
    return std::string_view(buffer_).substr(starts_[k], starts_[k + 1] - starts_[k]);
  }

 private:
  void put(size_t k, std::string_view prefix, std::string_view value);

  std::string buffer_;
  std::array<size_t, kFeatureCount + 1> starts_{};
};

// The feature texts of token i (requires i < tokens.size()), in scoring
// order: w=, p=, n=, sfx=, pfx=, dig=, len=, pos=, d5=, d4n2=, pdig=.
std::array<std::string, kFeatureCount> features(const std::vector<std::string>& tokens,
                                                size_t i);
std::array<std::string, kFeatureCount> features(std::span<const std::string_view> tokens,
                                                size_t i);

class Parser {
 public:
  // Parses a model section: magic "VRML", u32 bucket count D > 0, u8 label
  // count L > 0, L f32 biases, then L*D f32 weights label-major; the length
  // must be exactly 9 + 4L + 4LD and every value finite. None otherwise.
  // The weights are not copied: the parser borrows `section` and must not
  // outlive it.
  static std::optional<Parser> from_section(ByteView section);

  // Bucket of a feature text, in 0..D-1.
  uint32_t h(std::string_view feature) const { return feature_hash(feature) % buckets_; }

  // One label index per token, in token order.
  std::vector<uint8_t> label(const std::vector<std::string>& tokens) const;
  std::vector<uint8_t> label(std::span<const std::string_view> tokens) const;

  uint32_t bucket_count() const { return buckets_; }
  uint8_t label_count() const { return static_cast<uint8_t>(biases_.size()); }

 private:
  Parser(std::vector<float> biases, ByteView weights, uint32_t buckets)
      : biases_(std::move(biases)), weights_(weights), buckets_(buckets) {}

  template <typename Tokens>
  std::vector<uint8_t> label_all(const Tokens& tokens) const;
  uint8_t best_label(const std::array<uint32_t, kFeatureCount>& buckets) const;
  float weight(size_t label, uint32_t bucket) const;

  std::vector<float> biases_;
  ByteView weights_;  // L * D little-endian f32, label-major
  uint32_t buckets_;
};

}  // namespace vorlane::ml
