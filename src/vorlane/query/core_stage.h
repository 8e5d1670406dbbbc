// The core stage, innermost of the stage chain: the query text becomes the
// prepared key, the matching core answers it, and when it finds nothing a
// fixed sequence of rewritten keys is tried (unglued, transliterated,
// leading affixes dropped, leading and trailing words dropped, a place named
// in its own field); the first non-empty answer ends the stage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "vorlane/base/temporary_string.h"
#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

// What the German branch hands the core stage; every other caller passes
// the neutral value.
struct DeStageArguments {
  std::optional<std::string_view> locality;  // the words after the last postcode
  bool locality_present = false;             // the branch has a locality context
  uint32_t postcode = 0;                     // of that context; 0 when absent
  bool postal_tail_eligible = false;
  std::optional<std::string_view> street_key_hint;  // main pass only
};

// Stage rows for `q`, best first, at most k; empty when nothing matched.
// `recursed` is set only on the one-level retry without leading affixes.
std::vector<ScoredHit> query_feats_d(const Index& index, std::string_view q, size_t k,
                                     bool recursed, const DeStageArguments& de);

// For a key written city first ("velmont rue x 5"): when its first two (else
// first) words name a commune, the rest of the key, as it stands and
// unglued, must give an exact street's house in that very commune.
std::optional<std::vector<ScoredHit>> city_first_house_retry(const Index& index,
                                                             std::string_view key, size_t k);

// `text` without a leading postcode of 4 to 6 digits (and a two-letter
// country code after it) when a place name follows; else `text` unchanged.
std::string_view strip_leading_pc(std::string_view text);
template <TemporaryString S>
std::string_view strip_leading_pc(S&&) = delete;

}  // namespace vorlane::query
