// Character-level tests the German rewrites make on raw query text. Any
// bytes are accepted: ill-formed UTF-8 reads as U+FFFD (neither a letter nor
// white space), and every position handed back lies on a character
// boundary of the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/base/temporary_string.h"

namespace vorlane::de {

constexpr bool is_digit_byte(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_ascii_letter_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
// '-', U+2013 or U+2014.
constexpr bool is_dash(char32_t c) { return c == U'-' || c == U'\u2013' || c == U'\u2014'; }

// Non-empty and ASCII digits only.
bool all_digits(std::string_view text);
bool has_digit(std::string_view text);
size_t digit_count(std::string_view text);
// Any byte of `ascii` (ASCII characters only, so a byte match is a
// character match).
bool has_any_of(std::string_view text, std::string_view ascii);
size_t count_byte(std::string_view text, char c);
// Number of characters, an ill-formed subpart counting as one.
size_t char_count(std::string_view text);

std::string_view trim_start_white_space(std::string_view text);
std::string_view trim_end_white_space(std::string_view text);
template <TemporaryString S>
std::string_view trim_start_white_space(S&&) = delete;
template <TemporaryString S>
std::string_view trim_end_white_space(S&&) = delete;

// The character that ends at byte `end` (a character boundary > 0) and
// the byte where it starts.
struct CharBefore {
  char32_t c;
  size_t start;
};
CharBefore char_before(std::string_view text, size_t end);
// The character that starts at byte `pos` (< text.size()) and its length.
struct CharAt {
  char32_t c;
  size_t length;
};
CharAt char_at(std::string_view text, size_t pos);

// The last word of the text (a view into it); empty when it has none.
std::string_view last_word(std::string_view text);
template <TemporaryString S>
std::string_view last_word(S&&) = delete;

// The first result of `at(dash, after)` that holds a value, over every dash
// of the text but a leading one; [dash, after) are the dash's bytes.
template <typename At>
auto first_at_dash(std::string_view text, At at) -> decltype(at(size_t{}, size_t{})) {
  for (size_t pos = 0; pos < text.size();) {
    const CharAt ch = char_at(text, pos);
    const size_t after = pos + ch.length;
    if (pos > 0 && is_dash(ch.c)) {
      if (auto found = at(pos, after)) return found;
    }
    pos = after;
  }
  return {};
}

// The pieces between commas (every ','), each trimmed of white space.
std::vector<std::string_view> comma_fields(std::string_view text);
template <TemporaryString S>
std::vector<std::string_view> comma_fields(S&&) = delete;

}  // namespace vorlane::de
