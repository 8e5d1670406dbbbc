// Query-text folding. fold_units walks the words of a text once, left to
// right, deciding each word by the first rule that applies (house words,
// leading building words, phone tails, fixed words, the rules' word sets,
// designators with their values); a rule may also consume the next word or
// remove the last word already kept. Every function builds new texts and
// never edits in place, so replacements are non-overlapping and always read
// the text as it stood before the replacement began.
#include "vorlane/query/folding.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "vorlane/base/strings.h"
#include "vorlane/base/utf8.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/script.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

template <size_t N>
bool is_one_of(std::string_view w, const std::array<std::string_view, N>& words) {
  return std::find(words.begin(), words.end(), w) != words.end();
}

constexpr std::array<std::string_view, 4> kLeadingBuildingWords = {"к", "корп", "korpus",
                                                                   "корпус"};
constexpr std::array<std::string_view, 3> kTruncatingWords = {"tel", "тел", "phone"};
constexpr std::array<std::string_view, 6> kRomanFloorWords = {"i", "v", "ii", "iv", "vi", "iii"};
constexpr std::array<std::string_view, 7> kParticles = {"della", "des", "del", "de",
                                                        "du",    "di",  "da"};
constexpr std::array<std::string_view, 19> kValueDesignators = {
    "int",     "кв",      "оф",    "эт",      "stan",     "lokal",   "sprat",
    "piano",   "пом",     "ком",   "interno", "xonadon",  "офис",    "этаж",
    "kvartira", "подъезд", "комната", "квартира", "помещение"};
constexpr std::array<std::string_view, 6> kApartmentDesignators = {
    "apt", "app", "bat", "appt", "batiment", "appartement"};
constexpr std::array<std::string_view, 3> kLetterDesignators = {"sc", "scala", "gebouw"};
constexpr std::array<std::string_view, 3> kFloorDesignators = {"hoog", "etage", "verdieping"};
constexpr std::array<std::string_view, 2> kLiteralDesignators = {"лит", "литера"};

struct BuildingPart {
  std::string_view word;
  std::string_view short_form;
};
constexpr std::array<BuildingPart, 13> kBuildingParts = {{
    {"к", "к"},
    {"кор", "к"},
    {"корп", "к"},
    {"копр", "к"},
    {"корпус", "к"},
    {"корпуса", "к"},
    {"с", "с"},
    {"стр", "с"},
    {"строение", "с"},
    {"строения", "с"},
    {"вл", "вл"},
    {"влад", "вл"},
    {"владение", "вл"},
}};

