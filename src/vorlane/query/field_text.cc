// Field shapes over raw UTF-8. ',', '-', '+' and ASCII digits and letters
// are single bytes that never occur inside a multi-byte sequence, so tests
// for them look at bytes; everything else is decoded with utf8::decode_step,
// where ill-formed bytes read as U+FFFD (neither letter nor white space).
#include "vorlane/query/field_text.h"

#include <algorithm>
#include <limits>

#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/unicode_data.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ascii_case_equal(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

std::optional<std::string_view> parameter(const rules::TextMap& map, std::string_view key) {
  const auto it = map.find(key);
  if (it == map.end()) return std::nullopt;
  return std::string_view(it->second);
}

bool is_place_name_char(char32_t c) {
  return norm::is_letter(c) || norm::is_white_space(c) || c == U'\'' || c == U'\u2019' ||
         c == U'-';
}

}  // namespace

std::optional<uint64_t> parse_unsigned_parameter(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  for (const char c : text) {
    if (!is_ascii_digit(c)) return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

FieldSettings field_settings(const rules::Rules& rules) {
  const rules::TextMap& map = rules.stage_parameters();
  FieldSettings s;
  if (map.empty()) return s;
  s.enabled = parameter(map, "enabled") == std::optional<std::string_view>("1");
  if (const auto d = parameter(map, "postal_digits")) s.postal_digits = parse_unsigned_parameter(*d);
  if (const auto p = parameter(map, "postal_split")) s.postal_split = parse_unsigned_parameter(*p);
  s.regions = parameter(map, "regions");
  s.forms = parameter(map, "forms");
  return s;
}

bool has_list_word(std::string_view list, std::string_view probe) {
  const std::vector<std::string_view> words = de::split_white_space(list);
  return std::find(words.begin(), words.end(), probe) != words.end();
}

bool is_region_word(std::string_view regions, std::string_view probe) {
  const std::vector<std::string_view> words = de::split_white_space(regions);
  return std::any_of(words.begin(), words.end(),
                     [probe](std::string_view w) { return ascii_case_equal(w, probe); });
}

std::vector<std::string_view> split_raw_fields(std::string_view text) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (size_t comma; (comma = text.find(',', start)) != std::string_view::npos; start = comma + 1) {
    out.push_back(text.substr(start, comma - start));
  }
  out.push_back(text.substr(start));
  return out;
}

std::vector<std::string_view> split_fields(std::string_view text) {
  std::vector<std::string_view> out = split_raw_fields(text);
  for (std::string_view& field : out) field = de::trim_white_space(field);
  return out;
}

std::string join_texts(const std::vector<std::string_view>& pieces, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out.append(separator);
    out.append(pieces[i]);
  }
  return out;
}

bool is_house_token(std::string_view text) {
  size_t digits = 0;
  while (digits < text.size() && is_ascii_digit(text[digits])) ++digits;
  if (digits == 0 || digits > 5) return false;
  const size_t rest = text.size() - digits;
  return rest == 0 || (rest == 1 && is_ascii_letter(text.back()));
}

std::string ascii_digits_of(std::string_view text) {
  std::string out;
  std::copy_if(text.begin(), text.end(), std::back_inserter(out), is_ascii_digit);
  return out;
}

bool is_postcode_text(std::string_view text, uint64_t digits, uint64_t split) {
  const std::string p = ascii_digits_of(text);
  if (p.size() != digits) return false;
  if (text == p) return true;
  if (split >= digits) return false;
  // split < digits == p.size(), so both pieces exist.
  return text.size() == p.size() + 1 && text.substr(0, split) == std::string_view(p).substr(0, split) &&
         text[split] == '-' && text.substr(split + 1) == std::string_view(p).substr(split);
}

bool is_plain_place_name(std::string_view text, bool compose) {
  std::string composed;
  if (compose) {
    composed = norm::compose(text);
    text = composed;
  }
  bool letter = false;
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Step step = utf8::decode_step(text, pos);
    if (!step.valid || !is_place_name_char(step.scalar)) return false;
    letter = letter || norm::is_letter(step.scalar);
    pos += step.length;
  }
  return letter;
}

std::string_view cut_before(std::string_view text, std::string_view separator) {
  return text.substr(0, text.find(separator));
}

}  // namespace vorlane::query
