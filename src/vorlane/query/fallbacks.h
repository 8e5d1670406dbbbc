// The matching core's fallbacks when no hypothesis found a street: a fuzzy
// street search (one or two typing errors) and a token-subset search (the
// street's words in any order, through the word dictionary). Every street
// they find carries street_fuzzy. Internal to the matching core.
#pragma once

#include <span>

#include "vorlane/query/candidates.h"
#include "vorlane/query/hypotheses.h"

namespace vorlane::query {

// Runs the fuzzy search over the first hypotheses and, when it keeps
// nothing and VORLANE_NO_SUBSET is unset (any value, even empty, switches it
// off), the subset search; each hypothesis's map competes for `kept`.
// Requires: `kept` is empty.
void run_fallbacks(const Index& index, const KeyTokens& key, std::span<const Hyp> hyps,
                   LookupTools& tools, KeptCandidates& kept);

// The two searches alone, for one hypothesis's words; each fills `out`
// (cleared first).
void fuzzy_street_search(const Index& index, std::span<const std::string_view> words,
                         std::optional<uint32_t> postcode, bool ml, LookupTools& tools,
                         CandidateMap& out);
void token_subset_search(const Index& index, std::span<const std::string_view> words,
                         std::optional<uint32_t> postcode, LookupTools& tools, CandidateMap& out);

}  // namespace vorlane::query
