// The German branch of the country stage. The query's variant rows (at most
// 20) each run the core stage; each row's answer is filtered and the one
// that wins a fixed comparison is kept. A weak answer is then rescued by
// typed postcode and house number, one of four narrow overrides applies
// when it alone answers, Frankfurt queries are flagged, and at most k rows
// are returned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/de/seed.h"
#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

// The German branch as a stage: rows for q, best first, at most k.
std::vector<ScoredHit> query_feats_de_branch(const Index& index, std::string_view q, size_t k);

// Parts of the branch, exposed for tests.

// The street key of a comma-free "street words house" query, whose house
// is 1-4 digits and letters (a lone trailing letter dropped) and whose
// street words hold no digit.
std::optional<std::string> de_street_key_hint(std::string_view q);

// The locality after the last five-digit word of the canonical query.
struct DeLocalityQuery {
  uint32_t postcode = 0;
  std::string locality;  // never empty

  bool operator==(const DeLocalityQuery&) const = default;
};
std::optional<DeLocalityQuery> de_locality_context(std::string_view q);

// How a row's answer ranks against the best so far, from its first row.
struct DeRowKey {
  int32_t evidence = 0;  // INT32_MIN for a held-back locality drop
  uint8_t precision_rank = 0;
  uint8_t no_dropped_suffix = 0;
  float score = 0.0f;
};
DeRowKey de_row_key(const ScoredHit& first);

enum class DeKeyOrder { less, tie, greater };
// Lexicographic; scores compare with plain '<' and '>', so a NaN score
// neither wins nor ties.
DeKeyOrder de_compare_row_keys(const DeRowKey& row, const DeRowKey& best);

// On a full tie a row that only dropped its recipient line wins over a best
// that dropped a leading word: both must be exact streets with the house.
bool de_recipient_rule(std::span<const de::Effect> effects, const ScoredHit& row,
                       const ScoredHit& best);

// Whether a row made by an abbreviation rewrite (first row `row`) may
// compete with the best (first row `best`).
bool de_abbreviation_row_passes(const ScoredHit& row, const ScoredHit& best,
                                const std::optional<DeLocalityQuery>& context);

// Work of the German branch on the calling thread, for tests and
// benchmarks; reset it by assigning DeBranchStats{}.
struct DeBranchStats {
  uint64_t branches = 0;
  uint64_t core_stage_calls = 0;  // the row loop's core-stage runs
};
DeBranchStats& de_branch_stats();

}  // namespace vorlane::query
