// The core stage. Words here are cut at every U+0020 and keep empty pieces
// (two adjacent spaces give an empty word), unlike split_words; they are
// joined back with single spaces. Every try is one matching-core request
// with no locality context and no street-key hint unless a pass says
// otherwise; a query answered by its main pass costs one request, and a
// query that nothing answers at most 36.
#include "vorlane/query/core_stage.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <nlohmann/json.hpp>

#include "vorlane/base/utf8.h"
#include "vorlane/de/chars.h"
#include "vorlane/de/text.h"
#include "vorlane/diagnosis/trace.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/script.h"
#include "vorlane/query/de_text.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/fr_arrondissement.h"
#include "vorlane/query/hit_json.h"
#include "vorlane/query/index.h"
#include "vorlane/query/it_probes.h"
#include "vorlane/query/key_words.h"
#include "vorlane/query/spine.h"
#include "vorlane/query/stages.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using Rows = std::vector<ScoredHit>;
using Words = std::vector<std::string_view>;

// Answers found by dropping words are capped here.
constexpr float kDroppedWordsConfidenceCap = 0.6f;
// Runs of this many number-like words are removed from the key.
constexpr size_t kNumberRunMin = 4;
constexpr size_t kMaxPrefixDrops = 8;
constexpr size_t kMaxPlacePieces = 6;
constexpr size_t kMaxPlaceWords = 4;
// Place mentions farther than this from the best one are not considered.
constexpr double kPlaceMentionRadiusKm = 50.0;
// Under a commune constraint the main pass asks for at least this many rows.
constexpr size_t kConstrainedMainK = 20;

bool is_digit_run(std::string_view w) { return !w.empty() && all_ascii_digits(w); }

bool is_number_like(std::string_view w) {
  return w.empty() || (w.size() <= 4 && all_ascii_digits(w));
}

bool has_ascii_letter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
}

bool has_flag(const Hit& hit, std::string_view flag) {
  return std::find(hit.flags.begin(), hit.flags.end(), flag) != hit.flags.end();
}

bool top_has_both_codes(const Rows& rows) {
  const Hit& top = rows.front().first;
  return has_flag(top, "commune_exact") && has_flag(top, "pc_exact");
}

// Some row is an exact street at finer than city level.
bool has_exact_noncity_street(const Rows& rows) {
  return std::any_of(rows.begin(), rows.end(), [](const ScoredHit& r) {
    return feature_set(r.second[0]) && r.first.precision != kPrecisionCity;
  });
}

bool has_exact_street_in_exact_commune(const Rows& rows) {
  return std::any_of(rows.begin(), rows.end(), [](const ScoredHit& r) {
    return feature_set(r.second[0]) && feature_set(r.second[2]);
  });
}

void cap_and_flag(Rows& rows, std::string_view flag) {
  for (auto& [hit, features] : rows) {
    hit.confidence = std::fmin(hit.confidence, kDroppedWordsConfidenceCap);
    hit.flags.push_back(flag);
  }
}

void flag_all(Rows& rows, std::string_view flag) {
  for (auto& [hit, features] : rows) hit.flags.push_back(flag);
}

Rows ask_core(const Index& index, std::string_view key, size_t k) {
  return query_feats_prepared_context(index, key, k, std::nullopt, std::nullopt);
}

// Removes every maximal run of at least kNumberRunMin number-like words.
void drop_number_runs(std::string& key) {
  const Words words = split_spaces(key);
  Words kept;
  bool removed = false;
  for (size_t i = 0; i < words.size();) {
    if (!is_number_like(words[i])) {
      kept.push_back(words[i++]);
      continue;
    }
    size_t end = i;
    while (end < words.size() && is_number_like(words[end])) ++end;
    if (end - i >= kNumberRunMin) {
      removed = true;
    } else {
      kept.insert(kept.end(), words.begin() + i, words.begin() + end);
    }
    i = end;
  }
  if (removed) key = join_words(kept);
}

// A key with no all-digit word that names a place is answered by that place.
std::optional<Rows> place_only_answer(const Index& index, std::string_view key) {
  const Words pieces = split_spaces(key);
  if (std::any_of(pieces.begin(), pieces.end(), is_digit_run)) return std::nullopt;
  Words non_empty;
  for (std::string_view p : pieces) {
    if (!p.empty()) non_empty.push_back(p);
  }
  const std::string text = join_words(non_empty);
  if (text.empty()) return std::nullopt;
  auto place = index.resolve_place_translit(text);
  if (!place) return std::nullopt;
  return index.city_hit(std::move(place->name), place->exact, place->lat, place->lon);
}

