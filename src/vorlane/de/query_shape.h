// The strict one-line shape "street house, PPPPP locality" that several
// German paths insist on before they run: no stray white space at either
// end, at most 256 bytes, no tab, line break, ';' or '|', exactly two comma
// fields.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "vorlane/base/temporary_string.h"

namespace vorlane::de {

struct StreetHousePostcode {
  std::string_view street;    // non-empty, has a letter and no ASCII digit
  std::string_view house;     // the word after the first field's last white space
  std::string_view postcode;  // five ASCII digits
  std::string locality;       // the second field's other words, single spaces; may be empty
};
std::optional<StreetHousePostcode> street_house_postcode_shape(std::string_view query);
template <TemporaryString S>
std::optional<StreetHousePostcode> street_house_postcode_shape(S&&) = delete;

// One to four ASCII digits, the first not '0', then (when `letter_allowed`)
// at most one ASCII letter.
bool is_plain_house_token(std::string_view token, bool letter_allowed);

}  // namespace vorlane::de
