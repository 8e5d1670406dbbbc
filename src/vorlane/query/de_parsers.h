// German rewrite flags on hits, and four strict parsers of German query
// shapes that decide whether one of the special German paths may run at
// all. The parsers read no index data: each is a pure function of the text
// exactly as typed (or as the variant generator made it), and refuses every
// shape but its own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/de/effect.h"
#include "vorlane/query/hit.h"

namespace vorlane::query {

// The hit flags of each rewrite effect, indexed by its code, in order.
extern const std::array<std::span<const std::string_view>, de::kEffectCount> DE_EFFECT_FLAGS;

// Appends to every hit, effect by effect in the given order, each flag of
// the effect that the hit does not carry yet (flags compared by content).
void annotate_de_effects(std::vector<ScoredHit>& hits, std::span<const de::Effect> effects);
void annotate_de_effects(Hit& hit, std::span<const de::Effect> effects);

// "Hauptstr. 5 (Hinterhaus), 10115 Berlin/Teck": the parenthetical
// sub-address shape whose text after the last ")," holds a '/'.
bool de_parenthetical_locality_uses_slash_qualifier(std::string_view query);

struct DeCompactHousePairSpec {
  std::string query;     // "street left PPPPP", parts as typed
  std::string locality;  // canonical, never empty
  uint32_t postcode = 0;
  uint32_t left = 0;   // at least 1
  uint32_t right = 0;  // greater than left
  de::Effect effect = de::Effect::HouseRange;  // HouseSlash when written with '/'

  bool operator==(const DeCompactHousePairSpec&) const = default;
};
// "street A-B[,] PPPPP locality", no other comma; A and B 1-4 digits.
std::optional<DeCompactHousePairSpec> de_compact_house_pair_spec(std::string_view query);

struct DeStreetLocalityQualifierSpec {
  std::string street;    // street product form, never empty
  std::string locality;  // product form, never empty
  std::string house;     // digits as typed, then the letter in ASCII lower case
  std::string postcode;  // five digits

  bool operator==(const DeStreetLocalityQualifierSpec&) const = default;
};
// "street 12a, PPPPP locality" exactly.
std::optional<DeStreetLocalityQualifierSpec> de_street_locality_qualifier_spec(
    std::string_view query);

struct DeStrictSourceStreetTypoSpec {
  std::string street;    // street product form, never empty
  std::string locality;  // product form, never empty
  std::string postcode_text;
  uint32_t house = 0;  // 1..9999
  uint32_t postcode = 0;

  bool operator==(const DeStrictSourceStreetTypoSpec&) const = default;
};
// "street 12, PPPPP locality" exactly (no house letter).
std::optional<DeStrictSourceStreetTypoSpec> de_strict_source_street_typo_spec(
    std::string_view query);

struct DeCommaPostcodeHouseRescueQuery {
  std::string text;  // "field1 PPPPP"
  uint32_t postcode = 0;
  std::string locality;  // canonical words, single spaces

  bool operator==(const DeCommaPostcodeHouseRescueQuery&) const = default;
};
// "street house, PPPPP locality[, germany|deutschland]" for a query whose
// house is neither a range nor a half number.
std::optional<DeCommaPostcodeHouseRescueQuery> de_comma_postcode_house_rescue_query(
    std::string_view query);

}  // namespace vorlane::query
