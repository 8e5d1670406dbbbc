#include "vorlane/query/fr_arrondissement.h"

#include <algorithm>
#include <array>

#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/query/key_words.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

struct ArrondissementCity {
  std::string_view name;
  uint32_t count;          // arrondissements 1..count
  uint32_t postcode_base;  // arrondissement n has postcode base + n
};

constexpr std::array<ArrondissementCity, 3> kCities = {{
    {"paris", 20, 75000},
    {"lyon", 9, 69000},
    {"marseille", 16, 13000},
}};

// Paris 16 has a second postcode.
constexpr uint32_t kParis16SecondPostcode = 75116;

constexpr std::array<std::string_view, 21> kRomanNumerals = {
    "",   "i",   "ii",   "iii",   "iv", "v",  "vi",  "vii",  "viii",  "ix",  "x",
    "xi", "xii", "xiii", "xiv",   "xv", "xvi", "xvii", "xviii", "xix", "xx"};

constexpr std::array<std::string_view, 3> kOrdinalSuffixes = {"eme", "er", "e"};

constexpr std::string_view kArrondissement = "arrondissement";

struct Arrondissement {
  std::string_view city;
  uint32_t n;
};

bool begins_with_arrondissement(std::string_view word) {
  return word.starts_with(kArrondissement);
}

bool is_city_word(std::string_view word) {
  return std::any_of(kCities.begin(), kCities.end(),
                     [word](const ArrondissementCity& c) { return c.name == word; });
}

bool is_five_digits(std::string_view word) { return word.size() == 5 && all_ascii_digits(word); }

// Requires: at most 9 ASCII digits.
uint32_t decimal_value(std::string_view digits) {
  uint32_t value = 0;
  for (char c : digits) value = value * 10 + static_cast<uint32_t>(c - '0');
  return value;
}

std::string ordinal_text(uint32_t n) { return n == 1 ? "1er" : std::to_string(n) + "e"; }

// The digits of an ordinal word ("11" of "11eme"); none for other words.
std::optional<std::string_view> ordinal_digits(std::string_view word) {
  for (std::string_view suffix : kOrdinalSuffixes) {
    if (!word.ends_with(suffix)) continue;
    const std::string_view digits = word.substr(0, word.size() - suffix.size());
    if (digits.empty() || digits.size() > 2 || !all_ascii_digits(digits)) return std::nullopt;
    return digits;
  }
  return std::nullopt;
}

// The value of a roman numeral i..xx, bare or with an ordinal suffix.
std::optional<uint32_t> roman_value(std::string_view word) {
  for (std::string_view suffix : {std::string_view{}, std::string_view{"e"},
                                  std::string_view{"er"}, std::string_view{"eme"}}) {
    if (!word.ends_with(suffix)) continue;
    const std::string_view numeral = word.substr(0, word.size() - suffix.size());
    if (numeral.empty()) continue;
    const auto* found = std::find(kRomanNumerals.begin(), kRomanNumerals.end(), numeral);
    if (found != kRomanNumerals.end()) return static_cast<uint32_t>(found - kRomanNumerals.begin());
  }
  return std::nullopt;
}

// An ordinal keeps its digits as typed ("01e" stays); a numeral becomes its
// ordinal. Bare numbers and other words give none.
std::optional<std::string> arrondissement_ordinal_text(std::string_view word) {
  if (const auto digits = ordinal_digits(word)) {
    return *digits == "1" ? std::string("1er") : std::string(*digits) + "e";
  }
  if (const auto n = roman_value(word)) return ordinal_text(*n);
  return std::nullopt;
}

