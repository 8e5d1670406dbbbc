// Street-type classes, title keys, street variants and the two lazy street
// maps. The maps key every street once, on the first use on any thread;
// since keys depend on the rules in force (the matching key reads the
// current rules), they are built only inside a query, whose rules are the
// index's own.
#include "vorlane/query/street_types.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <set>

#include "vorlane/de/text.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

// Most texts street_data_variants returns, the street itself included.
constexpr size_t kMaxStreetVariants = 9;

bool is_one_word(std::string_view text) {
  const std::vector<std::string_view> words = de::split_white_space(text);
  return words.size() == 1 && words[0].size() == text.size();
}

bool all_ascii_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool starts_with_word(std::string_view text, std::string_view word) {
  return text.size() > word.size() && text.starts_with(word) && text[word.size()] == ' ';
}

// Keys every street by `key_of(name, key)`, which writes the key of a
// street name into `key` (cleared first) and returns false for a street
// without one.
template <typename KeyOf>
StreetKeyMap build_street_map(const Index& index, KeyOf&& key_of) {
  size_t count = index.street_count();
  // Street ids are 32-bit; the opener refuses larger street tables.
  assert(count <= size_t{UINT32_MAX} + 1);
  count = std::min(count, size_t{UINT32_MAX} + 1);
  StreetKeyMap::Builder builder;
  std::string key;
  for (size_t id = 0; id < count; ++id) {
    const std::optional<StreetRecord> street = index.street(id);
    const std::string_view name = street ? index.name(street->name_offset) : std::string_view();
    key.clear();
    if (key_of(name, key)) builder.add(key, static_cast<uint32_t>(id));
  }
  return std::move(builder).finish();
}

// Appends field_street_type_key(field, aliases) to `out`.
void append_field_key(std::string& out, std::string_view field, const StreetTypeAliases& aliases) {
  const size_t space = field.find(' ');
  if (space != std::string_view::npos && !aliases.empty()) {
    const auto it = aliases.find(field.substr(0, space));
    if (it != aliases.end()) {
      out.append(it->second);
      field.remove_prefix(space);
    }
  }
  out.append(field);
}

// The title words and abbreviations of the index's own rules.
struct TitleRules {
  std::vector<std::string_view> titles;
  std::vector<std::pair<std::string_view, std::string_view>> aliases;  // alias -> title
};

std::optional<TitleRules> title_rules(const Index& index) {
  const rules::TextMap& params = index.active_rules().stage_parameters();
  const auto titles = params.find("street_titles");
  const auto aliases = params.find("street_title_aliases");
  if (titles == params.end() || aliases == params.end()) return std::nullopt;
  TitleRules out;
  out.titles = de::split_white_space(titles->second);
  for (const std::string_view entry : de::split_white_space(aliases->second)) {
    const size_t colon = entry.find(':');
    if (colon != std::string_view::npos) {
      out.aliases.emplace_back(entry.substr(0, colon), entry.substr(colon + 1));
    }
  }
  return out;
}

// Writes the title key of `street` into `key`; false when it has none.
// `kept` is scratch space.
bool title_key_into(const TitleRules& rules, std::string_view street,
                    const StreetTypeAliases& aliases, std::vector<std::string_view>& kept,
                    std::string& key) {
  const std::string prepared = prepared_query_key(street);
  kept.clear();
  for (std::string_view word : de::split_white_space(prepared)) {
    const auto alias = std::find_if(rules.aliases.begin(), rules.aliases.end(),
                                    [word](const auto& a) { return a.first == word; });
    if (alias != rules.aliases.end()) word = alias->second;
    if (kept.empty() ||
        std::find(rules.titles.begin(), rules.titles.end(), word) == rules.titles.end()) {
      kept.push_back(word);
    }
  }
  if (kept.size() < 2) return false;
  // As field_street_type_key of the words joined: the words hold no space,
  // so the first one is what the street-type classes rewrite.
  const auto canonical = aliases.find(kept[0]);
  key.append(canonical == aliases.end() ? kept[0] : std::string_view(canonical->second));
  for (size_t i = 1; i < kept.size(); ++i) key.append(" ").append(kept[i]);
  return true;
}

