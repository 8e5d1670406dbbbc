// Rules containers, the rules-section reader and the per-thread rules in
// force. The section reader trusts nothing in the section: every field is
// bounds-checked before it is read, and the entry count only sizes an
// allocation once the section's bytes are known to be able to hold that
// many entries.
#include "vorlane/rules/rules.h"

#include <algorithm>
#include <tuple>

#include "vorlane/base/utf8.h"

namespace vorlane::rules {

constinit thread_local const Rules* CURRENT = nullptr;

void Rules::add(uint8_t kind, std::string a, std::string b) {
  // The map kinds replace an earlier value of the same key.
  const auto put = [&](TextMap& map) { map.insert_or_assign(std::move(a), std::move(b)); };
  const auto append_pair = [&](PairList& list) { list.emplace_back(std::move(a), std::move(b)); };
  const auto append_word = [&](WordList& list) { list.push_back(std::move(a)); };
  const auto insert_word = [&](WordSet& set) { set.insert(std::move(a)); };

  switch (kind) {
    case 1: put(commune_aliases_); break;
    case 2: append_pair(city_aliases_); break;
    case 3: append_pair(phrase_replacements_); break;
    case 4: append_word(capitals_); break;
    case 5: append_word(russian_street_types_); break;
    case 6: insert_word(housing_estate_words_); break;
    case 7: insert_word(city_designators_); break;
    case 8: insert_word(city_designators_after_house_); break;
    case 9: insert_word(region_designators_); break;
    case 10: insert_word(inner_country_names_); break;
    case 11: insert_word(trailing_country_words_); break;
    case 12: insert_word(settlement_type_words_); break;
    case 13: insert_word(garden_area_words_); break;
    case 14: insert_word(arrondissement_cities_); break;
    case 15: insert_word(district_words_); break;
    case 16: append_word(french_italian_street_types_); break;
    case 17: insert_word(other_street_types_); break;
    case 18: append_pair(de_commune_aliases_); break;
    case 19: append_pair(de_token_replacements_); break;
    case 20: append_word(de_street_types_); break;
    case 21: insert_word(de_drop_words_); break;
    case 22: insert_word(de_cut_words_); break;
    case 23: put(stage_parameters_); break;
    case 24: append_pair(street_type_pairs_); break;
    case 25: insert_word(droppable_leading_fields_); break;
    case 26: put(foreign_city_guard_settings_); break;
    default: break;  // unknown kinds are skipped, not an error
  }
}

std::optional<std::string_view> Rules::commune_alias(std::string_view name) const {
  const auto it = commune_aliases_.find(name);
  if (it == commune_aliases_.end()) return std::nullopt;
  return std::string_view(it->second);
}

bool Rules::is_street_type(std::string_view word) const {
  const auto equals_word = [word](const std::string& w) { return w == word; };
  return other_street_types_.contains(word) ||
         std::any_of(russian_street_types_.begin(), russian_street_types_.end(), equals_word) ||
         std::any_of(french_italian_street_types_.begin(), french_italian_street_types_.end(),
                     equals_word);
}

bool Rules::is_affix(std::string_view word) const {
  return is_street_type(word) || housing_estate_words_.contains(word);
}

namespace {

struct Entry {
  uint8_t kind;
  std::string a;
  std::string b;
};

// Smallest possible entry: kind byte and two empty length-prefixed texts.
constexpr size_t kMinEntryBytes = 1 + 2 + 2;

std::optional<std::string> read_text(Cursor& cursor) {
  const auto length = cursor.u16le();
  if (!length) return std::nullopt;
  const auto bytes = cursor.bytes(*length);
  if (!bytes) return std::nullopt;
  return utf8::decode_lossy(*bytes);
}

std::optional<Entry> read_entry(Cursor& cursor) {
  const auto kind = cursor.u8();
  if (!kind) return std::nullopt;
  auto a = read_text(cursor);
  if (!a) return std::nullopt;
  auto b = read_text(cursor);
  if (!b) return std::nullopt;
  return Entry{*kind, std::move(*a), std::move(*b)};
}

// All n entries, or none when any of them runs past the end of the section.
std::optional<std::vector<Entry>> read_entries(ByteView section) {
  Cursor cursor(section);
  const auto count = cursor.u32le();
  if (!count || *count == 0) return std::nullopt;
  // A count the remaining bytes cannot hold means some entry is cut short;
  // checking it first also keeps the reservation below bounded by the file.
  if (*count > cursor.remaining() / kMinEntryBytes) return std::nullopt;

  std::vector<Entry> entries;
  entries.reserve(*count);
  for (uint32_t i = 0; i < *count; ++i) {
    auto entry = read_entry(cursor);
    if (!entry) return std::nullopt;
    entries.push_back(std::move(*entry));
  }
  return entries;
}

}  // namespace

std::unique_ptr<Rules> from_section_owned(ByteView section) {
  auto entries = read_entries(section);
  if (!entries) return nullptr;

  // std::string compares through char_traits<char>, i.e. as unsigned bytes.
  std::stable_sort(entries->begin(), entries->end(), [](const Entry& x, const Entry& y) {
    return std::tie(x.kind, x.a, x.b) < std::tie(y.kind, y.a, y.b);
  });

  auto rules = std::make_unique<Rules>(defaults());
  for (Entry& e : *entries) rules->add(e.kind, std::move(e.a), std::move(e.b));
  return rules;
}

const Rules& fallback() {
  // Initialised exactly once, even when several threads arrive together,
  // and never freed: worker threads may still read it while the process
  // runs its static destructors at exit.
  static const Rules* const kFallback = new Rules(defaults());
  return *kFallback;
}

}  // namespace vorlane::rules
