// Query-text folding: the matching key every street or address text is
// compared in, the unit and sub-premise stripper inside it, the small
// rewriters that give alternative street spellings, and the word-order-free
// street key. All functions are pure functions of their text and of the
// calling thread's rules in force (rules::current()); they never fail.
//
// A word is a non-empty run between single U+0020 spaces (other white space
// does not separate words); results are joined with single spaces.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/base/strings.h"
#include "vorlane/base/temporary_string.h"

namespace vorlane::query {

// The words of a text: the non-empty runs between U+0020 spaces.
std::vector<std::string_view> split_words(std::string_view text);
template <TemporaryString S>
std::vector<std::string_view> split_words(S&&) = delete;

// The matching key of a text: canonical form, look-alike letters folded,
// units folded (fold_units), then the rules' phrase replacements, each
// "a " -> "b " left to right over the result of the previous pair.
std::string prepared_query_key(std::string_view text);

// The text with house words, unit and sub-premise designators (with their
// values), phone tails, city, region and country words removed, and
// building parts folded onto short forms ("корпус 2" -> "к2").
std::string fold_units(std::string_view text);

// Splits words made of 1 or 2 letters and 1 to 4 ASCII digits ("d12" ->
// "d 12"); none when no word was split.
std::optional<std::string> unglue_variant(std::string_view text);

// The text with its last two words exchanged; none below 3 words.
std::optional<std::string> swap_last_two_words(std::string_view text);

// The same, but none either when the text has single spaces between its
// words and none around them, and the variant would keep its first
// `differ_before` bytes unchanged.
std::optional<std::string> unglue_variant_within(std::string_view text, size_t differ_before);
std::optional<std::string> swap_last_two_words_within(std::string_view text,
                                                      size_t differ_before);

// The swapped variant of each text that has one, in order, then the
// unglued variant of each text that has one. Duplicates are kept. With
// limits (one per text), the variants of the _within forms.
std::vector<std::string> street_text_variants(std::span<const std::string> texts,
                                              std::span<const size_t> differ_before = {});

// The canonical words of a text sorted bytewise (stable) and joined with one
// space: a key that ignores word order.
std::string street_key(std::string_view text);

}  // namespace vorlane::query
