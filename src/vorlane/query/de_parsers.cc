// Effect flags and the German query-shape parsers. Each parser runs its
// cheap byte-level shape tests before anything that normalises or builds
// text; every cut is at an ASCII character or a White_Space boundary found
// by the scans themselves.
#include "vorlane/query/de_parsers.h"

#include <algorithm>

#include "vorlane/base/strings.h"
#include "vorlane/de/chars.h"
#include "vorlane/de/cleanups.h"
#include "vorlane/de/query_shape.h"
#include "vorlane/de/text.h"
#include "vorlane/de/variants.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/de_text.h"

namespace vorlane::query {
namespace {

using std::nullopt;
using std::string_view;

constexpr string_view kUmlaut[] = {"de_umlaut"};
constexpr string_view kCityAlias[] = {"de_city_alias"};
constexpr string_view kOfficialCommuneAlias[] = {"de_official_commune_alias"};
constexpr string_view kAbbrev[] = {"de_abbrev"};
constexpr string_view kAdminTail[] = {"de_admin_tail"};
constexpr string_view kRecipientPrefix[] = {"de_recipient_prefix"};
constexpr string_view kSubaddressTail[] = {"de_subaddress_tail"};
constexpr string_view kParentheticalSubaddress[] = {"de_parenthetical_subaddress"};
constexpr string_view kAddressField[] = {"de_address_field"};
constexpr string_view kLocalityFirst[] = {"de_locality_first"};
constexpr string_view kMissingPostcodeComma[] = {"de_missing_postcode_comma"};
constexpr string_view kCountry[] = {"de_country"};
constexpr string_view kHouseRange[] = {"de_house_range"};
constexpr string_view kHouseSlash[] = {"de_house_slash"};
constexpr string_view kCountryPostcode[] = {"de_country", "de_postcode"};
constexpr string_view kPostcode[] = {"de_postcode"};

// Digits only, at most 9 of them, so the value fits.
uint32_t digits_value(string_view digits) {
  uint32_t v = 0;
  for (const char c : digits) v = v * 10 + static_cast<uint32_t>(c - '0');
  return v;
}

bool is_house_pair_separator(char32_t c) { return c == U'/' || de::is_dash(c); }

struct HousePair {
  string_view left;
  string_view right;
  bool slash = false;
};
// "A-B" with exactly one separator and 1-4 digits on each side.
std::optional<HousePair> house_pair(string_view token) {
  std::optional<HousePair> pair;
  for (size_t pos = 0; pos < token.size();) {
    const de::CharAt ch = de::char_at(token, pos);
    if (is_house_pair_separator(ch.c)) {
      if (pair) return nullopt;
      pair = HousePair{token.substr(0, pos), token.substr(pos + ch.length), ch.c == U'/'};
    }
    pos += ch.length;
  }
  if (!pair) return nullopt;
  for (const string_view side : {pair->left, pair->right}) {
    if (side.empty() || side.size() > 4 || !de::all_digits(side)) return nullopt;
  }
  return pair;
}

// The compact-pair shape around the five-digit candidate at `at`.
std::optional<DeCompactHousePairSpec> compact_house_pair_at(string_view query, size_t at) {
  const string_view postcode = query.substr(at, 5);
  const string_view locality = de::trim_white_space(query.substr(at + 5));
  if (!de::contains_letter(locality) || de::has_digit(locality) ||
      de::has_any_of(locality, "\n\r,;|")) {
    return nullopt;
  }
  string_view head = de::trim_end_white_space(query.substr(0, at));
  if (head.ends_with(',')) head = de::trim_end_white_space(head.substr(0, head.size() - 1));
  if (head.empty() || de::has_any_of(head, "\n\r,;|")) return nullopt;
  const auto split = de::split_at_last_white_space(head);
  if (!split) return nullopt;
  const string_view street = de::trim_end_white_space(split->first);
  const string_view token = de::trim_white_space(split->second);
  if (street.empty() || !de::contains_letter(street) || token.empty()) return nullopt;
  const std::optional<HousePair> pair = house_pair(token);
  if (!pair) return nullopt;
  DeCompactHousePairSpec spec;
  spec.left = digits_value(pair->left);
  spec.right = digits_value(pair->right);
  if (spec.left < 1 || spec.right <= spec.left) return nullopt;
  spec.effect = pair->slash ? de::Effect::HouseSlash : de::Effect::HouseRange;
  spec.locality = norm::normalize(locality);
  if (spec.locality.empty()) return nullopt;
  spec.query = std::string(street) + ' ' + std::string(pair->left) + ' ' + std::string(postcode);
  spec.postcode = digits_value(postcode);
  return spec;
}

// The strict "street house, PPPPP locality" shape with a locality that has
// a letter and no digit, in product forms.
struct StrictShape {
  de::StreetHousePostcode raw;
  std::string street;
  std::string locality;
};
std::optional<StrictShape> strict_shape(string_view query, bool letter_allowed) {
  std::optional<de::StreetHousePostcode> raw = de::street_house_postcode_shape(query);
  if (!raw || !de::is_plain_house_token(raw->house, letter_allowed)) return nullopt;
  const string_view raw_locality = raw->locality;
  if (raw_locality.empty() || !de::contains_letter(raw_locality) || de::has_digit(raw_locality)) {
    return nullopt;
  }
  std::string street = de_product_normalize_street(raw->street);
  std::string locality = de_product_normalize_text(raw_locality);
  if (street.empty() || locality.empty()) return nullopt;
  return StrictShape{std::move(*raw), std::move(street), std::move(locality)};
}

}  // namespace

const std::array<std::span<const string_view>, de::kEffectCount> DE_EFFECT_FLAGS = {
    kUmlaut,          kCityAlias,   kOfficialCommuneAlias,  kAbbrev,
    kAdminTail,       kRecipientPrefix, kSubaddressTail,    kParentheticalSubaddress,
    kAddressField,    kLocalityFirst,   kMissingPostcodeComma, kCountry,
    kHouseRange,      kHouseSlash,  kCountryPostcode,       kPostcode,
};

void annotate_de_effects(Hit& hit, std::span<const de::Effect> effects) {
  std::vector<string_view>& flags = hit.flags;
  for (const de::Effect e : effects) {
    for (const string_view flag : DE_EFFECT_FLAGS[static_cast<uint8_t>(e)]) {
      if (std::find(flags.begin(), flags.end(), flag) == flags.end()) flags.push_back(flag);
    }
  }
}

void annotate_de_effects(std::vector<ScoredHit>& hits, std::span<const de::Effect> effects) {
  for (ScoredHit& row : hits) annotate_de_effects(row.first, effects);
}

bool de_parenthetical_locality_uses_slash_qualifier(string_view query) {
  if (!de::parenthetical_subaddress_raw(query)) return false;
  const size_t close = query.rfind("),");
  return close != string_view::npos && query.substr(close + 2).find('/') != string_view::npos;
}

std::optional<DeCompactHousePairSpec> de_compact_house_pair_spec(string_view query) {
  constexpr size_t kPostcodeDigits = 5;
  if (query.size() < kPostcodeDigits) return nullopt;
  for (size_t at = 0; at + kPostcodeDigits <= query.size(); ++at) {
    const size_t end = at + kPostcodeDigits;
    if (!de::all_digits(query.substr(at, kPostcodeDigits)) ||
        (at > 0 && de::is_digit_byte(query[at - 1])) ||
        (end < query.size() && de::is_digit_byte(query[end]))) {
      continue;
    }
    if (auto spec = compact_house_pair_at(query, at)) return spec;
  }
  return nullopt;
}

std::optional<DeStreetLocalityQualifierSpec> de_street_locality_qualifier_spec(
    string_view query) {
  std::optional<StrictShape> shape = strict_shape(query, /*letter_allowed=*/true);
  if (!shape) return nullopt;
  std::string house(shape->raw.house);
  if (de::is_ascii_letter_byte(house.back())) {
    house.back() = static_cast<char>(house.back() | 0x20);  // ASCII lower case
  }
  return DeStreetLocalityQualifierSpec{std::move(shape->street), std::move(shape->locality),
                                       std::move(house), std::string(shape->raw.postcode)};
}

std::optional<DeStrictSourceStreetTypoSpec> de_strict_source_street_typo_spec(
    string_view query) {
  std::optional<StrictShape> shape = strict_shape(query, /*letter_allowed=*/false);
  if (!shape) return nullopt;
  return DeStrictSourceStreetTypoSpec{std::move(shape->street), std::move(shape->locality),
                                      std::string(shape->raw.postcode),
                                      digits_value(shape->raw.house),
                                      digits_value(shape->raw.postcode)};
}

std::optional<DeCommaPostcodeHouseRescueQuery> de_comma_postcode_house_rescue_query(
    string_view query) {
  const std::vector<string_view> fields = de::comma_fields(query);
  if (fields.size() < 2 || fields.size() > 3 || fields[0].empty() || fields[1].empty()) {
    return nullopt;
  }
  const auto vetoes_third_field = [](string_view field) {
    const std::string country = norm::normalize(field);
    return country != "germany" && country != "deutschland";
  };
  if (fields.size() == 3 && vetoes_third_field(fields[2])) return nullopt;
  if (de::has_any_of(fields[0], "/") || de_house_range_separator(fields[0])) return nullopt;
  const std::string area = norm::normalize(fields[1]);
  const std::vector<string_view> words = de::split_white_space(area);
  if (words.size() < 2 || !is_five_digit_postcode(words[0])) return nullopt;
  if (!de::has_digit(norm::normalize(fields[0]))) return nullopt;
  // The costly tests last: both rebuild seeds or parse the whole query.
  if (!de::postal_tail_eligible(query) || de_parenthetical_locality_uses_slash_qualifier(query)) {
    return nullopt;
  }
  DeCommaPostcodeHouseRescueQuery rescue;
  rescue.text = std::string(fields[0]) + ' ' + std::string(words[0]);
  rescue.postcode = digits_value(words[0]);
  rescue.locality = join_words(std::span(words).subspan(1));
  return rescue;
}

}  // namespace vorlane::query
