// Word splitting and house-number shapes on raw UTF-8. Every scan walks
// forward with utf8::decode_step, so a cut always falls on the boundary the
// decoder sees; ill-formed bytes read as U+FFFD, which is neither white
// space, a letter nor a digit. ASCII digits, '-', '/' and ' ' are single
// bytes that never occur inside a multi-byte sequence, so tests for them may
// look at bytes.
#include "vorlane/de/text.h"

#include <algorithm>

#include "vorlane/base/strings.h"
#include "vorlane/base/utf8.h"
#include "vorlane/norm/char_class.h"

namespace vorlane::de {
namespace {

bool is_ascii_digit_byte(char c) { return c >= '0' && c <= '9'; }

bool is_ascii_letter_byte(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

struct Char {
  size_t length;
  bool white_space;
};

Char read_non_ascii_char(std::string_view text, size_t pos) {
  const utf8::Step step = utf8::decode_step(text, pos);
  return {step.length, step.valid && norm::is_white_space(step.scalar)};
}

// The character at `pos`; ASCII answers without a property lookup (its
// White_Space characters are TAB..CR and SPACE), inline in every scan.
inline Char read_char(std::string_view text, size_t pos) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  if (byte < 0x80) [[likely]] return {1, byte == ' ' || (byte >= '\t' && byte <= '\r')};
  return read_non_ascii_char(text, pos);
}

// The whole text is exactly one character with the Alphabetic property.
bool is_single_letter(std::string_view text) {
  if (text.empty()) return false;
  const utf8::Step step = utf8::decode_step(text, 0);
  return step.length == text.size() && step.valid && norm::is_letter(step.scalar);
}

size_t leading_ascii_digits(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && is_ascii_digit_byte(text[n])) ++n;
  return n;
}

// Byte length of the range separator (a dash or '/') at `pos`, 0 when none
// starts there.
size_t range_separator_length(std::string_view text, size_t pos) {
  return text[pos] == '/' ? 1 : dash_length(text, pos);
}

struct SeparatorSplit {
  std::string_view before, after;
};

// The parts around the only range separator of `text`; nothing when it
// holds none or more than one.
std::optional<SeparatorSplit> split_at_only_range_separator(std::string_view text) {
  std::optional<SeparatorSplit> found;
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = range_separator_length(text, pos);
    if (length == 0) {
      ++pos;
      continue;
    }
    if (found) return std::nullopt;
    found = SeparatorSplit{text.substr(0, pos), text.substr(pos + length)};
    pos += length;
  }
  return found;
}

bool is_range_of(std::string_view word, bool (*endpoint)(std::string_view)) {
  const std::optional<SeparatorSplit> split = split_at_only_range_separator(word);
  return split && endpoint(split->before) && endpoint(split->after);
}

}  // namespace

bool contains_letter(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Step step = utf8::decode_step(text, pos);
    if (step.valid && norm::is_letter(step.scalar)) return true;
    pos += step.length;
  }
  return false;
}

size_t dash_length(std::string_view text, size_t pos) {
  if (text[pos] == '-') return 1;
  const std::string_view rest = text.substr(pos);
  return rest.starts_with("\u2013") || rest.starts_with("\u2014") ? 3 : 0;
}

std::string_view trim_white_space(std::string_view text) {
  // An ASCII byte is a character of its own: one that is not white space at
  // each end leaves nothing to trim.
  const auto ascii_letter_or_sign = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > ' ' && byte < 0x80;
  };
  if (!text.empty() && ascii_letter_or_sign(text.front()) && ascii_letter_or_sign(text.back())) {
    return text;
  }
  size_t begin = text.size();
  size_t end = 0;
  for (size_t pos = 0; pos < text.size();) {
    const Char c = read_char(text, pos);
    if (!c.white_space) {
      if (begin == text.size()) begin = pos;
      end = pos + c.length;
    }
    pos += c.length;
  }
  return begin < end ? text.substr(begin, end - begin) : std::string_view();
}

