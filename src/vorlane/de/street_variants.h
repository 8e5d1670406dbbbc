// Other written forms of a German street name under which a sheet may hold
// it: the street-type word glued or split, and spelled with each member of
// its family ("str", "straße", "strasse"). Driven by the street-type words
// (kind 20) of the rules in force; without them every answer is empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::de {

// The street-type words interchangeable with `word`, borrowed from the
// rules in force, in their order (repeats kept).
std::vector<std::string_view> street_type_family(std::string_view word);

// Distinct variants of `street` (normalised, single spaces) in the order
// found; never `street` itself. With `differ_before`, a street written in
// single-spaced words keeps only the variants that may differ from it
// within its first `differ_before` bytes (those replacing a word that
// starts there); the others begin with those bytes of the street.
std::vector<std::string> street_variants(std::string_view street,
                                         size_t differ_before = SIZE_MAX);

}  // namespace vorlane::de