enum class PairKind { numeric = 0, plain = 1, nested = 2 };

PairKind pair_kind(std::string_view a, std::string_view b) {
  if (all_ascii_digits(a) || all_ascii_digits(b)) return PairKind::numeric;
  if (starts_with_word(b, a) || starts_with_word(a, b)) return PairKind::nested;
  return PairKind::plain;
}

// (short side, extra word) of every nested pair whose long side adds one
// word.
using ExtraWords = std::vector<std::pair<std::string_view, std::string_view>>;

ExtraWords extra_words(const rules::PairList& pairs) {
  ExtraWords out;
  for (const auto& [a, b] : pairs) {
    if (pair_kind(a, b) != PairKind::nested) continue;
    const std::string_view shorter = a.size() < b.size() ? a : b;
    const std::string_view longer = a.size() < b.size() ? b : a;
    const std::string_view extra = longer.substr(shorter.size() + 1);
    if (extra.find(' ') == std::string_view::npos) out.emplace_back(shorter, extra);
  }
  return out;
}

bool is_extra_word(const ExtraWords& extras, std::string_view word) {
  return std::any_of(extras.begin(), extras.end(), [word](const auto& e) { return e.second == word; });
}

// "x extra extra ..." for some short side x: a nested rewrite applied twice.
bool doubles_extra_word(const ExtraWords& extras, std::string_view candidate) {
  return std::any_of(extras.begin(), extras.end(), [&](const auto& e) {
    if (!starts_with_word(candidate, e.first)) return false;
    const auto words = de::split_white_space(candidate.substr(e.first.size() + 1));
    return words.size() >= 2 && is_extra_word(extras, words[0]) && is_extra_word(extras, words[1]);
  });
}

std::optional<std::string> rewrite(std::string_view v, std::string_view a, std::string_view b,
                                   PairKind mode, const ExtraWords& extras) {
  if (mode == PairKind::numeric) {
    const std::string padded = " " + std::string(v) + " ";
    const std::string needle = " " + std::string(a) + " ";
    const size_t at = padded.find(needle);
    if (at == std::string::npos) return std::nullopt;
    std::string out = padded;
    out.replace(at, needle.size(), " " + std::string(b) + " ");
    return std::string(de::trim_white_space(out));
  }
  if (!starts_with_word(v, a)) return std::nullopt;
  const std::string_view rest = v.substr(a.size() + 1);
  if (mode == PairKind::nested && starts_with_word(b, a)) {
    const std::vector<std::string_view> words = de::split_white_space(rest);
    if (!words.empty() && is_extra_word(extras, words[0])) return std::nullopt;
  }
  return std::string(b) + " " + std::string(rest);
}

bool map_has_field_key(const StreetKeyMap& map, const StreetTypeAliases& aliases,
                       std::string_view text) {
  return map.contains(field_street_type_key(text, aliases));
}

// Some street-type word of the current rules in place of the leading word
// of `rest`'s street gives a key of the map.
bool any_street_type_with(const StreetKeyMap& map, const StreetTypeAliases& aliases,
                          std::string_view rest) {
  const rules::Rules& r = rules::current();
  const auto known = [&](std::string_view type) {
    return map_has_field_key(map, aliases, std::string(type) + " " + std::string(rest));
  };
  return std::any_of(r.other_street_types().begin(), r.other_street_types().end(), known) ||
         std::any_of(r.russian_street_types().begin(), r.russian_street_types().end(), known) ||
         std::any_of(r.french_italian_street_types().begin(),
                     r.french_italian_street_types().end(), known);
}

}  // namespace