bool is_number(std::string_view w) {
  return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool begins_with_digit(std::string_view w) { return !w.empty() && w[0] >= '0' && w[0] <= '9'; }

// The one character a word consists of; an ill-formed subpart counts as one
// U+FFFD.
std::optional<char32_t> single_char(std::string_view w) {
  if (w.empty()) return std::nullopt;
  const utf8::Step step = utf8::decode_step(w, 0);
  if (step.length != w.size()) return std::nullopt;
  return step.valid ? step.scalar : utf8::kReplacement;
}

bool is_one_alphanumeric(std::string_view w) {
  const std::optional<char32_t> c = single_char(w);
  return c && norm::is_alphanumeric(*c);
}

std::optional<std::string_view> short_form_of(std::string_view w) {
  for (const BuildingPart& p : kBuildingParts) {
    if (p.word == w) return p.short_form;
  }
  return std::nullopt;
}

// The state of one fold_units walk.
struct UnitWalk {
  std::vector<std::string_view> words;
  size_t first_number = 0;  // index of the first number word, or the word count
  const rules::Rules& rules;
  std::vector<std::string> out;

  std::optional<std::string_view> next_of(size_t i) const {
    return i + 1 < words.size() ? std::optional<std::string_view>(words[i + 1]) : std::nullopt;
  }
  bool last_out_is(auto pred) const { return !out.empty() && pred(std::string_view(out.back())); }
  void drop_last_out() {
    if (!out.empty()) out.pop_back();
  }
};

// What the walk does with word i: how many words it consumes (0 ends the
// walk). Rules appending to or removing from the output do so here.
size_t fold_word(UnitWalk& walk, size_t i) {
  const std::string_view w = walk.words[i];
  const std::optional<std::string_view> next = walk.next_of(i);
  const bool next_is_number = next && is_number(*next);
  const size_t skip_both = next ? 2 : 1;

  // House words.
  if (w == "дом" || w == "uy") return 1;
  if (w == "д" && next_is_number) return 1;
  // A building word before the house number ("корп 2 ..."): the number is
  // read on its own.
  if (i < walk.first_number && is_one_of(w, kLeadingBuildingWords) && next &&
      begins_with_digit(*next)) {
    return 1;
  }
  // Phone tails end the address.
  if (is_one_of(w, kTruncatingWords) || w.starts_with('+')) return 0;
  if (w == "chez" && i == 0) return 1;
  if (w == "cedex") return next_is_number && next->size() <= 2 ? 2 : 1;

  const rules::Rules& rules = walk.rules;
  if (rules.city_designators().contains(w)) return 1;
  if (rules.region_designators().contains(w)) {
    walk.drop_last_out();  // the region name before the designator
    return 1;
  }
  if (rules.inner_country_names().contains(w)) {
    const bool protected_name =
        walk.last_out_is([](std::string_view last) { return is_one_of(last, kParticles); }) ||
        (w == "italia" &&
         walk.last_out_is([](std::string_view last) { return last == "corso" || last == "via"; }));
    if (!protected_name) return 1;
  }
  if (i > walk.first_number) {
    if (is_one_of(w, kRomanFloorWords) && walk.last_out_is(is_number)) return 1;
    if (rules.city_designators_after_house().contains(w)) return 1;
  }

  // Designators, judged on the next word.
  if (is_one_of(w, kValueDesignators)) {
    if (next && (is_number(*next) || is_one_of(*next, kRomanFloorWords))) return skip_both;
  } else if (is_one_of(w, kApartmentDesignators)) {
    if (next && (is_number(*next) || is_one_alphanumeric(*next))) return skip_both;
  } else if (is_one_of(w, kLetterDesignators)) {
    if (next && is_one_alphanumeric(*next)) return skip_both;
  } else if (w == "porte") {
    if (next && (is_number(*next) || *next == "gauche" || *next == "droite")) return skip_both;
  } else if (is_one_of(w, kFloorDesignators)) {
    if (walk.last_out_is(begins_with_digit)) {
      if (!next) return 1;
      if (next_is_number) return 2;
      walk.drop_last_out();  // the floor number written before the designator
      return 1;
    }
    if (next_is_number) return 2;
  } else if (const std::optional<std::string_view> short_form = short_form_of(w)) {
    if (next_is_number) {
      walk.out.push_back(std::string(*short_form) + std::string(*next));
      return 2;
    }
  } else if (is_one_of(w, kLiteralDesignators)) {
    if (next && single_char(*next)) {
      walk.out.emplace_back(*next);
      return 2;
    }
  }
  walk.out.emplace_back(w);
  return 1;
}

// The bytes of the letters of a word made of 1 or 2 letters and then 1 to 4
// ASCII digits ("d12"); 0 for any other word.
size_t glued_letter_bytes(std::string_view w) {
  // One to four trailing digits after one to eight bytes of letters.
  size_t digits = 0;
  while (digits < w.size() && digits < 5 && w[w.size() - 1 - digits] >= '0' &&
         w[w.size() - 1 - digits] <= '9') {
    ++digits;
  }
  if (digits == 0 || digits > 4 || w.size() - digits > 8 || w.size() == digits) return 0;
  size_t letters = 0;
  size_t letter_bytes = 0;
  while (letter_bytes < w.size()) {
    const utf8::Step step = utf8::decode_step(w, letter_bytes);
    if (!step.valid || !norm::is_letter(step.scalar)) break;
    ++letters;
    letter_bytes += step.length;
  }
  const std::string_view rest = w.substr(letter_bytes);
  const bool glued = letters >= 1 && letters <= 2 && rest.size() >= 1 && rest.size() <= 4 &&
                     is_number(rest);
  return glued ? letter_bytes : 0;
}

}  // namespace

