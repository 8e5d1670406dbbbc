// The first two stages. The base stage runs the postal retry and improves a
// weak answer from the comma fields (retry texts, a city-less street and
// house, street-type variants looked up exactly); the first stage, only
// when the base stage found nothing, drops a configured leading field,
// inserts commas, reads "street, house place" input, and looks streets up
// by their title key. Rows built here come from make_hit and
// field_house_from_ids; rows passed on are never changed.
#include "vorlane/query/street_data.h"

#include <algorithm>
#include <bit>

#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/diagnosis/trace.h"
#include "vorlane/levenshtein/lev_cache.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/field_retries.h"
#include "vorlane/query/field_text.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"
#include "vorlane/query/stages.h"
#include "vorlane/query/street_types.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using Rows = std::vector<ScoredHit>;

bool has_flag(const Hit& hit, std::string_view flag) {
  return std::find(hit.flags.begin(), hit.flags.end(), flag) != hit.flags.end();
}

bool house_number_is(const Hit& hit, uint32_t house) {
  return hit.housenumber && numeric_house_prefix(*hit.housenumber) == house;
}

bool top_is_house(const Rows& rows, uint32_t house) {
  return !rows.empty() && rows.front().first.precision == kPrecisionHouse &&
         house_number_is(rows.front().first, house);
}

bool commune_is(const Hit& hit, std::string_view commune) {
  return norm::normalize(hit.commune) == commune;
}

// The first stage's test of a rewritten query's answer: a matched street's
// house with the requested number, in the requested commune when one is
// given.
bool accepts(const Rows& rows, uint32_t house, std::optional<std::string_view> commune) {
  if (!top_is_house(rows, house)) return false;
  const Hit& top = rows.front().first;
  return (has_flag(top, "street_exact") || has_flag(top, "street_fuzzy")) &&
         (!commune || commune_is(top, *commune));
}

// ---- Base stage ----

bool keeps_field_answer(const Rows& rows, const AddressFieldRetries& fields) {
  if (rows.empty()) return false;
  const Hit& top = rows.front().first;
  if (top.precision == kPrecisionHouse) return true;
  return (top.precision == kPrecisionNear || top.precision == kPrecisionInterp) &&
         commune_is(top, fields.commune);
}

Rows with_field_retries(const Index& index, size_t k, const AddressFieldRetries& fields,
                        Rows rows) {
  if (keeps_field_answer(rows, fields)) return rows;
  for (size_t i = 0; i < fields.retries.size(); ++i) {
    if (fields.retries[i].empty()) continue;
    Rows retry = query_feats_postal_retry(index, fields.retries[i], k);
    const bool accepted = top_is_house(retry, fields.house) &&
                          commune_is(retry.front().first, fields.commune);
    diagnosis::field_form(i, accepted);
    if (accepted) return retry;
  }
  return rows;
}

Rows with_cityless_street(const Index& index, std::string_view q, Rows rows) {
  if (!rows.empty() && rows.front().first.precision == kPrecisionHouse) return rows;
  const auto street = cityless_field_address(q);
  if (!street) return rows;
  const StreetTypeAliases aliases = field_street_type_aliases();
  const std::string key = field_street_type_key(street->first, aliases);
  const std::span<const uint32_t> ids = streets_by_field_key_map(index, aliases).find(key);
  if (std::optional<ScoredHit> row = index.field_house_from_ids(ids, street->second)) {
    return Rows{std::move(*row)};
  }
  return rows;
}

struct StreetAndHouse {
  std::string_view street;
  std::string_view house;
  bool house_in_second_field = false;
};

std::optional<StreetAndHouse> street_and_house(const std::vector<std::string_view>& fields) {
  const std::string_view second = de::trim_white_space(cut_before(fields[1], " - "));
  if (is_house_token(second)) return StreetAndHouse{fields[0], second, true};
  const auto split = de::split_at_last_white_space(fields[0]);
  if (split && is_house_token(split->second)) {
    return StreetAndHouse{split->first, split->second, false};
  }
  return std::nullopt;
}

// The requested commune: the structured fields' one, else the last field of
// "street house, commune" or "street, house, commune".
std::optional<std::string> variant_commune(const std::optional<AddressFieldRetries>& retries,
                                           const std::vector<std::string_view>& fields,
                                           bool house_in_second_field) {
  if (retries) return retries->commune;
  const bool shaped = fields.size() == (house_in_second_field ? 3 : 2);
  if (!shaped || !is_plain_place_name(fields.back(), false)) return std::nullopt;
  return norm::normalize(fields.back());
}

// The commune code as it ends a street key: the stored bytes up to the
// first NUL; empty when they are not UTF-8.
std::string_view street_key_code(const Index& index, uint32_t commune) {
  std::string_view code = index.commune(commune).code;
  code = code.substr(0, code.find('\0'));
  return utf8::is_valid(code) ? code : std::string_view();
}

// Orders floats as Rust's total_cmp: -NaN < -inf < ... < -0 < +0 < ... <
// +inf < NaN.
int32_t total_order_key(float value) {
  const auto bits = std::bit_cast<int32_t>(value);
  return bits < 0 ? bits ^ 0x7FFFFFFF : bits;
}