// "11e", "2nd": one or two digits, then letters only.
bool is_digits_then_letters(std::string_view word) {
  size_t digits = 0;
  while (digits < word.size() && norm::is_ascii_digit(word[digits])) ++digits;
  if (digits == 0 || digits > 2 || digits == word.size()) return false;
  return std::all_of(word.begin() + digits, word.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
}

std::optional<Arrondissement> arrondissement_of_postcode(std::string_view word) {
  if (!is_five_digits(word)) return std::nullopt;
  const uint32_t value = decimal_value(word);
  if (value == kParis16SecondPostcode) return Arrondissement{"paris", 16};
  for (const ArrondissementCity& city : kCities) {
    if (value > city.postcode_base && value <= city.postcode_base + city.count) {
      return Arrondissement{city.name, value - city.postcode_base};
    }
  }
  return std::nullopt;
}

bool is_arrondissement_word(std::string_view word) {
  return is_city_word(word) || begins_with_arrondissement(word) ||
         fr_ordinal_number(word).has_value();
}

bool all_arrondissement_words(std::span<const std::string_view> words) {
  return std::all_of(words.begin(), words.end(), is_arrondissement_word);
}

std::string arrondissement_name(const Arrondissement& a) {
  return std::string(a.city) + ' ' + ordinal_text(a.n) + ' ' + std::string(kArrondissement);
}

// Step 1: ordinals and numerals that number an arrondissement.
bool rewrite_numbers(std::vector<std::string>& words, const rules::WordSet& cities) {
  bool changed = false;
  for (size_t p = 0; p < words.size(); ++p) {
    const bool before_word = p + 1 < words.size() && begins_with_arrondissement(words[p + 1]);
    const bool after_city = p > 0 && cities.contains(words[p - 1]);
    if (!before_word && !after_city) continue;
    if (auto text = arrondissement_ordinal_text(words[p]); text && *text != words[p]) {
      words[p] = std::move(*text);
      changed = true;
    }
  }
  return changed;
}

// Step 2: "11e arrondissement [de] paris" to "paris 11e arrondissement".
bool move_trailing_city(std::vector<std::string>& words, const rules::WordSet& cities) {
  bool changed = false;
  for (size_t p = 0; p + 2 < words.size();) {
    if (!is_digits_then_letters(words[p]) || !begins_with_arrondissement(words[p + 1])) {
      ++p;
      continue;
    }
    size_t city_at = 0;
    if (cities.contains(words[p + 2])) {
      city_at = p + 2;
    } else if (words[p + 2] == "de" && p + 3 < words.size() && cities.contains(words[p + 3])) {
      city_at = p + 3;
    }
    if (city_at == 0) {
      ++p;
      continue;
    }
    std::string city = std::move(words[city_at]);
    words.erase(words.begin() + static_cast<ptrdiff_t>(p + 2),
                words.begin() + static_cast<ptrdiff_t>(city_at + 1));
    words.insert(words.begin() + static_cast<ptrdiff_t>(p), std::move(city));
    changed = true;
    p += 3;
  }
  return changed;
}

// Step 3: "paris 11e rue x" to "rue x paris 11e arrondissement".
bool move_leading_city(std::vector<std::string>& words, const rules::WordSet& cities,
                       bool second_was_ordinal) {
  if (words.size() <= 3 || !cities.contains(words[0]) || !second_was_ordinal) return false;
  std::string city = std::move(words[0]);
  std::string ordinal = std::move(words[1]);
  const size_t dropped = begins_with_arrondissement(words[2]) ? 3 : 2;
  words.erase(words.begin(), words.begin() + static_cast<ptrdiff_t>(dropped));
  words.push_back(std::move(city));
  words.push_back(std::move(ordinal));
  words.emplace_back(kArrondissement);
  return true;
}

}  // namespace

std::optional<uint32_t> fr_ordinal_number(std::string_view text) {
  const auto digits = ordinal_digits(text);
  if (!digits) return std::nullopt;
  return decimal_value(*digits);
}

std::optional<std::string> fr_arrondissement_constraint(std::string_view city, uint32_t n) {
  for (const ArrondissementCity& c : kCities) {
    if (c.name == city && n >= 1 && n <= c.count) return arrondissement_name({c.name, n});
  }
  return std::nullopt;
}

