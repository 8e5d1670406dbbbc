// The variant generator. The order of its rows is its contract: row 0, the
// raw clean-up rows, then per seed each local row of the seed chain followed
// by its derived rows, cut to 20 at the end. A duplicate text is dropped
// whole, but the rows derived from it are still made. Every rewrite works on
// White_Space words, so it also collapses a row's white space; a cut is at a
// word edge or an ASCII character, never inside a character.
#include "vorlane/de/variants.h"

#include <algorithm>
#include <array>
#include <span>

#include "vorlane/base/strings.h"
#include "vorlane/de/chars.h"
#include "vorlane/de/query_shape.h"
#include "vorlane/de/seeds.h"
#include "vorlane/de/text.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"

namespace vorlane::de {
namespace {

using std::nullopt;
using std::string_view;
using Words = std::vector<string_view>;

struct OfficialCommuneAlias {
  string_view spelling;
  string_view official;
};
// The first three official names are the abbreviated forms, the last the
// longer one.
constexpr std::array<OfficialCommuneAlias, 4> kOfficialCommuneAliases = {{
    {"bad homburg vor der hohe", "bad homburg v d hohe"},
    {"limburg an der lahn", "limburg a d lahn"},
    {"rotenburg an der fulda", "rotenburg a d fulda"},
    {"ludwigshafen rhein", "ludwigshafen am rhein"},
}};
constexpr string_view kLudwigshafen = "ludwigshafen am rhein";

struct Abbreviation {
  string_view word;
  string_view expansion;
};
constexpr std::array<Abbreviation, 7> kStreetTypeAbbreviations = {{
    {"g", "gasse"},
    {"pl", "platz"},
    {"al", "allee"},
    {"uf", "ufer"},
    {"wg", "weg"},
    {"ch", "chaussee"},
    {"str", "straße"},
}};

bool is_five_digits(string_view word) { return word.size() == 5 && all_digits(word); }

bool has_effect(const Effects& effects, Effect e) {
  return std::find(effects.begin(), effects.end(), e) != effects.end();
}

Effects with(Effects effects, Effect e) {
  effects.push_back(e);
  return effects;
}

// The Ludwigshafen row of the official spellings opens the gate only for
// exactly "street house, PPPPP Ludwigshafen Rhein".
bool is_strict_ludwigshafen_query(string_view query) {
  const auto shape = street_house_postcode_shape(query);
  return shape && is_plain_house_token(shape->house, false) &&
         norm::normalize(shape->locality) == "ludwigshafen rhein";
}

bool official_alias_gate(string_view query, string_view canonical) {
  const auto alias = expand_de_official_commune_alias(canonical);
  return alias && (alias->second != kLudwigshafen || is_strict_ludwigshafen_query(query));
}

// The digit range whose dash spans [dash, after) cut to its left number,
// canonical; none when either number is not 1-4 digits standing alone.
std::optional<std::string> digit_range_cut_at(string_view query, size_t dash, size_t after) {
  size_t left = dash;
  while (left > 0 && is_digit_byte(query[left - 1])) --left;
  if (dash - left < 1 || dash - left > 4) return nullopt;
  if (left > 0 && norm::is_alphanumeric(char_before(query, left).c)) return nullopt;
  size_t right = after;
  while (right < query.size() && is_digit_byte(query[right])) ++right;
  if (right - after < 1 || right - after > 4) return nullopt;
  if (right < query.size() && norm::is_alphanumeric(char_at(query, right).c)) return nullopt;
  std::string cut(query.substr(0, dash));
  cut += query.substr(right);
  return norm::normalize(cut);
}

// The first qualifying digit range of the query cut to its left number.
std::optional<std::string> digit_range_cut(string_view query) {
  return first_at_dash(query, [&](size_t dash, size_t after) {
    return digit_range_cut_at(query, dash, after);
  });
}

// "d"/"de" before a five-digit word removed, "d10115" -> "10115".
std::optional<std::string> without_country_prefix(const Words& words) {
  Words kept;
  bool changed = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const string_view w = words[i];
    if ((w == "d" || w == "de") && i + 1 < words.size() && is_five_digits(words[i + 1])) {
      changed = true;
    } else if (w.size() == 6 && w[0] == 'd' && all_digits(w.substr(1))) {
      kept.push_back(w.substr(1));
      changed = true;
    } else {
      kept.push_back(w);
    }
  }
  if (!changed) return nullopt;
  return join_words(kept);
}

// The words of the rules' drop set removed (possibly all of them).
std::optional<std::string> without_dropped_words(const Words& words,
                                                 const rules::WordSet& drop) {
  if (drop.empty()) return nullopt;
  Words kept;
  for (const string_view w : words) {
    if (!drop.contains(w)) kept.push_back(w);
  }
  if (kept.size() == words.size()) return nullopt;
  return join_words(kept);
}

// The text before the first cut word after the first word.
std::optional<std::string> cut_before_cut_word(const Words& words, const rules::WordSet& cut) {
  if (words.size() < 2 || cut.empty()) return nullopt;
  for (size_t i = 1; i < words.size(); ++i) {
    if (cut.contains(words[i])) return join_words(std::span(words).first(i));
  }
  return nullopt;
}

// The leftmost run of the first matching pair's words replaced.
std::optional<std::string> with_token_replacement(const Words& words,
                                                  const rules::PairList& pairs) {
  for (const auto& [from, to] : pairs) {
    const Words from_words = split_white_space(from);
    if (from_words.empty() || from_words.size() > words.size()) continue;
    for (size_t pos = 0; pos + from_words.size() <= words.size(); ++pos) {
      if (!std::equal(from_words.begin(), from_words.end(), words.begin() + pos)) continue;
      Words out(words.begin(), words.begin() + pos);
      for (const string_view w : split_white_space(to)) out.push_back(w);
      out.insert(out.end(), words.begin() + pos + from_words.size(), words.end());
      return join_words(out);
    }
  }
  return nullopt;
}

// The first standalone street-type abbreviation before a digit-led
// word written out.
std::optional<std::string> with_abbreviation_expanded(const Words& words) {
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if (!is_digit_byte(words[i + 1][0])) continue;
    for (const Abbreviation& a : kStreetTypeAbbreviations) {
      if (words[i] != a.word) continue;
      Words out = words;
      out[i] = a.expansion;
      return join_words(out);
    }
  }
  return nullopt;
}

