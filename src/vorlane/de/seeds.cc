// Derived seeds. Several rules skip a seed equal to the canonical query;
// nothing else is de-duplicated here (the variant generator does that).
// Seed texts are canonical except the "bis"/"und" seed, which joins words of
// an already canonical text.
#include "vorlane/de/seeds.h"

#include <algorithm>

#include "vorlane/base/strings.h"
#include "vorlane/base/utf8.h"
#include "vorlane/de/chars.h"
#include "vorlane/de/cleanups.h"
#include "vorlane/de/text.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/unicode_data.h"

namespace vorlane::de {
namespace {

using std::nullopt;
using std::string_view;

bool holds(const Effects& effects, Effect e) {
  return std::find(effects.begin(), effects.end(), e) != effects.end();
}

// A compact range whose dash starts at `dash` and ends at `after`.
std::optional<std::pair<std::string, std::string>> letter_range_at(string_view text, size_t dash,
                                                                    size_t after) {
  size_t left_end = dash;
  const bool left_letter = is_ascii_letter_byte(text[dash - 1]);
  if (left_letter) --left_end;
  size_t left_start = left_end;
  while (left_start > 0 && is_digit_byte(text[left_start - 1])) --left_start;
  const size_t left_digits = left_end - left_start;
  if (left_digits < 1 || left_digits > 4) return nullopt;
  if (left_start > 0 && norm::is_alphanumeric(char_before(text, left_start).c)) return nullopt;

  size_t right_end = after;
  while (right_end < text.size() && is_digit_byte(text[right_end])) ++right_end;
  const size_t right_digits = right_end - after;
  if (right_digits < 1 || right_digits > 4) return nullopt;
  const bool right_letter = right_end < text.size() && is_ascii_letter_byte(text[right_end]);
  if (right_letter) ++right_end;
  if (!left_letter && !right_letter) return nullopt;
  if (right_end < text.size() && norm::is_alphanumeric(char_at(text, right_end).c)) {
    return nullopt;
  }
  const string_view before = text.substr(0, dash);
  std::string left_form(before);
  left_form += text.substr(right_end);
  std::string spaced(before);
  spaced += ' ';
  spaced += text.substr(after);
  return std::pair{std::move(left_form), std::move(spaced)};
}

// A word that abbreviates "...platz": its full lower case is longer than
// three bytes, ends in "pl." and has at least three letters before that.
bool abbreviates_platz(string_view word) {
  std::string lower;
  for (size_t pos = 0; pos < word.size();) {
    const CharAt ch = char_at(word, pos);
    for (const char32_t c : norm::full_lowercase(ch.c)) utf8::append(lower, c);
    pos += ch.length;
  }
  constexpr string_view kSuffix = "pl.";
  if (lower.size() <= kSuffix.size() || !lower.ends_with(kSuffix)) return false;
  const string_view stem = string_view(lower).substr(0, lower.size() - kSuffix.size());
  size_t letters = 0;
  for (size_t pos = 0; pos < stem.size() && letters < 3;) {
    const CharAt ch = char_at(stem, pos);
    if (norm::is_letter(ch.c)) ++letters;
    pos += ch.length;
  }
  return letters >= 3;
}

// Whether some 'l' or 'L' is followed by '.', which every "...pl." word
// needs; spares the word split on most texts.
bool might_abbreviate_platz(string_view text) {
  for (size_t dot = text.find('.', 1); dot != string_view::npos; dot = text.find('.', dot + 1)) {
    if ((text[dot - 1] | 0x20) == 'l') return true;
  }
  return false;
}

// The text with its first "...pl." word before a digit-led word written out
// as "...platz", words joined with single spaces; none when no word
// qualifies. The last word is never looked at.
std::optional<std::string> platz_written_out(string_view text) {
  if (!might_abbreviate_platz(text)) return nullopt;
  const std::vector<string_view> words = split_white_space(text);
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if (!is_digit_byte(words[i + 1][0]) || !abbreviates_platz(words[i])) continue;
    size_t cut = words[i].size();
    for (int k = 0; k < 3; ++k) cut = char_before(words[i], cut).start;
    std::string joined;
    for (size_t j = 0; j < words.size(); ++j) {
      if (j > 0) joined += ' ';
      if (j == i) {
        joined += words[i].substr(0, cut);
        joined += "platz";
      } else {
        joined += words[j];
      }
    }
    return joined;
  }
  return nullopt;
}

void push_platz_seeds(string_view text, Effects effects, std::vector<Seed>& seeds) {
  const std::optional<std::string> joined = platz_written_out(text);
  if (!joined) return;
  effects.push_back(Effect::Abbrev);
  std::string canonical = norm::normalize(*joined);
  std::string opened = norm::normalize(range_separators_to_spaces(*joined));
  seeds.push_back({std::move(canonical), effects});
  if (opened == seeds.back().text) return;
  if (!holds(effects, Effect::HouseRange)) effects.push_back(Effect::HouseRange);
  seeds.push_back({std::move(opened), std::move(effects)});
}

std::string umlauts_spelled_out(string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t pos = 0; pos < text.size();) {
    const CharAt ch = char_at(text, pos);
    switch (ch.c) {
      case U'ä': out += "ae"; break;
      case U'ö': out += "oe"; break;
      case U'ü': out += "ue"; break;
      case U'Ä': out += "Ae"; break;
      case U'Ö': out += "Oe"; break;
      case U'Ü': out += "Ue"; break;
      case U'ß':
      case U'\u1E9E': out += "ss"; break;
      default: out += text.substr(pos, ch.length);
    }
    pos += ch.length;
  }
  return out;
}