std::vector<std::string_view> split_words(std::string_view text) {
  std::vector<std::string_view> words;
  for_each_space_separated_word(text, [&](std::string_view w) { words.push_back(w); });
  return words;
}

std::string fold_units(std::string_view text) {
  UnitWalk walk{split_words(text), 0, rules::current(), {}};
  if (walk.words.empty()) return {};
  walk.first_number = static_cast<size_t>(
      std::find_if(walk.words.begin(), walk.words.end(), is_number) - walk.words.begin());
  for (size_t i = 0; i < walk.words.size();) {
    const size_t consumed = fold_word(walk, i);
    if (consumed == 0) break;
    i += consumed;
  }
  while (walk.out.size() >= 3 && walk.rules.trailing_country_words().contains(walk.out.back())) {
    walk.out.pop_back();
  }
  return join_words(walk.out);
}

std::string prepared_query_key(std::string_view text) {
  std::string key = fold_units(norm::fold_homoglyphs(norm::normalize(text)));
  for (const auto& [from, to] : rules::current().phrase_replacements()) {
    key = replace_all(key, from + ' ', to + ' ');
  }
  return key;
}

std::optional<std::string> unglue_variant(std::string_view text) {
  return unglue_variant_within(text, SIZE_MAX);
}

std::optional<std::string> unglue_variant_within(std::string_view text, size_t differ_before) {
  // The first glued word: a plainly spaced text is copied unchanged up to it.
  size_t first_glued = std::string_view::npos;
  for_each_space_separated_word(text, [&](std::string_view w) {
    if (first_glued == std::string_view::npos && glued_letter_bytes(w) != 0) {
      first_glued = static_cast<size_t>(w.data() - text.data());
    }
  });
  if (first_glued == std::string_view::npos) return std::nullopt;
  if (first_glued >= differ_before && is_single_spaced(text)) return std::nullopt;
  std::string out;
  out.reserve(text.size() + 8);
  for (const std::string_view w : split_words(text)) {
    if (!out.empty()) out.push_back(' ');
    if (const size_t letters = glued_letter_bytes(w)) {
      out.append(w.substr(0, letters)).push_back(' ');
      out.append(w.substr(letters));
    } else {
      out.append(w);
    }
  }
  return out;
}

std::optional<std::string> swap_last_two_words(std::string_view text) {
  return swap_last_two_words_within(text, SIZE_MAX);
}

std::optional<std::string> swap_last_two_words_within(std::string_view text,
                                                      size_t differ_before) {
  if (is_single_spaced(text)) {
    // Only the last two words move: the rest is copied whole.
    const size_t last = text.rfind(' ');
    if (last == std::string_view::npos) return std::nullopt;
    const size_t second = text.rfind(' ', last - 1);
    if (second == std::string_view::npos || second + 1 >= differ_before) return std::nullopt;
    std::string out;
    out.reserve(text.size());
    out.append(text.substr(0, second + 1)).append(text.substr(last + 1)).push_back(' ');
    out.append(text.substr(second + 1, last - second - 1));
    return out;
  }
  std::vector<std::string_view> words = split_words(text);
  if (words.size() < 3) return std::nullopt;
  std::swap(words[words.size() - 2], words[words.size() - 1]);
  return join_words(words);
}

std::vector<std::string> street_text_variants(std::span<const std::string> texts,
                                              std::span<const size_t> differ_before) {
  const auto limit = [&](size_t i) {
    return i < differ_before.size() ? differ_before[i] : SIZE_MAX;
  };
  std::vector<std::string> out;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (auto v = swap_last_two_words_within(texts[i], limit(i))) out.push_back(std::move(*v));
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    if (auto v = unglue_variant_within(texts[i], limit(i))) out.push_back(std::move(*v));
  }
  return out;
}

std::string street_key(std::string_view text) {
  const std::string canonical = norm::normalize(text);
  std::vector<std::string_view> words = split_words(canonical);
  std::stable_sort(words.begin(), words.end());
  return join_words(words);
}

}  // namespace vorlane::query
