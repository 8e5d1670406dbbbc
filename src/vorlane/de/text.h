// Small German text helpers shared by the variant generator, the clean-ups
// and the query-shape parsers: White_Space splitting and trimming, house
// number token shapes and word-bounded phrase tests. All are pure and total;
// a digit is an ASCII digit, a letter a character with the Alphabetic
// property, white space a character with the White_Space property.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorlane/base/temporary_string.h"

namespace vorlane::de {

// The text without leading and trailing White_Space characters.
std::string_view trim_white_space(std::string_view text);
template <TemporaryString S>
std::string_view trim_white_space(S&&) = delete;

// Whether SPACE is the only White_Space character the text can hold, told
// from its bytes alone (a false answer may be wrong, a true one never is).
bool only_spaces_can_separate(std::string_view text);

// The maximal runs of non-White_Space characters, in order; never an empty
// piece.
std::vector<std::string_view> split_white_space(std::string_view text);
template <TemporaryString S>
std::vector<std::string_view> split_white_space(S&&) = delete;

// The text before the first (or last) White_Space character and the text
// after that character (untrimmed); nothing when the text holds none.
// Multi-byte white space (U+00A0, U+3000, ...) is cut whole.
std::optional<std::pair<std::string_view, std::string_view>> split_at_first_white_space(
    std::string_view text);
std::optional<std::pair<std::string_view, std::string_view>> split_at_last_white_space(
    std::string_view text);
template <TemporaryString S>
std::optional<std::pair<std::string_view, std::string_view>> split_at_first_white_space(S&&) =
    delete;
template <TemporaryString S>
std::optional<std::pair<std::string_view, std::string_view>> split_at_last_white_space(S&&) =
    delete;

// Whether some character has the Alphabetic property.
bool contains_letter(std::string_view text);

// Byte length of the dash ('-', U+2013 or U+2014) starting at byte `pos`
// (< text.size()), 0 when none starts there.
size_t dash_length(std::string_view text, size_t pos);

// One to four ASCII digits, optionally followed by one letter ('12ä' too).
bool bounded_house_endpoint(std::string_view token);
// One to five ASCII digits, optionally followed by one ASCII letter.
bool bounded_parenthetical_house_endpoint(std::string_view token);
// A parenthetical endpoint, or two of them around exactly one range
// separator ('-', U+2013, U+2014 or '/').
bool bounded_parenthetical_house_expression(std::string_view text);
// Whether the last word is a house number, a range of two, or a single
// letter after a house number.
bool ends_with_bounded_house(std::string_view text);
// A field with at least one letter that ends with a house number.
bool is_address_field(std::string_view field);
// Word-bounded containment on raw text: equal, or preceded/followed by a
// space where it does not touch an end.
bool contains_token_phrase(std::string_view text, std::string_view phrase);
// Each dash between two ASCII digits becomes one space ('12-14' -> '12 14').
std::string range_separators_to_spaces(std::string_view text);

}  // namespace vorlane::de