// "12 bis 14" and "12 und 14" reduced to "12 14"; none when no such triple.
std::optional<std::string> spelled_range_reduced(string_view canonical) {
  const std::vector<string_view> words = split_white_space(canonical);
  std::vector<string_view> kept;
  bool found = false;
  for (size_t i = 0; i < words.size();) {
    if (i + 2 < words.size() && all_digits(words[i]) &&
        (words[i + 1] == "bis" || words[i + 1] == "und") && all_digits(words[i + 2])) {
      kept.push_back(words[i]);
      kept.push_back(words[i + 2]);
      found = true;
      i += 3;
    } else {
      kept.push_back(words[i]);
      ++i;
    }
  }
  if (!found) return nullopt;
  return join_words(kept);
}

// 'N/2' read as the half number "N 1 2" (the '/' becomes " 1 "), unless the
// query is already a written half ('12 1/2') or spells a range out.
std::optional<std::string> half_number_text(string_view query, string_view canonical) {
  if (contains_token_phrase(canonical, "bis") || contains_token_phrase(canonical, "und")) {
    return nullopt;
  }
  if (count_byte(query, '/') != 1) return nullopt;
  const size_t slash = query.find('/');
  if (slash == 0 || slash + 1 >= query.size()) return nullopt;
  if (!is_digit_byte(query[slash - 1]) || query[slash + 1] != '2') return nullopt;
  if (slash + 2 < query.size() && is_digit_byte(query[slash + 2])) return nullopt;
  size_t start = slash;
  while (start > 0 && is_digit_byte(query[start - 1])) --start;
  if (query.substr(start, slash - start) == "1") {
    const string_view before = trim_end_white_space(query.substr(0, start));
    if (!before.empty() && is_digit_byte(before.back())) return nullopt;
  }
  std::string text(query.substr(0, slash));
  text += " 1 ";
  text += query.substr(slash + 1);
  return norm::normalize(text);
}

}  // namespace

std::optional<std::pair<std::string, std::string>> compact_letter_house_range_variants(
    string_view text) {
  return first_at_dash(text, [&](size_t dash, size_t after) {
    return letter_range_at(text, dash, after);
  });
}

QueryBasis query_basis(string_view query) {
  QueryBasis basis;
  basis.canonical = norm::normalize(query);
  basis.letter_range = compact_letter_house_range_variants(query);
  basis.cleanups = raw_structural_cleanup_seeds(query, basis.start_effects());
  return basis;
}

std::vector<Seed> derived_seeds(string_view query) {
  return derived_seeds(query, query_basis(query));
}

std::vector<Seed> derived_seeds(string_view query, const QueryBasis& basis) {
  const std::string& canonical = basis.canonical;
  const Effects start = basis.start_effects();
  std::vector<Seed> seeds;
  const auto push_unless_canonical = [&](std::string text, Effects effects) {
    if (text != canonical) seeds.push_back({std::move(text), std::move(effects)});
  };

  seeds.push_back({canonical, start});
  for (const Seed& cleanup : basis.cleanups) {
    push_unless_canonical(norm::normalize(cleanup.text), cleanup.effects);
  }
  push_platz_seeds(query, start, seeds);
  for (const Seed& cleanup : basis.cleanups) push_platz_seeds(cleanup.text, cleanup.effects, seeds);
  if (basis.letter_range) {
    push_unless_canonical(norm::normalize(basis.letter_range->first), {Effect::HouseRange});
    push_unless_canonical(norm::normalize(basis.letter_range->second), {Effect::HouseRange});
  }
  // A rewrite that leaves the query unchanged normalises to the canonical
  // query, which these rules skip anyway.
  if (std::string spelled = umlauts_spelled_out(query); spelled != query) {
    Effects umlaut = start;
    umlaut.push_back(Effect::Umlaut);
    push_unless_canonical(norm::normalize(spelled), std::move(umlaut));
  }
  const std::string opened_raw = range_separators_to_spaces(query);
  const std::string opened = opened_raw == query ? canonical : norm::normalize(opened_raw);
  push_unless_canonical(opened, {Effect::HouseRange});
  if (auto reduced = spelled_range_reduced(opened)) {
    seeds.push_back({std::move(*reduced), {Effect::HouseRange}});
  }
  if (auto half = half_number_text(query, canonical)) {
    seeds.push_back({std::move(*half), {Effect::HouseSlash}});
  }
  return seeds;
}

}  // namespace vorlane::de
