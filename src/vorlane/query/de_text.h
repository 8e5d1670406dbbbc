// German comparison forms and locality tests used wherever German code
// compares a query's street, locality or house number with a hit or a sheet
// name. The "product form" is stricter than the canonical form: umlauts
// spelled out, ß as "ss", everything but ASCII letters and digits a word
// break. All functions are pure and never fail.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vorlane/query/hit.h"

namespace vorlane::query {

// One audited spelling: a query locality typed with a postcode agrees with
// the commune whose core is `commune_core`. Postcodes are numbers (03222 is
// 3222).
struct DeAuditedLocalityAlias {
  std::string_view query_locality;  // canonical form
  uint32_t postcode;
  std::string_view commune_core;
};
extern const std::array<DeAuditedLocalityAlias, 31> DE_AUDITED_LOCALITY_ALIASES;

// NFC, full lower case, then ß/ä/ö/ü spelled out, ASCII letters and digits
// kept, every other character a single-space break; no space at either end.
std::string de_product_normalize_text(std::string_view text);
// The product form with a trailing "...str" written out as "...strasse".
std::string de_product_normalize_street(std::string_view text);
// A one-word street (at most 96 bytes) ending in a street-type word, as
// "stem type" with a stem of at least 3 bytes.
std::optional<std::string> de_product_normalize_compound_street(std::string_view text);

// The canonical form without whole words "stadt" at either end.
std::string de_commune_core(std::string_view name);
// The product form of a locality, with "X/Teck" and "X/Breisgau" resolved.
std::optional<std::string> de_audited_locality(std::string_view text);

struct DeAuditedPostcodeLocality {
  std::string postcode_text;  // five ASCII digits
  uint32_t postcode = 0;
  std::string locality;  // as typed, trimmed
};
// "10117 Berlin": five digits, white space, a locality with a letter and no
// digit, ',', ';' or '|'.
std::optional<DeAuditedPostcodeLocality> de_audited_postcode_locality(std::string_view text);

// 2 when the commune's core equals the canonical locality, 1 when the
// locality is a whole-word prefix of it, else 0 (also when either is empty).
uint8_t de_retained_locality_score(std::string_view locality, std::string_view commune);
// candidate == locality, or candidate continues locality with a space.
bool de_locality_is_exact_or_query_prefix(std::string_view locality, std::string_view candidate);
// Equal, or one continues the other with a space.
bool de_p3_locality_compatible(std::string_view a, std::string_view b);
// Whether (canonical locality, postcode) is a row of the audited table.
bool de_is_exact_locality_alias_query(std::string_view locality, uint32_t postcode);

// Exactly five ASCII digits.
bool is_five_digit_postcode(std::string_view text);
// The hit's house number in product form without spaces equals `token`.
bool de_house_token_matches(const Hit& hit, std::string_view token);
// A dash with a digit-bearing word on each side ('12 - 14', '12-14').
bool de_house_range_separator(std::string_view text);

namespace detail {

// The product form through canonical composition, whatever the input.
// de_product_normalize_text skips composition when every character is below
// U+0300 (such text is already composed); tests hold the two equal.
std::string de_product_normalize_text_unicode(std::string_view text);

}  // namespace detail

}  // namespace vorlane::query
