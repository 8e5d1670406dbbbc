// Three of the four narrow overrides of the German branch, each computed on
// the best answer that the row loop and the rescues left: a street whose
// name carries the typed locality in parentheses, a typing error in the
// street name resolved among the streets of the typed postcode, and a house
// on a street that has no postcode of its own. (The fourth is the audited
// compound fallback, de_audited.h.) The branch applies an override only
// when it alone answers.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "vorlane/query/de_parsers.h"
#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

// "Dorfstraße (Mitte)" answering 'Dorfstraße 5, 10117 Mitte': the row's
// street names the qualifier's street with its locality in parentheses, on
// an exact house without a postcode.
bool de_qualified_street_row(const ScoredHit& row, const DeStreetLocalityQualifierSpec& spec);

// The position of the one qualified street among the second to fifth rows,
// when the top is an exact house of the typed street in another postcode.
std::optional<size_t> de_street_locality_qualifier_move(std::span<const ScoredHit> best,
                                                        const DeStreetLocalityQualifierSpec& spec);

// The typo override: one street of the typed postcode within two edits of
// the typed street that holds the typed house there; or, when the postcode
// has no usable range, the best answer without rows that contradict the
// typed postcode and locality (possibly none). Nothing when neither
// applies.
std::optional<std::vector<ScoredHit>> de_strict_source_street_typo_answer(
    const Index& index, std::span<const ScoredHit> best, const DeStrictSourceStreetTypoSpec& spec);

// The blank-postcode override: the one house of the typed number on a
// postcode-less street of the typed street and locality, when the best
// answer is only near it.
std::optional<std::vector<ScoredHit>> de_blank_postcode_house_answer(
    const Index& index, std::string_view q, std::span<const ScoredHit> best,
    const std::optional<DeStreetLocalityQualifierSpec>& spec);

// Optimal-string-alignment distance over bytes (insertions, deletions,
// substitutions and transpositions of two adjacent bytes, no byte edited
// twice), or limit + 1 when it exceeds `limit`.
size_t de_osa_distance(std::string_view a, std::string_view b, size_t limit);
// Bytes matched by longest-common-block matching: the longest common block
// (ties: earliest in a, then in b), then recursively left and right of it.
size_t de_matching_bytes(std::string_view a, std::string_view b);

}  // namespace vorlane::query