// A "street" answer written city first may be a house in that city.
Rows with_city_first_retry(const Index& index, std::string_view key, size_t k, Rows rows) {
  if (!rows.empty() && rows.front().first.precision == kPrecisionStreet) {
    if (auto retried = city_first_house_retry(index, key, k)) return std::move(*retried);
  }
  return rows;
}

std::optional<Rows> try_transliterations(const Index& index, std::string_view key, size_t k) {
  auto ask = [&](std::string_view candidate) -> std::optional<Rows> {
    Rows rows = ask_core(index, candidate, k);
    if (rows.empty()) return std::nullopt;
    return rows;
  };
  if (norm::has_cyrillic(key)) {
    const std::string c1 = norm::normalize(norm::translit_cyr_lat(key));
    if (c1 != key) {
      if (auto r = ask(c1)) return r;
    }
    const std::string c2 = norm::normalize(norm::translit_cyr_lat_en(key));
    if (c2 != key && c2 != c1) {
      if (auto r = ask(c2)) return r;
    }
  }
  if (has_ascii_letter(key)) {
    const std::string c3 = norm::normalize(norm::translit_lat_cyr(key));
    if (c3 != key) {
      if (auto r = ask(c3)) return r;
      if (auto unglued = unglue_variant(c3)) {
        if (auto r = ask(*unglued)) return r;
      }
    }
  }
  if (key.find('j') != std::string_view::npos) {
    const std::string c4 = norm::normalize(norm::translit_lat_cyr(replace_all(key, "j", "zh")));
    if (c4 != key) {
      if (auto r = ask(c4)) return r;
    }
  }
  if (key.find("dj") != std::string_view::npos) {
    const std::string c5 = replace_all(key, "dj", "d");
    if (c5 != key) {
      if (auto r = ask(c5)) return r;
    }
  }
  return std::nullopt;
}

// The number of leading affix words to drop: up to three, never all.
size_t leading_affix_count(const Words& words) {
  const rules::Rules& rules = rules::current();
  size_t count = 0;
  while (count < 3 && count + 2 <= words.size() && rules.is_affix(words[count])) ++count;
  return count;
}

bool passes_german_filter(const ScoredHit& row, const DeStageArguments& de) {
  if (feature_set(row.second[4])) return true;
  if (postcode_numeric_prefix(row.first.postcode) == de.postcode) return true;
  return de_retained_locality_score(*de.locality, row.first.commune) != 0;
}

void apply_german_filter(Rows& rows, const DeStageArguments& de) {
  if (!de.locality || !de.locality_present) return;
  std::erase_if(rows, [&de](const ScoredHit& row) { return !passes_german_filter(row, de); });
}

// Pass A: drop 1 to 8 leading words. An answer that explains the query only
// through its commune and postcode is held back (the first one only) as the
// deferred fallback.
std::optional<Rows> prefix_drop(const Index& index, const Words& words, size_t k,
                                const DeStageArguments& de, std::optional<Rows>& deferred) {
  const size_t n = words.size();
  if (n < 3) return std::nullopt;
  const size_t last = std::min(n - 2, kMaxPrefixDrops);
  for (size_t i = 1; i <= last; ++i) {
    Rows rows = ask_core(index, join_range(words, i, n), k);
    apply_german_filter(rows, de);
    if (rows.empty()) continue;
    const bool house_exact = std::any_of(rows.begin(), rows.end(), [](const ScoredHit& r) {
      return r.first.precision == kPrecisionHouse && feature_set(r.second[0]);
    });
    const bool street_after_type =
        rules::current().is_street_type(words[i]) && has_exact_noncity_street(rows);
    const bool dropped_is_commune = !index.communes_by_name(join_range(words, 0, i)).empty();
    diagnosis::guard("prefix_drop", rows.size(),
                     house_exact || street_after_type || dropped_is_commune, [&] {
                       return nlohmann::json{{"house_exact", house_exact},
                                             {"dropped_is_commune", dropped_is_commune},
                                             {"street_after_type", street_after_type},
                                             {"top", hit_json(rows.front().first)}};
                     });
    if (dropped_is_commune) return rows;
    if (house_exact || street_after_type) {
      cap_and_flag(rows, "dropped_prefix");
      return rows;
    }
    if (top_has_both_codes(rows) && !deferred) {
      cap_and_flag(rows, "dropped_prefix");
      flag_all(rows, kFlagDeferredLocalityDrop);
      deferred = std::move(rows);
    }
  }
  return std::nullopt;
}