bool ranks_before(const RankedHit& a, const RankedHit& b) {
  const int32_t sa = total_order_key(a.hit.score), sb = total_order_key(b.hit.score);
  if (sa != sb) return sa > sb;
  if (a.street_similarity != b.street_similarity) return a.street_similarity > b.street_similarity;
  if (a.house_distance != b.house_distance) return a.house_distance < b.house_distance;
  if (a.commune_weight != b.commune_weight) return a.commune_weight > b.commune_weight;
  return a.street_id < b.street_id;
}

std::vector<std::u32string> word_chars(std::string_view text) {
  std::vector<std::u32string> out;
  for (const std::string_view w : split_words(text)) out.push_back(utf8::decode_scalars(w));
  return out;
}

struct VariantRequest {
  std::string commune;  // canonical
  std::vector<uint32_t> commune_ids;
  uint32_t house = 0;
  uint32_t suffix_id = 0;
};

// The houses of one street variant in the requested communes, found by
// exact street key.
std::vector<RankedHit> variant_houses(const Index& index, const std::string& variant,
                                      const VariantRequest& request) {
  const std::vector<std::u32string> words = word_chars(variant);
  std::vector<RankedHit> found;
  for (const uint32_t commune : request.commune_ids) {
    const std::string key = variant + '\x1F' + std::string(street_key_code(index, commune));
    const std::optional<uint64_t> street = index.street_key_fst.get(key);
    // The dictionary's values are not checked against the street table at
    // open: a value past it must not wrap onto a real street.
    if (!street || *street >= index.street_count()) continue;
    MatchInfo m;
    m.street_exact = true;
    m.commune_exact = true;
    RankedHit row = index.make_hit(static_cast<uint32_t>(*street), m, true, request.house,
                                   request.suffix_id, false, 0, words);
    if (row.hit.precision == kPrecisionHouse && house_number_is(row.hit, request.house) &&
        commune_is(row.hit, request.commune)) {
      found.push_back(std::move(row));
    }
  }
  return found;
}

Rows ranked_rows(std::vector<RankedHit> found, size_t k) {
  std::stable_sort(found.begin(), found.end(), ranks_before);
  if (found.size() > k) found.resize(k);
  Rows rows;
  float floor = 0.0f;
  for (RankedHit& r : found) {
    if (!rows.empty()) r.hit.confidence = std::min(r.hit.confidence, floor);
    floor = r.hit.confidence;
    rows.emplace_back(std::move(r.hit), r.features);
  }
  return rows;
}

// The street's type-word variants looked up exactly in the requested
// communes; answers only with houses of the requested number.
Rows with_street_variants(const Index& index, std::string_view q, size_t k,
                          const std::optional<AddressFieldRetries>& retries, Rows rows) {
  const std::vector<std::string_view> fields = split_fields(q);
  if (fields.size() < 2) return rows;
  const std::optional<StreetAndHouse> parts = street_and_house(fields);
  if (!parts) return rows;
  const uint32_t house = *numeric_house_prefix(parts->house);
  if (top_is_house(rows, house)) return rows;
  std::optional<std::string> commune =
      variant_commune(retries, fields, parts->house_in_second_field);
  if (!commune) return rows;

  VariantRequest request;
  request.house = house;
  request.suffix_id = house_suffix_id(index, parts->house);
  request.commune_ids = index.communes_by_name(*commune);
  request.commune = std::move(*commune);
  for (const std::string& variant : street_data_variants(norm::normalize(parts->street))) {
    Rows found = ranked_rows(variant_houses(index, variant, request), k);
    if (!found.empty()) return found;
  }
  return rows;
}

// ---- First stage ----

// The text after the first comma when the field before it is one of the
// rules' droppable leading fields (whole words).
std::optional<std::string_view> without_leading_field(std::string_view q) {
  const rules::WordSet& entries = rules::current().droppable_leading_fields();
  const size_t comma = q.find(',');
  if (entries.empty() || comma == std::string_view::npos) return std::nullopt;
  const std::string first = norm::normalize(q.substr(0, comma));
  const bool droppable = std::any_of(entries.begin(), entries.end(), [&](const std::string& e) {
    const std::string entry = norm::normalize(e);
    if (entry.empty() || !first.starts_with(entry)) return false;
    if (first.size() == entry.size()) return true;
    const utf8::Step next = utf8::decode_step(first, entry.size());
    return next.valid && norm::is_white_space(next.scalar);
  });
  const std::string_view rest = de::trim_white_space(q.substr(comma + 1));
  if (!droppable || rest.empty()) return std::nullopt;
  return rest;
}

Rows comma_insertion_retry(const Index& index, std::string_view q, size_t k) {
  const std::optional<std::string> joined = comma_fields(index, q);
  if (!joined) return {};
  if (const auto fields = address_field_retries(*joined)) {
    Rows retry = query_feats_street_data_base(index, *joined, k);
    return accepts(retry, fields->house, fields->commune) ? retry : Rows{};
  }
  if (const auto street = cityless_field_address(*joined)) {
    Rows retry = query_feats_street_data_base(index, *joined, k);
    return accepts(retry, street->second, std::nullopt) ? retry : Rows{};
  }
  return {};
}