StreetTypeAliases field_street_type_aliases() {
  const rules::Rules& r = rules::current();
  std::map<std::string_view, std::vector<std::string_view>> graph;
  for (const auto& [a, b] : r.street_type_pairs()) {
    if (!is_one_word(a) || !is_one_word(b) || !r.is_street_type(a) || !r.is_street_type(b)) {
      continue;
    }
    graph[a].push_back(b);
    graph[b].push_back(a);
  }
  StreetTypeAliases out;
  for (const auto& [word, unused] : graph) {
    if (out.contains(word)) continue;
    std::set<std::string_view> members;
    std::vector<std::string_view> stack = {word};
    while (!stack.empty()) {
      const std::string_view w = stack.back();
      stack.pop_back();
      if (!members.insert(w).second) continue;
      const std::vector<std::string_view>& next = graph.find(w)->second;
      stack.insert(stack.end(), next.begin(), next.end());
    }
    // The set is ordered bytewise, so its first member is the canonical one.
    const std::string canonical(*members.begin());
    for (const std::string_view m : members) out.emplace(std::string(m), canonical);
  }
  return out;
}

std::string field_street_type_key(std::string_view field, const StreetTypeAliases& aliases) {
  std::string out;
  append_field_key(out, field, aliases);
  return out;
}

std::optional<std::string> title_street_key(const Index& index, std::string_view street,
                                            const StreetTypeAliases& aliases) {
  const std::optional<TitleRules> rules = title_rules(index);
  std::vector<std::string_view> kept;
  std::string key;
  if (!rules || !title_key_into(*rules, street, aliases, kept, key)) return std::nullopt;
  return key;
}

const StreetKeyMap& streets_by_field_key_map(const Index& index,
                                             const StreetTypeAliases& aliases) {
  return index.streets_by_field_key.get([&] {
    return build_street_map(index, [&](std::string_view name, std::string& key) {
      append_field_key(key, prepared_query_key(name), aliases);
      return true;
    });
  });
}

const StreetKeyMap& streets_by_title_key_map(const Index& index,
                                             const StreetTypeAliases& aliases) {
  return index.streets_by_title_key.get([&] {
    const std::optional<TitleRules> rules = title_rules(index);
    if (!rules) return StreetKeyMap();
    std::vector<std::string_view> kept;
    return build_street_map(index, [&](std::string_view name, std::string& key) {
      return title_key_into(*rules, name, aliases, kept, key);
    });
  });
}

const StreetKeyMap& field_street_projection(const Index& index) {
  return streets_by_field_key_map(index, field_street_type_aliases());
}

std::vector<std::string> street_data_variants(std::string_view street) {
  const rules::PairList& pairs = rules::current().street_type_pairs();
  const ExtraWords extras = extra_words(pairs);
  std::vector<std::string> out = {std::string(street)};
  for (const PairKind mode : {PairKind::numeric, PairKind::plain, PairKind::nested}) {
    const size_t before_pass = out.size();
    for (size_t i = 0; i < before_pass; ++i) {
      const std::string v = out[i];
      for (const auto& [a, b] : pairs) {
        if (pair_kind(a, b) != mode) continue;
        std::optional<std::string> candidate = rewrite(v, a, b, mode, extras);
        if (!candidate || doubles_extra_word(extras, *candidate)) continue;
        if (std::find(out.begin(), out.end(), *candidate) != out.end()) continue;
        if (out.size() >= kMaxStreetVariants) return out;
        out.push_back(std::move(*candidate));
      }
    }
  }
  return out;
}

bool comma_field_retry(const StreetKeyMap& map, const StreetTypeAliases& aliases,
                       std::string_view text) {
  const std::string prepared = prepared_query_key(text);
  std::vector<std::string> candidates = street_data_variants(prepared);
  candidates.insert(candidates.begin(), prepared);
  const rules::Rules& r = rules::current();
  for (const std::string& c : candidates) {
    if (map_has_field_key(map, aliases, c)) return true;
    const size_t space = c.find(' ');
    if (space != std::string::npos && r.is_street_type(std::string_view(c).substr(0, space)) &&
        any_street_type_with(map, aliases, std::string_view(c).substr(space + 1))) {
      return true;
    }
  }
  return false;
}

}  // namespace vorlane::query