bool fr_arrondissement_postcode_area(std::string_view city, uint32_t n,
                                     std::span<const std::string_view> words) {
  std::array<std::string_view, 2> kept;
  size_t count = 0;
  for (std::string_view w : words) {
    if (begins_with_arrondissement(w)) continue;
    if (count == kept.size()) return false;
    kept[count++] = w;
  }
  const auto is_ordinal_n = [n](std::string_view w) { return fr_ordinal_number(w) == n; };
  switch (count) {
    case 0:
      return true;
    case 1:
      return kept[0] == city || is_ordinal_n(kept[0]);
    default:
      return (kept[0] == city && is_ordinal_n(kept[1])) ||
             (kept[1] == city && is_ordinal_n(kept[0]));
  }
}

bool fr_rewrite_arrondissement_words(std::string& key) {
  if (!mentions_arrondissement_city(key)) return false;
  const rules::WordSet& cities = rules::current().arrondissement_cities();
  const KeyWords views = split_spaces(key);
  std::vector<std::string> words(views.begin(), views.end());
  bool changed = rewrite_numbers(words, cities);
  const bool second_was_ordinal = words.size() >= 2 && fr_ordinal_number(words[1]).has_value();
  if (words.size() >= 3) changed |= move_trailing_city(words, cities);
  changed |= move_leading_city(words, cities, second_was_ordinal);
  if (changed) key = join_words(words);
  return changed;
}

std::optional<std::vector<ScoredHit>> fr_postcode_area_answer(const Index& index,
                                                              std::string_view key) {
  const KeyWords words = split_spaces(key);
  if (std::count_if(words.begin(), words.end(), is_five_digits) != 1) return std::nullopt;
  const size_t at =
      static_cast<size_t>(std::find_if(words.begin(), words.end(), is_five_digits) - words.begin());
  const std::optional<Arrondissement> named = arrondissement_of_postcode(words[at]);
  if (!named) return std::nullopt;
  const std::span<const std::string_view> all(words);

  const auto after = all.subspan(at + 1);
  if (!after.empty() && all_arrondissement_words(after) &&
      !fr_arrondissement_postcode_area(named->city, named->n, after)) {
    return std::vector<ScoredHit>{};
  }
  size_t run_start = at;
  while (run_start > 0 && is_arrondissement_word(words[run_start - 1])) --run_start;
  if (at - run_start > 1 &&
      !fr_arrondissement_postcode_area(named->city, named->n,
                                       all.subspan(run_start, at - run_start))) {
    return std::vector<ScoredHit>{};
  }
  KeyWords others = words;
  others.erase(others.begin() + static_cast<ptrdiff_t>(at));
  if (fr_arrondissement_postcode_area(named->city, named->n, others)) {
    auto place = index.resolve_place_translit(arrondissement_name(*named));
    if (!place) return std::vector<ScoredHit>{};
    return index.city_hit(std::move(place->name), place->exact, place->lat, place->lon);
  }
  if (all_arrondissement_words(others)) return std::vector<ScoredHit>{};
  return std::nullopt;
}

FrCommuneConstraint fr_commune_constraint(std::string_view key) {
  FrCommuneConstraint out;
  const auto add = [&out](std::string name) {
    if (!out.commune) {
      out.commune = std::move(name);
    } else if (*out.commune != name) {
      out.conflicting = true;
    }
  };
  const KeyWords words = split_spaces(key);
  for (std::string_view w : words) {
    if (const auto named = arrondissement_of_postcode(w)) add(arrondissement_name(*named));
  }
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if (!is_city_word(words[i])) continue;
    const auto n = fr_ordinal_number(words[i + 1]);
    if (!n) continue;
    if (auto name = fr_arrondissement_constraint(words[i], *n)) add(std::move(*name));
  }
  if (out.conflicting) out.commune.reset();
  return out;
}

}  // namespace vorlane::query