Rows geographic_retry(const Index& index, std::string_view q, size_t k) {
  const std::optional<GeographicRetry> geo = geographic_field_retry(index, q);
  if (!geo) return {};
  const std::vector<std::string_view> fields = split_fields(geo->text);
  const std::string commune = norm::normalize(fields.back());
  const std::optional<uint32_t> house = numeric_house_prefix(fields[fields.size() - 2]);
  Rows retry = query_feats_street_data_base(index, geo->text, k);
  return house && accepts(retry, *house, commune) ? retry : Rows{};
}

struct TitleSource {
  std::string street;
  uint32_t house = 0;
  std::optional<std::string> commune;
};

std::optional<TitleSource> title_source(const Index& index, std::string_view q) {
  if (auto geo = geographic_field_retry(index, q)) {
    return TitleSource{std::string(de::trim_white_space(cut_before(geo->text, ","))), geo->house,
                       std::move(geo->commune)};
  }
  if (auto fields = address_field_retries(q)) {
    return TitleSource{std::string(de::trim_white_space(cut_before(q, ","))), fields->house,
                       std::move(fields->commune)};
  }
  if (auto street = cityless_field_address(q)) {
    return TitleSource{std::move(street->first), street->second, std::nullopt};
  }
  return std::nullopt;
}

std::string street_field_key(const Index& index, uint32_t id, const StreetTypeAliases& aliases) {
  const std::optional<StreetRecord> street = index.street(id);
  const std::string_view name = street ? index.name(street->name_offset) : std::string_view();
  return field_street_type_key(prepared_query_key(name), aliases);
}

// A street whose stored name differs from the typed one only by title
// words; answers with one house row or nothing.
Rows title_route(const Index& index, std::string_view q) {
  const std::optional<TitleSource> source = title_source(index, q);
  if (!source) return {};
  const StreetTypeAliases aliases = field_street_type_aliases();
  const std::optional<std::string> key = title_street_key(index, source->street, aliases);
  if (!key) return {};
  const std::span<const uint32_t> ids = streets_by_title_key_map(index, aliases).find(*key);
  // A typed street without title words finds its plain spelling elsewhere.
  const bool keep_field_matches =
      field_street_type_key(prepared_query_key(source->street), aliases) != *key;
  std::vector<uint32_t> kept;
  for (const uint32_t id : ids) {
    if (!keep_field_matches && street_field_key(index, id, aliases) == *key) continue;
    if (source->commune) {
      const std::optional<StreetRecord> street = index.street(id);
      const std::string_view name = street ? index.commune_name(street->commune) : "";
      if (norm::normalize(name) != *source->commune) continue;
    }
    kept.push_back(id);
  }
  if (std::optional<ScoredHit> row = index.field_house_from_ids(kept, source->house)) {
    return Rows{std::move(*row)};
  }
  return {};
}

}  // namespace

// A text without letters gets 0 without a lookup: the suffix table may file
// a suffix under "", which must not give a bare number that suffix.
uint32_t house_suffix_id(const Index& index, std::string_view house) {
  const std::string canonical = norm::normalize(house);
  const size_t digits = canonical.find_first_not_of("0123456789");
  if (digits == std::string::npos) return 0;
  const auto it = index.suffix_ids.find(canonical.substr(digits));
  return it == index.suffix_ids.end() ? 0 : it->second;
}

std::vector<ScoredHit> query_feats_street_data(const Index& index, std::string_view q, size_t k) {
  // Only the structured-field rules make a query ask the core the same
  // question twice.
  const rules::Rules& r = rules::current();
  std::optional<StreetDataMemoScope> memo;
  if (!r.stage_parameters().empty() || !r.droppable_leading_fields().empty()) memo.emplace();
  Rows rows = query_feats_street_data_base(index, q, k);
  if (!rows.empty()) return rows;
  if (const std::optional<std::string_view> rest = without_leading_field(q)) {
    rows = query_feats_street_data_base(index, *rest, k);
    if (!rows.empty()) return rows;
  }
  if (q.find(',') == std::string_view::npos) {
    rows = comma_insertion_retry(index, q, k);
    if (!rows.empty()) return rows;
  }
  rows = geographic_retry(index, q, k);
  if (!rows.empty()) return rows;
  if (index.active_rules().stage_parameters().contains("street_titles")) {
    rows = title_route(index, q);
  }
  return rows;
}

std::vector<ScoredHit> query_feats_street_data_base(const Index& index, std::string_view q,
                                                    size_t k) {
  clear_lev_cache();
  Rows rows = query_feats_postal_retry(index, q, k);
  const std::optional<AddressFieldRetries> retries = address_field_retries(q);
  if (retries) {
    rows = with_field_retries(index, k, *retries, std::move(rows));
  } else {
    rows = with_cityless_street(index, q, std::move(rows));
  }
  if (index.active_rules().street_type_pairs().empty()) return rows;
  return with_street_variants(index, q, k, retries, std::move(rows));
}

}  // namespace vorlane::query
