// The stage chain between the per-index entry point and the matching core,
// outermost first: street data, street data base, postal retry, city tail,
// country variants, then the core stage (core_stage.h). Every stage takes
// the index, the query text and k and returns stage rows, best first, at
// most k of them; an empty list means no answer. Stages never fail.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

// Marks a held-back answer of the core stage; removed before answers leave
// the engine.
inline constexpr std::string_view kFlagDeferredLocalityDrop = "__deferred_locality_drop";

// A feature of a stage row counts as set above one half (NaN never does).
inline bool feature_set(float value) { return value > 0.5f; }

std::vector<ScoredHit> query_feats_street_data(const Index& index, std::string_view q, size_t k);
// Starts every query (and every structured retry) with an empty automaton
// cache, so automata live for one query.
std::vector<ScoredHit> query_feats_street_data_base(const Index& index, std::string_view q,
                                                    size_t k);
std::vector<ScoredHit> query_feats_postal_retry(const Index& index, std::string_view q, size_t k);
std::vector<ScoredHit> query_feats_city_tail(const Index& index, std::string_view q, size_t k);
std::vector<ScoredHit> query_feats_country_variants(const Index& index, std::string_view q,
                                                    size_t k);

}  // namespace vorlane::query