// Pass C: drop the last one or two words, unless one is a number.
std::optional<Rows> suffix_drop(const Index& index, const Words& words, size_t k,
                                const DeStageArguments& de, std::optional<Rows>& deferred) {
  const size_t n = words.size();
  if (n < 3) return std::nullopt;
  for (size_t j = 1; j <= 2 && (j == 1 || n >= 4); ++j) {
    // An empty word counts as a number here too.
    if (std::any_of(words.end() - j, words.end(), all_ascii_digits)) return std::nullopt;
    const std::string head = join_range(words, 0, n - j);
    const std::string tail = join_range(words, n - j, n);
    std::optional<DeLocalityContext> context;
    if (de.locality) context = DeLocalityContext{*de.locality, tail, de.postal_tail_eligible};
    Rows rows = query_feats_prepared_context(index, head, k, context, std::nullopt);
    if (rows.empty()) continue;
    const bool noncity_exact = has_exact_noncity_street(rows);
    const bool both_codes = top_has_both_codes(rows);
    diagnosis::guard("suffix_drop", rows.size(), noncity_exact, [&] {
      return nlohmann::json{{"exact_street_noncity", noncity_exact},
                            {"top", hit_json(rows.front().first)}};
    });
    if (!noncity_exact && !both_codes) continue;
    if (!both_codes && deferred) return std::move(*deferred);
    cap_and_flag(rows, "dropped_suffix");
    if (!noncity_exact) flag_all(rows, kFlagDeferredLocalityDrop);
    if (rows.size() > k) rows.resize(k);
    return rows;
  }
  return std::nullopt;
}

bool is_place_separator(char32_t c) {
  return c == U',' || c == U';' || c == U'|' || c == U'\u00B7' || c == U'(' || c == U')' ||
         c == U'\n';
}

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

using de::trim_white_space;

// The pieces of q between place separators, last first, trimmed, without a
// leading postcode, keeping only those that could name a place.
Words place_pieces(std::string_view q) {
  Words pieces;
  auto take = [&pieces](std::string_view raw) {
    const std::string_view piece = strip_leading_pc(trim_white_space(raw));
    if (!piece.empty() && !has_ascii_digit(piece)) pieces.push_back(piece);
  };
  size_t start = 0;
  for (size_t pos = 0; pos < q.size();) {
    const utf8::Step step = utf8::decode_step(q, pos);
    if (step.valid && is_place_separator(step.scalar)) {
      take(q.substr(start, pos - start));
      start = pos + step.length;
    }
    pos += step.length;
  }
  take(q.substr(start));
  std::reverse(pieces.begin(), pieces.end());
  if (pieces.size() > kMaxPlacePieces) pieces.resize(kMaxPlacePieces);
  return pieces;
}

// The place one piece names: as written, without settlement-type words,
// then also without garden and area words.
std::optional<Place> piece_place(const Index& index, std::string_view piece) {
  const std::string p = index.expand_city_aliases(
      fold_units(norm::fold_homoglyphs(norm::normalize(piece))));
  const Words words = split_spaces(p);
  if (words.empty() || words.size() > kMaxPlaceWords) return std::nullopt;
  const rules::Rules& rules = rules::current();
  Words without_settlement;
  for (std::string_view w : words) {
    if (!rules.settlement_type_words().contains(w)) without_settlement.push_back(w);
  }
  Words without_area;
  for (std::string_view w : without_settlement) {
    if (!rules.garden_area_words().contains(w)) without_area.push_back(w);
  }
  const std::string candidates[] = {join_words(words), join_words(without_settlement),
                                    join_words(without_area)};
  for (size_t i = 0; i < 3; ++i) {
    const std::string& text = candidates[i];
    // The same text again would resolve the same way.
    if (text.empty() || (i > 0 && text == candidates[i - 1])) continue;
    if (auto place = index.resolve_place_translit(text)) return place;
  }
  return std::nullopt;
}

// The heaviest place (exact ones first, the later on ties), then the
// lightest place near it (the earlier on ties).
const Place& chosen_place(const std::vector<Place>& places) {
  const bool any_exact =
      std::any_of(places.begin(), places.end(), [](const Place& p) { return p.exact; });
  const Place* best = nullptr;
  for (const Place& p : places) {
    if (any_exact && !p.exact) continue;
    if (best == nullptr || p.weight >= best->weight) best = &p;
  }
  const Place* chosen = nullptr;
  for (const Place& p : places) {
    const double km = Index::dist_km(best->lat, best->lon, p.lat, p.lon);
    if (!(km <= kPlaceMentionRadiusKm)) continue;
    if (chosen == nullptr || p.weight < chosen->weight) chosen = &p;
  }
  return chosen != nullptr ? *chosen : *best;
}

