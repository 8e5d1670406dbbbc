// Country rules: the multilingual vocabulary that steers query rewriting and
// matching (aliases, street-type words, designator words, country names,
// German vocabulary and named parameters). Every Rules value starts as the
// built-in content of defaults(); a sheet's rules section is merged over it.
// A Rules value is read-only once built and shared by reference among threads.
//
// Each container belongs to one entry kind, the byte an entry of the rules
// section carries; the kind is named next to every accessor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "vorlane/base/byte_view.h"

namespace vorlane::rules {

// Hash that lets word sets be probed with a string_view without building a
// std::string.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// Text to text, unique keys compared byte for byte; adding a present key
// replaces its value. Ordered so that iteration is deterministic.
using TextMap = std::map<std::string, std::string, std::less<>>;
// Ordered (a, b) pairs, duplicates kept, in the order added.
using PairList = std::vector<std::pair<std::string, std::string>>;
// Ordered words, duplicates kept, in the order added.
using WordList = std::vector<std::string>;
// Words compared byte for byte; adding a present word changes nothing.
using WordSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;

class Rules {
 public:
  // Adds one entry to the container of its kind: maps insert a -> b
  // (replacing an earlier value of a), pair lists append (a, b), word lists
  // append a, word sets insert a; lists and sets drop b. Kinds outside
  // 1..26 are ignored.
  void add(uint8_t kind, std::string a, std::string b);

  // The kind-1 value for exactly `name`, borrowed from these rules; none
  // when there is no such key (kind-2 city aliases are not consulted).
  std::optional<std::string_view> commune_alias(std::string_view name) const;

  // True when `word` is in the kind-17 set, else equals an element of the
  // kind-5 list, else of the kind-16 list (exact byte equality).
  bool is_street_type(std::string_view word) const;

  // True for a street-type word or a kind-6 housing-estate word: a leading
  // word that may be dropped from a query.
  bool is_affix(std::string_view word) const;

  // Kind 26: named settings of the foreign-city guard.
  const TextMap& foreign_city_guard_settings() const { return foreign_city_guard_settings_; }
  // Kind 23: named parameters of the retry stages ("enabled", "postal_digits",
  // "postal_split", "forms", "regions", "street_titles", "street_title_aliases").
  const TextMap& stage_parameters() const { return stage_parameters_; }
  // Kind 25: leading comma fields that the street-data stage may drop.
  const WordSet& droppable_leading_fields() const { return droppable_leading_fields_; }
  // Kind 1: commune alias -> canonical commune name.
  const TextMap& commune_aliases() const { return commune_aliases_; }
  // Kind 2: city aliases in query text, (alias, commune name).
  const PairList& city_aliases() const { return city_aliases_; }
  // Kind 24: street-type pairs for structured street-field variants.
  const PairList& street_type_pairs() const { return street_type_pairs_; }
  // Kind 3: phrase replacements (from, to) applied to the matching key.
  const PairList& phrase_replacements() const { return phrase_replacements_; }
  // Kind 4: capital city names.
  const WordList& capitals() const { return capitals_; }
  // Kind 5: street-type words (Russian).
  const WordList& russian_street_types() const { return russian_street_types_; }
  // Kind 16: street-type words (French, Italian).
  const WordList& french_italian_street_types() const { return french_italian_street_types_; }
  // Kind 17: street-type words (Dutch, Serbian, Uzbek, Italian).
  const WordSet& other_street_types() const { return other_street_types_; }
  // Kind 6: housing-estate words.
  const WordSet& housing_estate_words() const { return housing_estate_words_; }
  // Kind 7: city designator words, dropped wherever they stand.
  const WordSet& city_designators() const { return city_designators_; }
  // Kind 8: city designator words dropped after the house number.
  const WordSet& city_designators_after_house() const { return city_designators_after_house_; }
  // Kind 9: region designator words, dropped with the word before them.
  const WordSet& region_designators() const { return region_designators_; }
  // Kind 10: country names dropped inside the text.
  const WordSet& inner_country_names() const { return inner_country_names_; }
  // Kind 11: country names and words stripped from the end of the text.
  const WordSet& trailing_country_words() const { return trailing_country_words_; }
  // Kind 12: settlement-type words.
  const WordSet& settlement_type_words() const { return settlement_type_words_; }
  // Kind 13: garden-society and area words.
  const WordSet& garden_area_words() const { return garden_area_words_; }
  // Kind 14: cities with arrondissements.
  const WordSet& arrondissement_cities() const { return arrondissement_cities_; }
  // Kind 15: district words.
  const WordSet& district_words() const { return district_words_; }
  // Kind 18: German commune aliases (spelling, canonical commune).
  const PairList& de_commune_aliases() const { return de_commune_aliases_; }
  // Kind 19: German token-sequence replacements (from, to).
  const PairList& de_token_replacements() const { return de_token_replacements_; }
  // Kind 20: German street-type words.
  const WordList& de_street_types() const { return de_street_types_; }
  // Kind 21: German tokens to drop.
  const WordSet& de_drop_words() const { return de_drop_words_; }
  // Kind 22: German cut words.
  const WordSet& de_cut_words() const { return de_cut_words_; }

