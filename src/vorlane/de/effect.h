// The one-byte tag a German rewrite step leaves beside the text it made, so
// that an answer found through a rewritten text can say how the query was
// read. Lists of tags keep the order the steps ran in and may repeat a tag.
#pragma once

#include <cstdint>

namespace vorlane::de {

enum class Effect : uint8_t {
  Umlaut = 0,                   // umlaut or sharp-s spelling changed
  CityAlias = 1,                // commune alias of the rules; row names the commune
  OfficialCommuneAlias = 2,     // commune spelling replaced by its official form
  Abbrev = 3,                   // abbreviation replaced or expanded
  AdminTail = 4,                // text cut before an administrative word
  RecipientPrefix = 5,          // leading recipient field removed
  SubaddressTail = 6,           // trailing floor or telephone field removed
  ParentheticalSubaddress = 7,  // parenthesised sub-address removed
  AddressField = 8,             // three comma fields reduced to address and postcode
  LocalityFirst = 9,            // locality-first input reordered
  MissingPostcodeComma = 10,    // comma before the postcode restored
  Country = 11,                 // country words removed
  HouseRange = 12,              // house-number range rewritten
  HouseSlash = 13,              // slash half of a house number written as a half number
  CountryPostcode = 14,         // "d"/"de" country prefix removed before a postcode
  Postcode = 15,                // four-digit postcode given its leading zero
};

inline constexpr uint8_t kEffectCount = 16;

}  // namespace vorlane::de