// Pass E: a place named in its own field of q, when the key holds no short
// number (which would make it a house address).
Rows place_mentions(const Index& index, std::string_view q, std::string_view key) {
  std::vector<Place> places;
  for (std::string_view piece : place_pieces(q)) {
    if (auto place = piece_place(index, piece)) places.push_back(std::move(*place));
  }
  if (places.empty()) return {};
  for (std::string_view w : split_spaces(key)) {
    if (is_digit_run(w) && w.size() <= 3) return {};
  }
  const Place& chosen = chosen_place(places);
  return index.city_hit(chosen.name, chosen.exact, chosen.lat, chosen.lon);
}

}  // namespace

std::string_view strip_leading_pc(std::string_view text) {
  const std::string_view t = de::trim_start_white_space(text);
  if (t.empty()) return text;
  size_t digits = 0;
  while (digits < t.size() && norm::is_ascii_digit(t[digits])) ++digits;
  if (digits < 4 || digits > 6) return text;
  const std::string_view rest = de::trim_start_white_space(t.substr(digits));
  if (rest.empty()) return text;
  const bool two_letters = rest.size() >= 2 && is_ascii_letter(rest[0]) && is_ascii_letter(rest[1]);
  if (two_letters && rest.size() == 2) return text;
  if (two_letters && rest.size() > 2 && rest[2] == ' ') {
    const std::string_view after_code = de::trim_start_white_space(rest.substr(2));
    return after_code.empty() ? text : after_code;
  }
  return rest;
}

std::optional<Rows> city_first_house_retry(const Index& index, std::string_view key, size_t k) {
  const Words words = split_spaces(key);
  for (size_t c : {size_t{2}, size_t{1}}) {
    if (c + 2 > words.size()) continue;
    const std::string city = join_range(words, 0, c);
    if (index.communes_by_name(city).empty()) continue;
    std::vector<std::string> candidates{join_range(words, c, words.size())};
    if (auto unglued = unglue_variant(candidates.front())) {
      candidates.push_back(fold_units(*unglued));
    }
    for (const std::string& candidate : candidates) {
      Rows rows = ask_core(index, candidate, k);
      if (rows.empty()) continue;
      const auto& [top, features] = rows.front();
      if (top.precision == kPrecisionHouse && feature_set(features[0]) &&
          norm::normalize(top.commune) == city) {
        return rows;
      }
    }
  }
  return std::nullopt;
}

std::vector<ScoredHit> query_feats_d(const Index& index, std::string_view q, size_t k,
                                     bool recursed, const DeStageArguments& de) {
  std::string key = index.expand_city_aliases(prepared_query_key(q));
  fr_rewrite_arrondissement_words(key);
  drop_number_runs(key);
  const std::optional<std::string_view> country = index.country();
  if (country == "fr") {
    if (auto answer = fr_postcode_area_answer(index, key)) return std::move(*answer);
  }
  if (auto place = place_only_answer(index, key)) return std::move(*place);
  std::optional<std::string> commune_constraint;
  if (country == "fr") {
    FrCommuneConstraint constraint = fr_commune_constraint(key);
    if (constraint.conflicting) return {};
    commune_constraint = std::move(constraint.commune);
  }

  Rows main = query_feats_prepared_context(
      index, key, commune_constraint ? std::max(k, kConstrainedMainK) : k, std::nullopt,
      de.street_key_hint);
  if (commune_constraint) {
    std::erase_if(main, [&](const ScoredHit& r) {
      return norm::normalize(r.first.commune) != *commune_constraint;
    });
    if (main.size() > k) main.resize(k);
  }
  if (!recursed && country == "it" && !has_exact_street_in_exact_commune(main)) {
    if (auto answer = it_place_probe(index, split_spaces(key), k)) return std::move(*answer);
  }
  if (!main.empty()) {
    return recursed ? main : with_city_first_retry(index, key, k, std::move(main));
  }
  if (commune_constraint) return {};

  if (auto unglued = unglue_variant(key)) {
    const std::string folded = fold_units(*unglued);
    Rows rows = ask_core(index, folded, k);
    if (!rows.empty()) return with_city_first_retry(index, folded, k, std::move(rows));
  }
  if (auto rows = try_transliterations(index, key, k)) return std::move(*rows);

  const Words words = split_spaces(key);
  if (!recursed) {
    if (const size_t affixes = leading_affix_count(words); affixes > 0) {
      Rows rows = query_feats_d(index, join_range(words, affixes, words.size()), k, true, de);
      if (!rows.empty()) return rows;
    }
  }

  std::optional<Rows> deferred;
  if (auto rows = prefix_drop(index, words, k, de, deferred)) return std::move(*rows);
  if (country == "it") {
    if (auto rows = it_trailing_commune(index, words, deferred)) return std::move(*rows);
  }
  if (auto rows = suffix_drop(index, words, k, de, deferred)) return std::move(*rows);
  if (deferred) return std::move(*deferred);
  return place_mentions(index, q, key);
}


}  // namespace vorlane::query
