// Character tests over raw text. A byte below 0x80 or from 0xC0 up always
// starts a character under lossy decoding (a sequence stops at the first
// byte outside its continuation range), which is what lets char_before step
// back over continuation bytes alone.
#include "vorlane/de/chars.h"

#include <algorithm>

#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/norm/char_class.h"

namespace vorlane::de {
namespace {

bool is_continuation(char b) { return (static_cast<uint8_t>(b) & 0xC0) == 0x80; }

// Longest UTF-8 sequence: a lead byte and three continuation bytes.
constexpr size_t kMaxSequence = 4;

}  // namespace

bool all_digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), is_digit_byte);
}

bool has_digit(std::string_view text) {
  return std::any_of(text.begin(), text.end(), is_digit_byte);
}

size_t digit_count(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), is_digit_byte));
}

bool has_any_of(std::string_view text, std::string_view ascii) {
  return text.find_first_of(ascii) != std::string_view::npos;
}

size_t count_byte(std::string_view text, char c) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), c));
}

size_t char_count(std::string_view text) {
  size_t n = 0;
  for (size_t pos = 0; pos < text.size(); ++n) pos += char_at(text, pos).length;
  return n;
}

std::string_view trim_start_white_space(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    const CharAt ch = char_at(text, pos);
    if (!norm::is_white_space(ch.c)) break;
    pos += ch.length;
  }
  return text.substr(pos);
}

std::string_view trim_end_white_space(std::string_view text) {
  size_t end = text.size();
  while (end > 0) {
    const CharBefore ch = char_before(text, end);
    if (!norm::is_white_space(ch.c)) break;
    end = ch.start;
  }
  return text.substr(0, end);
}

CharBefore char_before(std::string_view text, size_t end) {
  size_t lead = end - 1;
  while (lead > 0 && end - lead < kMaxSequence && is_continuation(text[lead])) --lead;
  if (!is_continuation(text[lead])) {
    const utf8::Step step = utf8::decode_step(text, lead);
    if (lead + step.length == end) return {step.scalar, lead};
  }
  // A continuation byte that no sequence before it takes in is a subpart
  // of its own.
  return {utf8::kReplacement, end - 1};
}

CharAt char_at(std::string_view text, size_t pos) {
  const utf8::Step step = utf8::decode_step(text, pos);
  return {step.scalar, step.length};
}

std::string_view last_word(std::string_view text) {
  const std::string_view trimmed = trim_end_white_space(text);
  size_t start = trimmed.size();
  while (start > 0) {
    const CharBefore ch = char_before(trimmed, start);
    if (norm::is_white_space(ch.c)) break;
    start = ch.start;
  }
  return trimmed.substr(start);
}

std::vector<std::string_view> comma_fields(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const size_t end = comma == std::string_view::npos ? text.size() : comma;
    fields.push_back(trim_white_space(text.substr(start, end - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

}  // namespace vorlane::de
