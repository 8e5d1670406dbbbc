// The plain character edit distance that ranks street words against query
// words, and the conversion of a text into the characters it compares.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorlane::query {

// Levenshtein distance between two sequences of Unicode scalar values:
// insertion, deletion and substitution cost 1; no transposition.
size_t lev(std::u32string_view a, std::u32string_view b);

// The scalar values of a UTF-8 text; each ill-formed subpart becomes one
// U+FFFD.
std::u32string chars_of(std::string_view text);

}  // namespace vorlane::query
