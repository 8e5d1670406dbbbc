// Italian probes of the core stage. Italian commune names are often shared
// by communes in several provinces: a place named after the street ("via
// roma 1 castello torino") picks the commune near it, and a key ending in a
// commune with no street match answers with the commune itself. Both take
// the key's words as the core stage cuts them (key_words.h).
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "vorlane/query/hit.h"
#include "vorlane/query/key_words.h"

namespace vorlane::query {

class Index;

// Place probe, after a main pass with no exact street in an exact commune.
// When a trailing place and the ambiguous commune name before it decide
// the answer, returns it (the rows of the commune near the place, marked
// "geo_qualifier", or no rows); none leaves the main pass in force.
std::optional<std::vector<ScoredHit>> it_place_probe(const Index& index, const KeyWords& words,
                                                     size_t k);

// Trailing commune, among the core stage's last-resort passes. When the key
// ends in a commune name, returns the stage's answer: the "city" row of the
// longest trailing commune that is a place, unless the key holds a house
// number; else `deferred` (moved out) when held, else no rows. None when the
// key does not end in a commune.
std::optional<std::vector<ScoredHit>> it_trailing_commune(
    const Index& index, const KeyWords& words, std::optional<std::vector<ScoredHit>>& deferred);

}  // namespace vorlane::query
