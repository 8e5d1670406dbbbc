// French arrondissements in the core stage. A French sheet names the
// arrondissements of Paris, Lyon and Marseille as communes "{city}
// {ordinal} arrondissement" ("paris 11e arrondissement", "lyon 1er
// arrondissement"); queries name them by ordinal, roman numeral or postcode.
// These steps bring the query to the sheet's spelling, answer a query that
// names only an arrondissement, and restrict a street search to the one
// named. Keys are cut into words at every U+0020 (key_words.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

// "3eme" 3, "1er" 1, "11e" 11: one or two ASCII digits and a suffix, tested
// as "eme", then "er", then "e". "11", "1ere", "123e" give none.
std::optional<uint32_t> fr_ordinal_number(std::string_view text);

// "paris 11e arrondissement" for ("paris", 11); none unless the city has an
// arrondissement n (paris 1-20, lyon 1-9, marseille 1-16).
std::optional<std::string> fr_arrondissement_constraint(std::string_view city, uint32_t n);

// Whether words beside an arrondissement postcode agree with arrondissement
// n of the city: ignoring words that begin with "arrondissement", none, the
// city, ordinal n, or the city and ordinal n in either order.
bool fr_arrondissement_postcode_area(std::string_view city, uint32_t n,
                                     std::span<const std::string_view> words);

// Brings arrondissement words to the sheet's spelling: ordinals and roman
// numerals before "arrondissement" or after a city word of the rules,
// "11e arrondissement de paris" to "paris 11e arrondissement", and
// "paris 11e rue x" to "rue x paris 11e arrondissement". Does nothing unless
// the key mentions one of the three cities; returns whether it changed it.
bool fr_rewrite_arrondissement_words(std::string& key);

// A key with one arrondissement postcode and nothing but arrondissement
// words beside it: the arrondissement's "city" row, or no answer when the
// words name another one. None when the stage should go on (no such
// postcode, or other words such as a street).
std::optional<std::vector<ScoredHit>> fr_postcode_area_answer(const Index& index,
                                                              std::string_view key);

// The arrondissement a key names by postcode or by city and ordinal, which
// the main pass is restricted to.
struct FrCommuneConstraint {
  std::optional<std::string> commune;  // the arrondissement's commune name
  bool conflicting = false;            // the key names two different ones
};
FrCommuneConstraint fr_commune_constraint(std::string_view key);

}  // namespace vorlane::query
