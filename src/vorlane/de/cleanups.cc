// The six raw clean-ups and their chain. Outputs are always cut from the
// raw input (only the parenthetical locality is canonical); the canonical
// form is used only to compare a field with fixed words. Every cut is at an
// ASCII character found by a scan or at a word edge, so no character is
// split.
#include "vorlane/de/cleanups.h"

#include <array>
#include <span>

#include "vorlane/base/strings.h"
#include "vorlane/de/chars.h"
#include "vorlane/de/text.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"

namespace vorlane::de {
namespace {

using std::nullopt;
using std::string_view;

bool is_five_digits(string_view text) { return text.size() == 5 && all_digits(text); }

bool is_trimmed(string_view text) { return trim_white_space(text).size() == text.size(); }

bool is_dash_word(string_view word) { return word == "-" || word == "–" || word == "—"; }

bool has_word(string_view canonical, string_view word) {
  for (const string_view w : split_white_space(canonical)) {
    if (w == word) return true;
  }
  return false;
}

// The start of the only run of exactly three U+0020 spaces, when every other
// run is a single space.
std::optional<size_t> sole_three_space_run(string_view text) {
  std::optional<size_t> found;
  for (size_t pos = 0; pos < text.size();) {
    if (text[pos] != ' ') {
      ++pos;
      continue;
    }
    const size_t start = pos;
    while (pos < text.size() && text[pos] == ' ') ++pos;
    const size_t run = pos - start;
    if (run == 1) continue;
    if (run != 3 || found) return nullopt;
    found = start;
  }
  return found;
}

// "street house" before the three spaces: a house of one to four digits, no
// spelled-out or spaced range.
bool is_street_house_left(string_view left) {
  const size_t space = left.rfind(' ');
  if (space == string_view::npos) return false;
  const string_view street = left.substr(0, space);
  const string_view house = left.substr(space + 1);
  if (street.empty() || !contains_letter(street) || !all_digits(house) || house.size() > 4) {
    return false;
  }
  const std::string canonical = norm::normalize(left);
  if (has_word(canonical, "bis") || has_word(canonical, "und")) return false;
  const std::vector<string_view> words = split_white_space(left);
  const size_t n = words.size();
  return !(n >= 3 && all_digits(words[n - 3]) && is_dash_word(words[n - 2]));
}

// "postcode locality" after the three spaces.
bool is_postcode_locality_right(string_view right) {
  const size_t space = right.find(' ');
  if (space == string_view::npos) return false;
  const string_view locality = right.substr(space + 1);
  return is_five_digits(right.substr(0, space)) && !locality.empty() && locality[0] != ' ' &&
         contains_letter(locality) && !has_digit(locality) && !has_any_of(locality, ",;|\n\r");
}

bool is_floor_text(string_view canonical) {
  return canonical == "2 og" || canonical == "erdgeschoss" || canonical == "aufgang b 3 og" ||
         canonical == "hinterhaus 1 og";
}

// A telephone field in canonical form: "tel" or "telefon", then a number of
// at least five digits and no letter.
bool is_telephone_field(string_view canonical) {
  const std::vector<string_view> words = split_white_space(canonical);
  if (words.empty() || (words[0] != "tel" && words[0] != "telefon")) return false;
  const std::string number = join_words(std::span(words).subspan(1));
  return !number.empty() && digit_count(number) >= 5 && !contains_letter(number);
}

// "PPPPP locality" with the space at byte 5 and a locality of letters, no
// digit.
bool is_postcode_locality_field(string_view field) {
  if (field.size() < 7 || field[5] != ' ' || field[6] == ' ') return false;
  const string_view locality = field.substr(6);
  return all_digits(field.substr(0, 5)) && contains_letter(locality) && !has_digit(locality);
}

bool is_building_word(string_view word) {
  return word == "tor" || word == "haus" || word == "campus" || word == "gebaude" ||
         word == "building";
}

std::optional<std::string> trimmed_copy(string_view text) {
  const string_view t = trim_white_space(text);
  if (t.empty()) return nullopt;
  return std::string(t);
}

}  // namespace

std::optional<std::string> restore_missing_postcode_comma_raw(string_view text) {
  if (text.empty() || has_any_of(text, ",\t\n\r")) return nullopt;
  const std::optional<size_t> gap = sole_three_space_run(text);
  if (!gap) return nullopt;
  const string_view left = text.substr(0, *gap);
  const string_view right = text.substr(*gap + 3);
  if (left.empty() || right.empty() || !is_trimmed(left) || !is_trimmed(right) ||
      has_any_of(left, "/")) {
    return nullopt;
  }
  if (!is_street_house_left(left) || !is_postcode_locality_right(right)) return nullopt;
  std::string out(left);
  out += ", ";
  out += right;
  return out;
}

std::optional<std::string> strip_recipient_prefix_raw(string_view text) {
  const size_t comma = text.find(',');
  if (comma == string_view::npos) return nullopt;
  const std::string first = norm::normalize(text.substr(0, comma));
  if (first != "z hd empfang" && first != "fur den empfang" && first != "an die poststelle") {
    return nullopt;
  }
  const string_view rest = text.substr(comma + 1);
  if (!has_digit(rest)) return nullopt;
  return trimmed_copy(rest);
}

std::optional<std::pair<std::string, std::string>> parenthetical_subaddress_raw(
    string_view text) {
  if (text.empty() || has_any_of(text, "\t\n\r")) return nullopt;
  if (count_byte(text, '(') != 1 || count_byte(text, ')') != 1) return nullopt;
  const size_t close = text.find("),");
  if (close == string_view::npos) return nullopt;
  const size_t open = text.rfind('(', close);
  if (open == string_view::npos || open == 0) return nullopt;
  if (!norm::is_white_space(char_before(text, open).c)) return nullopt;

  const string_view head = trim_end_white_space(text.substr(0, open));
  const string_view house = last_word(head);
  const string_view street = trim_end_white_space(head.substr(0, head.size() - house.size()));
  if (trim_start_white_space(head).size() != head.size() || has_any_of(head, ",;|") ||
      street.empty() || !contains_letter(street) ||
      !bounded_parenthetical_house_expression(house)) {
    return nullopt;
  }
  const std::string canonical_head = norm::normalize(head);
  for (const string_view box : {"postfach", "po box"}) {
    if (canonical_head == box || canonical_head.starts_with(std::string(box) + ' ')) {
      return nullopt;
    }
  }

  // The sub-address is limited in characters, not bytes.
  constexpr size_t kMaxInnerChars = 80;
  const string_view inner = text.substr(open + 1, close - open - 1);
  const size_t inner_chars = char_count(inner);
  if (inner_chars < 1 || inner_chars > kMaxInnerChars || !contains_letter(inner)) return nullopt;

  const auto tail = split_at_first_white_space(trim_start_white_space(text.substr(close + 2)));
  if (!tail || !is_five_digits(tail->first)) return nullopt;
  const string_view postcode = tail->first;
  const string_view locality = trim_white_space(tail->second);
  if (locality.empty() || !contains_letter(locality) || has_digit(locality) ||
      has_any_of(locality, ",;|")) {
    return nullopt;
  }
  std::string rewritten(head);
  rewritten += ", ";
  rewritten += postcode;
  rewritten += ' ';
  rewritten += locality;
  return std::pair{std::move(rewritten), norm::normalize(locality)};
}

std::optional<std::string> strip_parenthetical_subaddress_raw(string_view text) {
  auto parsed = parenthetical_subaddress_raw(text);
  if (!parsed) return nullopt;
  return std::move(parsed->first);
}

std::optional<std::string> strip_delivery_tail_raw(string_view text) {
  const size_t comma = text.rfind(',');
  if (comma == string_view::npos) return nullopt;
  const string_view head = text.substr(0, comma);
  const std::string last = norm::normalize(text.substr(comma + 1));
  if (!has_digit(head)) return nullopt;
  if (!is_floor_text(last) && !is_telephone_field(last)) return nullopt;
  return trimmed_copy(head);
}

std::optional<std::string> select_three_field_address_raw(string_view text) {
  const std::vector<string_view> fields = comma_fields(text);
  if (fields.size() != 3) return nullopt;
  for (const string_view f : fields) {
    if (f.empty()) return nullopt;
  }
  if (!is_postcode_locality_field(fields[2])) return nullopt;
  const bool first_is_address = is_address_field(fields[0]);
  if (first_is_address == is_address_field(fields[1])) return nullopt;
  const string_view address = first_is_address ? fields[0] : fields[1];
  const string_view extra = first_is_address ? fields[1] : fields[0];
  if (ends_with_bounded_house(extra)) return nullopt;
  for (const string_view w : split_white_space(extra)) {
    if (is_five_digits(w)) return nullopt;
  }
  const std::string canonical_address = norm::normalize(address);
  const std::vector<string_view> address_words = split_white_space(canonical_address);
  if (!address_words.empty() && is_building_word(address_words[0])) return nullopt;
  std::string out(address);
  out += ", ";
  out += fields[2];
  return out;
}

std::optional<std::string> reorder_locality_first_raw(string_view text) {
  const std::vector<string_view> fields = comma_fields(text);
  if (fields.size() != 3) return nullopt;
  for (const string_view f : fields) {
    if (f.empty()) return nullopt;
  }
  if (!is_five_digits(norm::normalize(fields[2]))) return nullopt;
  const std::string street = norm::normalize(fields[1]);
  const string_view street_last = last_word(street);
  if (street_last.empty() || !is_digit_byte(street_last[0])) return nullopt;
  if (has_digit(fields[0])) return nullopt;
  std::string out(fields[1]);
  out += ", ";
  out += fields[2];
  out += ' ';
  out += fields[0];
  return out;
}

std::vector<Seed> raw_structural_cleanup_seeds(string_view text, Effects effects) {
  using Cleanup = std::optional<std::string> (*)(string_view);
  struct Step {
    Cleanup run;
    Effect effect;
  };
  static constexpr std::array<Step, 6> kChain = {{
      {restore_missing_postcode_comma_raw, Effect::MissingPostcodeComma},
      {strip_recipient_prefix_raw, Effect::RecipientPrefix},
      {strip_parenthetical_subaddress_raw, Effect::ParentheticalSubaddress},
      {strip_delivery_tail_raw, Effect::SubaddressTail},
      {select_three_field_address_raw, Effect::AddressField},
      {reorder_locality_first_raw, Effect::LocalityFirst},
  }};
  std::vector<Seed> seeds;
  std::string current(text);
  for (const Step& step : kChain) {
    std::optional<std::string> out = step.run(current);
    if (!out) continue;
    current = std::move(*out);
    effects.push_back(step.effect);
    seeds.push_back({current, effects});
  }
  return seeds;
}

}  // namespace vorlane::de
