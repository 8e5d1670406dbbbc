// The calling thread's cache of built Levenshtein automata, keyed by
// (text, distance). A text and distance is built at most once while its
// entry stays cached; a refused build is remembered as well. The cache holds
// at most 256 entries and is emptied whole when a new entry would pass that.
//
// Automata are handed out as shared, immutable values; they stay valid after
// their entry is dropped for as long as the caller holds them. Every thread
// has its own cache and builds its own automata: never hand an automaton to
// another thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "vorlane/levenshtein/levenshtein.h"
#include "vorlane/levenshtein/row_automaton.h"

namespace vorlane::query {

// Entries the cache may hold; a miss that finds it full empties it first.
inline constexpr size_t kLevCacheCapacity = 256;

// The automaton for exactly `text` and `dist`, built on this thread's first
// request for them; nullptr when it exceeds the state limit.
std::shared_ptr<const levenshtein::Levenshtein> cached_levenshtein(std::string_view text,
                                                                   uint32_t dist);

// The lazily evaluated automaton for `text` and `dist` (the same strings
// accepted, the same texts refused), kept beside the eager ones under the
// same rules; nullptr when refused.
std::shared_ptr<const levenshtein::RowAutomaton> cached_row_automaton(std::string_view text,
                                                                      uint32_t dist);

// Drops every entry of this thread's cache (automata still held by callers
// stay alive).
void clear_lev_cache();

// For tests only: the number of entries in this thread's cache.
namespace lev_cache_testing {
size_t size();
}  // namespace lev_cache_testing

}  // namespace vorlane::query
