// The matching core's spine: tokens and hypotheses, candidate collection per
// hypothesis until one scores 8 (street, commune and postcode all exact),
// the fallbacks when none found anything, the postcode-area filter and the
// German rescue's pinned street, then ranking (ranking.cc).
#include "vorlane/query/core.h"

#include "vorlane/diagnosis/trace.h"
#include "vorlane/query/candidates.h"
#include "vorlane/query/core_stats.h"
#include "vorlane/query/fallbacks.h"
#include "vorlane/query/hypotheses.h"
#include "vorlane/query/index.h"
#include "vorlane/query/ranking.h"

namespace vorlane::query {

thread_local CoreStats CORE_STATS;

namespace {

// A candidate map scoring this much ends the walk over hypotheses.
constexpr int32_t kGoodEnoughScore = 8;

// Drops entries whose street's postcode lies in another area than the
// query's; in the German rescue an exact street holding the requested
// houses under the query postcode stays anyway.
void keep_postcode_area(const Index& index, const Hyp& hyp, std::optional<uint32_t> postcode,
                        RescueState& rescue, CandidateMap& kept) {
  if (!postcode) return;
  const bool rescue_exception = rescue.rescue && is_rescue_sheet(index) && hyp.number;
  CandidateMap filtered;
  for (const auto& [id, flags] : kept.entries()) {
    const StreetRecord street = *index.street(id);
    bool keep = !outside_postcode_area(street, postcode);
    if (!keep && rescue_exception && flags.street_exact) {
      keep = exact_house_postcode_set_candidate_cached(index, rescue.exact_houses, id, street,
                                                       *hyp.number, hyp.suffix_id,
                                                       rescue.alternative_numbers, *postcode);
    }
    if (keep) filtered[id] = flags;
  }
  std::swap(kept, filtered);
}

// The one exact street that holds the requested house and every
// alternative under the query postcode, in the German rescue.
std::optional<uint32_t> pinned_street(const Index& index, const Hyp& hyp,
                                      std::optional<uint32_t> postcode, RescueState& rescue,
                                      const CandidateMap& kept) {
  if (!hyp.number || !postcode || !rescue.rescue || !is_rescue_sheet(index)) return std::nullopt;
  std::optional<uint32_t> pinned;
  size_t found = 0;
  for (const auto& [id, flags] : kept.entries()) {
    if (!flags.street_exact) continue;
    const StreetRecord street = *index.street(id);
    if (exact_house_postcode_set_candidate_cached(index, rescue.exact_houses, id, street,
                                                  *hyp.number, hyp.suffix_id,
                                                  rescue.alternative_numbers, *postcode)) {
      pinned = id;
      ++found;
    }
  }
  return found == 1 ? pinned : std::nullopt;
}

}  // namespace

std::vector<RankedHit> query_feats_prepared_internal(
    const Index& index, std::string_view key, size_t k, const std::optional<Place>& anchor,
    const std::optional<DeLocalityContext>& context, bool rescue,
    std::span<const uint32_t> alternative_numbers, uint64_t& budget, SeenStreetVariants& seen,
    bool& abort, std::optional<std::string_view> street_key_hint) {
  const KeyTokens tokens = read_tokens(key);
  if (tokens.tokens.empty()) return {};
  const std::vector<Hyp> hyps = build_hypotheses(index, tokens);

  ExactHouseCache exact_houses;
  RescueState rescue_state{rescue, alternative_numbers, budget, seen, exact_houses};
  LookupTools tools(index);
  KeptCandidates kept;
  CandidateMap found;
  const int32_t best_score = best_possible_score(true, tokens.postcode.has_value());
  for (size_t h = 0; h < hyps.size(); ++h) {
    const std::vector<std::string_view> words = hypothesis_words(tokens, hyps[h]);
    if (words.empty()) continue;
    const HypothesisQuery query{tokens.postcode, hyps[h].number.has_value(),
                                hyps[h].number.value_or(0), hyps[h].suffix_id, hyps[h].flag == 1};
    if (collect_candidates(index, words, query, rescue_state, tools, found)) {
      abort = true;
      return {};
    }
    if (kept.offer(found, h) && kept.score >= kGoodEnoughScore) break;
    if (!kept.empty() && kept.score >= best_score && !rescue && !diagnosis::enabled()) break;
  }
  if (kept.empty() && !rescue) run_fallbacks(index, tokens, hyps, tools, kept);
  if (kept.empty()) return {};

  const Hyp& hyp = hyps[kept.hyp];
  keep_postcode_area(index, hyp, tokens.postcode, rescue_state, kept.map);
  RankingInput in;
  in.key = key;
  in.k = k;
  in.postcode = tokens.postcode;
  in.number = hyp.number;
  in.suffix_id = hyp.suffix_id;
  in.pinned_street = pinned_street(index, hyp, tokens.postcode, rescue_state, kept.map);
  in.anchor_given = anchor.has_value();
  in.context = &context;
  in.street_key_hint = street_key_hint;
  return rank_candidates(index, kept.map.entries(), in);
}

}  // namespace vorlane::query
