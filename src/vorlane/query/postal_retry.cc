// The third and fourth stages. Both return one of the lists the stage below
// produced, or an empty list; neither touches a row.
#include "vorlane/query/postal_retry.h"

#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/field_text.h"
#include "vorlane/query/stages.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using Rows = std::vector<ScoredHit>;

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool is_good(const Rows& rows) {
  if (rows.empty()) return false;
  const std::string_view p = rows.front().first.precision;
  return p == kPrecisionHouse || p == kPrecisionInterp || p == kPrecisionNear;
}

bool stops_postcode(char32_t c) { return c == U'-' || norm::is_numeric(c); }

// The character that ends at byte `end` (> 0), decoded backwards; U+FFFD
// when the bytes before `end` do not end a well-formed character.
char32_t char_before(std::string_view text, size_t end) {
  size_t start = end - 1;
  for (int back = 0; back < 3 && start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80;
       ++back) {
    --start;
  }
  const utf8::Step step = utf8::decode_step(text, start);
  if (!step.valid || start + step.length != end) return utf8::kReplacement;
  return step.scalar;
}

char32_t char_at(std::string_view text, size_t pos) {
  const utf8::Step step = utf8::decode_step(text, pos);
  return step.valid ? step.scalar : utf8::kReplacement;
}

bool commune_is(const Rows& rows, std::string_view city) {
  return !rows.empty() && norm::normalize(rows.front().first.commune) == city;
}

// The no-number marker of the house field, in canonical form.
bool is_no_number(std::string_view field) {
  const std::string n = norm::normalize(field);
  return n == "sn" || n == "s n";
}

bool has_ascii_digit(std::string_view text) {
  return text.find_first_of("0123456789") != std::string_view::npos;
}

struct TailCity {
  std::string_view city;
  size_t index = 0;
};

// Steps of the recogniser that find the region and the city field.
std::optional<TailCity> find_tail_city(const std::vector<std::string_view>& fields,
                                       const FieldSettings& s) {
  size_t i = fields.size() - 1;
  if (is_postcode_text(fields[i], *s.postal_digits, *s.postal_split)) {
    if (i == 0) return std::nullopt;
    i = fields.size() - 2;
  }
  if (has_list_word(*s.forms, "comma") && is_region_word(*s.regions, fields[i])) {
    if (i <= 1) return std::nullopt;
    return TailCity{fields[i - 1], i - 1};
  }
  if (!has_list_word(*s.forms, "hyphen")) return std::nullopt;
  const size_t dash = fields[i].rfind(" - ");
  if (dash == std::string_view::npos) return std::nullopt;
  if (!is_region_word(*s.regions, de::trim_white_space(fields[i].substr(dash + 3)))) {
    return std::nullopt;
  }
  if (i == 0) return std::nullopt;
  return TailCity{de::trim_white_space(fields[i].substr(0, dash)), i};
}

}  // namespace

std::optional<std::string> hyphenate_postcodes(std::string_view q, uint64_t digits,
                                               uint64_t split) {
  std::string out;
  size_t copied = 0;
  bool rewritten = false;
  for (size_t pos = 0; pos < q.size();) {
    if (!is_ascii_digit(q[pos])) {
      ++pos;
      continue;
    }
    const size_t start = pos;
    while (pos < q.size() && is_ascii_digit(q[pos])) ++pos;
    if (pos - start != digits) continue;
    if (start > 0 && stops_postcode(char_before(q, start))) continue;
    if (pos < q.size() && stops_postcode(char_at(q, pos))) continue;
    out.append(q.substr(copied, start + split - copied));
    out.push_back('-');
    copied = start + split;
    rewritten = true;
  }
  if (!rewritten) return std::nullopt;
  out.append(q.substr(copied));
  return out;
}

std::optional<CityTail> city_tail(std::string_view q) {
  const FieldSettings s = field_settings(rules::current());
  if (!s.enabled || !s.regions || !s.forms || !s.has_postal_shape()) return std::nullopt;
  const std::vector<std::string_view> fields = split_fields(q);
  const std::optional<TailCity> tail = find_tail_city(fields, s);
  if (!tail || !is_plain_place_name(tail->city, true)) return std::nullopt;
  CityTail out{norm::normalize(tail->city), std::nullopt};
  if (tail->index == 3 && !fields[0].empty() && !fields[2].empty() &&
      (has_ascii_digit(fields[1]) || is_no_number(fields[1]))) {
    std::vector<std::string_view> kept = fields;
    kept.erase(kept.begin() + 2);
    out.retry_query = join_texts(kept, ", ");
  }
  return out;
}

std::vector<ScoredHit> query_feats_postal_retry(const Index& index, std::string_view q, size_t k) {
  Rows hits = query_feats_city_tail(index, q, k);
  if (is_good(hits)) return hits;
  const FieldSettings s = field_settings(rules::current());
  if (!s.enabled || !s.has_postal_shape()) return hits;
  const uint64_t digits = *s.postal_digits;
  const uint64_t split = *s.postal_split;
  if (split == 0 || split >= digits || q.empty()) return hits;
  const std::optional<std::string> rewritten = hyphenate_postcodes(q, digits, split);
  if (!rewritten) return hits;
  Rows retry = query_feats_city_tail(index, *rewritten, k);
  return retry.empty() ? hits : retry;
}

std::vector<ScoredHit> query_feats_city_tail(const Index& index, std::string_view q, size_t k) {
  Rows hits = query_feats_country_variants(index, q, k);
  const std::optional<CityTail> tail = city_tail(q);
  if (!tail || is_good(hits)) return hits;
  if (tail->retry_query) {
    Rows retry = query_feats_country_variants(index, *tail->retry_query, k);
    if (commune_is(retry, tail->city)) return retry;
  }
  if (commune_is(hits, tail->city)) return hits;
  return {};
}

}  // namespace vorlane::query
