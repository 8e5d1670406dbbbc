// Reading comma-field input for the street-data stages: where the requested
// commune and house number stand, and the fixed list of rewritten texts to
// retry. Pure text work over the query and the calling thread's rules
// (kind-23 settings); nothing is matched and nothing fails: a shape that does
// not fit gives no value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorlane/base/temporary_string.h"

namespace vorlane::query {

struct AddressFieldRetries {
  std::string commune;               // canonical form
  std::vector<std::string> retries;  // in table order; "" holds the place of one not to try
  uint32_t house = 0;
};

// Input of the shape "street [house], [house], ..., commune, region[, ...]"
// (the region found as a whole field or after " - "), with "enabled" = "1",
// "regions", "forms" and usable postcode shapes in the settings. The list
// has 10 entries when the house is the second field and 12 when it ends the
// first.
std::optional<AddressFieldRetries> address_field_retries(std::string_view q);

// Exactly "street, house" (the house field may carry a label and a tail
// after a dash) with "enabled" = "1": the street's matching key and the
// house number. Nothing when the house field names a region.
std::optional<std::pair<std::string, uint32_t>> cityless_field_address(std::string_view q);

// The field trimmed, without one leading number label ("nº", "n°", "n.º"
// and their capitals) and the white space after it.
std::string_view field_number_unlabel(std::string_view field);
template <TemporaryString S>
std::string_view field_number_unlabel(S&&) = delete;

// The leading ASCII digits as a number; nothing without a leading digit or
// above 32 bits.
std::optional<uint32_t> numeric_house_prefix(std::string_view text);

}  // namespace vorlane::query