// The first commune-alias spelling of the rules that is the whole text or
// its last words.
std::optional<std::pair<std::string, string_view>> with_commune_alias(
    string_view text, const rules::PairList& aliases) {
  for (const auto& [spelling, canonical] : aliases) {
    if (text == spelling) return std::pair{canonical, string_view(canonical)};
    if (text.size() > spelling.size() && text.ends_with(spelling) &&
        text[text.size() - spelling.size() - 1] == ' ') {
      std::string out(text.substr(0, text.size() - spelling.size() - 1));
      out += ' ';
      out += canonical;
      return std::pair{std::move(out), string_view(canonical)};
    }
  }
  return nullopt;
}

// The local rows of one seed: the seed, then one row per chain step that
// fired, each step reading the newest row.
std::vector<QueryVariant> seed_chain(const Seed& seed, bool gate_open,
                                     const rules::Rules& rules) {
  std::vector<QueryVariant> local;
  local.push_back({seed.text, seed.effects, nullopt});
  // The newest row's words, split again only when a step fires.
  Words words = split_white_space(local.back().text);
  const auto append = [&](std::optional<std::string> text, Effect e,
                          std::optional<std::string> commune) {
    if (!text) return;
    local.push_back({std::move(*text), with(local.back().effects, e), std::move(commune)});
    words = split_white_space(local.back().text);
  };
  const auto inherited = [&] { return local.back().commune; };

  append(without_country_prefix(words), Effect::CountryPostcode, inherited());
  append(without_dropped_words(words, rules.de_drop_words()), Effect::Country, inherited());
  append(cut_before_cut_word(words, rules.de_cut_words()), Effect::AdminTail, inherited());
  std::optional<std::string> replaced =
      with_token_replacement(words, rules.de_token_replacements());
  if (!replaced) replaced = with_abbreviation_expanded(words);
  append(std::move(replaced), Effect::Abbrev, inherited());
  if (gate_open) {
    if (auto official = expand_de_official_commune_alias(local.back().text)) {
      append(std::move(official->first), Effect::OfficialCommuneAlias,
             std::string(official->second));
    }
  }
  if (auto alias = with_commune_alias(local.back().text, rules.de_commune_aliases())) {
    append(std::move(alias->first), Effect::CityAlias, std::string(alias->second));
  }
  return local;
}