// No byte is TAB..CR or the lead byte of U+0085, U+00A0, U+1680,
// U+2000..U+205F or U+3000; an ill-formed sequence never swallows a
// following SPACE.
bool only_spaces_can_separate(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= '\t' && byte <= '\r') || byte == 0xC2 || (byte >= 0xE1 && byte <= 0xE3);
  });
}

std::vector<std::string_view> split_white_space(std::string_view text) {
  if (only_spaces_can_separate(text)) {
    std::vector<std::string_view> words;
    for_each_space_separated_word(text, [&](std::string_view w) { words.push_back(w); });
    return words;
  }
  std::vector<std::string_view> words;
  size_t word_start = 0;
  bool in_word = false;
  for (size_t pos = 0; pos < text.size();) {
    const Char c = read_char(text, pos);
    if (c.white_space && in_word) words.push_back(text.substr(word_start, pos - word_start));
    if (!c.white_space && !in_word) word_start = pos;
    in_word = !c.white_space;
    pos += c.length;
  }
  if (in_word) words.push_back(text.substr(word_start));
  return words;
}

std::optional<std::pair<std::string_view, std::string_view>> split_at_first_white_space(
    std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const Char c = read_char(text, pos);
    if (c.white_space) return std::pair{text.substr(0, pos), text.substr(pos + c.length)};
    pos += c.length;
  }
  return std::nullopt;
}

std::optional<std::pair<std::string_view, std::string_view>> split_at_last_white_space(
    std::string_view text) {
  std::optional<std::pair<std::string_view, std::string_view>> last;
  for (size_t pos = 0; pos < text.size();) {
    const Char c = read_char(text, pos);
    if (c.white_space) last = std::pair{text.substr(0, pos), text.substr(pos + c.length)};
    pos += c.length;
  }
  return last;
}

bool bounded_house_endpoint(std::string_view token) {
  const size_t digits = leading_ascii_digits(token);
  if (digits < 1 || digits > 4) return false;
  return digits == token.size() || is_single_letter(token.substr(digits));
}

bool bounded_parenthetical_house_endpoint(std::string_view token) {
  const size_t digits = leading_ascii_digits(token);
  if (digits < 1 || digits > 5) return false;
  const size_t rest = token.size() - digits;
  return rest == 0 || (rest == 1 && is_ascii_letter_byte(token.back()));
}

bool bounded_parenthetical_house_expression(std::string_view text) {
  return bounded_parenthetical_house_endpoint(text) ||
         is_range_of(text, &bounded_parenthetical_house_endpoint);
}

bool ends_with_bounded_house(std::string_view text) {
  const std::vector<std::string_view> words = split_white_space(text);
  if (words.empty()) return false;
  const std::string_view last = words.back();
  if (bounded_house_endpoint(last) || is_range_of(last, &bounded_house_endpoint)) return true;
  return words.size() >= 2 && is_single_letter(last) &&
         bounded_house_endpoint(words[words.size() - 2]);
}

bool is_address_field(std::string_view field) {
  return contains_letter(field) && ends_with_bounded_house(field);
}

bool contains_token_phrase(std::string_view text, std::string_view phrase) {
  if (text == phrase) return true;
  if (text.size() <= phrase.size()) return false;
  const size_t n = phrase.size();
  if (text.starts_with(phrase) && text[n] == ' ') return true;
  if (text.ends_with(phrase) && text[text.size() - n - 1] == ' ') return true;
  for (size_t pos = text.find(phrase, 1); pos != std::string_view::npos;
       pos = text.find(phrase, pos + 1)) {
    const size_t after = pos + n;
    if (after < text.size() && text[pos - 1] == ' ' && text[after] == ' ') return true;
  }
  return false;
}

std::string range_separators_to_spaces(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = dash_length(text, pos);
    const size_t after = pos + length;
    if (length != 0 && pos > 0 && after < text.size() && is_ascii_digit_byte(text[pos - 1]) &&
        is_ascii_digit_byte(text[after])) {
      out.push_back(' ');
      pos = after;
      continue;
    }
    const utf8::Step step = utf8::decode_step(text, pos);
    out.append(text.substr(pos, step.length));
    pos += step.length;
  }
  return out;
}

}  // namespace vorlane::de
