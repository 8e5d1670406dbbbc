// The first steps of the matching core: the key cut into tokens, the query
// postcode, and the house-number hypotheses (which token is the number,
// which tokens its suffix, which tokens remain for street and commune).
// Internal to the matching core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "vorlane/base/temporary_string.h"

namespace vorlane::query {

class Index;

inline constexpr size_t kMaxTokens = 32;
inline constexpr size_t kMaxHypotheses = 15;

// The tokens of a key and what the postcode took of them.
struct KeyTokens {
  std::vector<std::string_view> tokens;  // views into the key
  std::vector<bool> used;                // consumed by the postcode
  std::optional<uint32_t> postcode;
};

// The key's pieces between single spaces (at most kMaxTokens; beyond that,
// copies of a text after its second are dropped first), and the postcode:
// the last token of 5 or 6 digits, of 4 digits before a 2-letter token, or
// of 4 digits and 2 letters.
KeyTokens read_tokens(std::string_view key);
template <TemporaryString S>
KeyTokens read_tokens(S&&) = delete;

// One house-number hypothesis.
struct Hyp {
  std::vector<uint32_t> remaining;  // token indices left for street and commune
  std::optional<uint32_t> number;
  uint32_t suffix_id = 0;  // 0 = none
  uint8_t flag = 0;        // 1 = built from the token-labelling model
  bool operator==(const Hyp&) const = default;
};

// The texts of the hypothesis's remaining tokens, in its order.
std::vector<std::string_view> hypothesis_words(const KeyTokens& key, const Hyp& hyp);
std::vector<std::string_view> hypothesis_words(KeyTokens&&, const Hyp&) = delete;

// The hypothesis whose number is token i; with `with_suffix`, the longest
// run of following short tokens whose concatenation is a suffix of the
// sheet becomes its suffix.
Hyp build_hyp(const Index& index, std::span<const std::string_view> tokens,
              const std::vector<bool>& used, size_t i, bool with_suffix);

// Every hypothesis of the key, in the order they are tried: per number
// candidate (at most 4) with and without suffix, a number glued to its
// suffix, the model's labelling, rotations of all these, then the hypothesis
// without a number.
std::vector<Hyp> build_hypotheses(const Index& index, const KeyTokens& key);

}  // namespace vorlane::query