// A run of exactly four ASCII digits somewhere in the text.
bool has_four_digit_run(string_view text) {
  size_t run = 0;
  for (const char c : text) {
    if (is_digit_byte(c)) {
      ++run;
    } else {
      if (run == 4) return true;
      run = 0;
    }
  }
  return run == 4;
}

// The first four-digit word (not the first word) before a word with a
// letter, given its leading zero.
std::optional<std::string> with_zero_prefixed_postcode(string_view text) {
  if (!has_four_digit_run(text)) return nullopt;
  Words words = split_white_space(text);
  for (size_t i = 1; i + 1 < words.size(); ++i) {
    if (words[i].size() != 4 || !all_digits(words[i]) || !contains_letter(words[i + 1])) continue;
    const std::string prefixed = "0" + std::string(words[i]);
    words[i] = prefixed;
    return join_words(words);
  }
  return nullopt;
}

// "ae", "oe", "ue" read as plain vowels, then "ss" as 'ß', one pass
// each over the previous pass's result. A pass can only fire on a pattern
// the text held from the start, so without one nothing changes.
std::optional<std::string> umlauts_folded(string_view text) {
  constexpr std::array<std::pair<string_view, string_view>, 4> kPasses = {{
      {"ae", "a"}, {"oe", "o"}, {"ue", "u"}, {"ss", "ß"}}};
  if (std::none_of(kPasses.begin(), kPasses.end(),
                   [&](const auto& p) { return text.find(p.first) != string_view::npos; })) {
    return nullopt;
  }
  std::string out(text);
  for (const auto& [from, to] : kPasses) out = replace_all(out, from, to);
  return out;
}

// Every 'ß' as "ss".
std::optional<std::string> sharp_s_spelled_out(string_view text) {
  if (text.find("ß") == string_view::npos) return nullopt;
  return replace_all(text, "ß", "ss");
}

// One local row and its derived rows, each read from the row itself.
void emit_row(QueryVariant row, std::vector<QueryVariant>& rows, SeenTexts& seen) {
  std::optional<std::string> zero = with_zero_prefixed_postcode(row.text);
  std::optional<std::string> folded = umlauts_folded(row.text);
  std::optional<std::string> sharp = sharp_s_spelled_out(row.text);
  const Effects effects = row.effects;
  const std::optional<std::string> commune = row.commune;
  push_unique(rows, seen, std::move(row));
  if (zero) push_unique(rows, seen, {std::move(*zero), with(effects, Effect::Postcode), commune});
  if (folded) push_unique(rows, seen, {std::move(*folded), with(effects, Effect::Umlaut), commune});
  if (sharp) push_unique(rows, seen, {std::move(*sharp), with(effects, Effect::Umlaut), commune});
}