 private:
  TextMap foreign_city_guard_settings_;    // 26
  TextMap stage_parameters_;               // 23
  WordSet droppable_leading_fields_;       // 25
  TextMap commune_aliases_;                // 1
  PairList city_aliases_;                  // 2
  PairList street_type_pairs_;             // 24
  PairList phrase_replacements_;           // 3
  WordList capitals_;                      // 4
  WordList russian_street_types_;          // 5
  WordList french_italian_street_types_;   // 16
  WordSet other_street_types_;             // 17
  WordSet housing_estate_words_;           // 6
  WordSet city_designators_;               // 7
  WordSet city_designators_after_house_;   // 8
  WordSet region_designators_;             // 9
  WordSet inner_country_names_;            // 10
  WordSet trailing_country_words_;         // 11
  WordSet settlement_type_words_;          // 12
  WordSet garden_area_words_;              // 13
  WordSet arrondissement_cities_;          // 14
  WordSet district_words_;                 // 15
  PairList de_commune_aliases_;            // 18
  PairList de_token_replacements_;         // 19
  WordList de_street_types_;               // 20
  WordSet de_drop_words_;                  // 21
  WordSet de_cut_words_;                   // 22
};

// A fresh Rules holding exactly the built-in content.
Rules defaults();

// The built-in rules with the entries of a sheet's rules section merged in
// (sorted stably by kind, then a, then b, byte-wise). Returns null when the
// section holds no usable entries: shorter than 4 bytes, a count of 0, or
// any entry running past the end (then no entry of it is used). Invalid
// UTF-8 in a text becomes U+FFFD.
std::unique_ptr<Rules> from_section_owned(ByteView section);

// The process-wide built-in rules, built once on first use (safe when
// several threads get there together) and never destroyed, not even at exit.
const Rules& fallback();

// The calling thread's rules in force, null when none are installed. Set
// only through CurrentRulesScope, so it never outlives the rules it points
// at.
extern constinit thread_local const Rules* CURRENT;

// CURRENT when set, else the built-in rules.
inline const Rules& current() { return CURRENT != nullptr ? *CURRENT : fallback(); }

// Installs `rules` as the calling thread's current rules for the lifetime of
// the scope and restores the previous value on every way out.
class CurrentRulesScope {
 public:
  [[nodiscard]] explicit CurrentRulesScope(const Rules& rules) : saved_(CURRENT) {
    CURRENT = &rules;
  }
  ~CurrentRulesScope() { CURRENT = saved_; }

  CurrentRulesScope(const CurrentRulesScope&) = delete;
  CurrentRulesScope& operator=(const CurrentRulesScope&) = delete;

 private:
  const Rules* saved_;
};

}  // namespace vorlane::rules