// Row 0: the query as received, unless it holds a letter range whose
// left-endpoint seed carries HouseRange; then that seed.
QueryVariant first_row(string_view query, const QueryBasis& basis,
                       const std::vector<Seed>& seeds) {
  if (basis.letter_range) {
    const std::string left = norm::normalize(basis.letter_range->first);
    for (const Seed& s : seeds) {
      if (s.text == left && has_effect(s.effects, Effect::HouseRange)) {
        return {s.text, s.effects, nullopt};
      }
    }
  }
  return {std::string(query), {}, nullopt};
}

}  // namespace

void push_unique(std::vector<QueryVariant>& rows, SeenTexts& seen, QueryVariant row) {
  if (!seen.insert(row.text).second) return;
  rows.push_back(std::move(row));
}

std::optional<std::pair<std::string, string_view>> expand_de_official_commune_alias(
    string_view text) {
  for (const OfficialCommuneAlias& alias : kOfficialCommuneAliases) {
    if (text.size() <= alias.spelling.size() || !text.ends_with(alias.spelling)) continue;
    const size_t space = text.size() - alias.spelling.size() - 1;
    if (text[space] != ' ') continue;
    const string_view head = text.substr(0, space);
    if (!is_five_digits(last_word(head))) continue;
    std::string out(head);
    out += ' ';
    out += alias.official;
    return std::pair{std::move(out), alias.official};
  }
  return nullopt;
}

std::vector<QueryVariant> query_variants(string_view query) {
  const rules::Rules& rules = rules::current();
  const QueryBasis basis = query_basis(query);
  const bool gate_open = official_alias_gate(query, basis.canonical);
  std::vector<Seed> seeds = derived_seeds(query, basis);
  if (gate_open) {
    if (auto cut = digit_range_cut(query)) {
      const bool known = std::any_of(seeds.begin(), seeds.end(),
                                     [&](const Seed& s) { return s.text == *cut; });
      if (!known) seeds.push_back({std::move(*cut), {Effect::HouseRange}});
    }
  }

  // A local row yields at most four rows.
  constexpr size_t kRowsPerLocalRow = 4;
  std::vector<QueryVariant> rows;
  rows.reserve(kMaxQueryVariants + kRowsPerLocalRow);
  SeenTexts seen;
  seen.reserve(2 * kMaxQueryVariants);
  push_unique(rows, seen, first_row(query, basis, seeds));
  for (const Seed& cleanup : basis.cleanups) {
    push_unique(rows, seen, {cleanup.text, cleanup.effects, nullopt});
  }
  // Rows past the twentieth are cut anyway, so generation stops there.
  for (const Seed& seed : seeds) {
    if (rows.size() >= kMaxQueryVariants) break;
    for (QueryVariant& row : seed_chain(seed, gate_open, rules)) {
      if (rows.size() >= kMaxQueryVariants) break;
      emit_row(std::move(row), rows, seen);
    }
  }
  if (rows.size() > kMaxQueryVariants) rows.resize(kMaxQueryVariants);
  return rows;
}

std::optional<string_view> frankfurt_qualifier(string_view query) {
  struct Phrase {
    string_view phrase;
    string_view qualifier;
  };
  static constexpr std::array<Phrase, 4> kPhrases = {{
      {"frankfurt oder", "frankfurt oder"},
      {"frankfurt am main", "frankfurt am main"},
      {"frankfurt main", "frankfurt am main"},
      {"frankfurt a m", "frankfurt am main"},
  }};
  const std::string canonical = norm::normalize(query);
  for (const Phrase& p : kPhrases) {
    if (contains_token_phrase(canonical, p.phrase)) return p.qualifier;
  }
  return nullopt;
}

bool postal_tail_eligible(string_view query) {
  // With a letter range the first seed already carries HouseRange.
  if (compact_letter_house_range_variants(query)) return false;
  for (const Seed& seed : derived_seeds(query)) {
    if (has_effect(seed.effects, Effect::HouseRange) ||
        has_effect(seed.effects, Effect::HouseSlash)) {
      return false;
    }
  }
  return true;
}

}  // namespace vorlane::de
