#include "vorlane/de/query_shape.h"

#include <span>
#include <vector>

#include "vorlane/base/strings.h"
#include "vorlane/de/chars.h"
#include "vorlane/de/text.h"

namespace vorlane::de {

std::optional<StreetHousePostcode> street_house_postcode_shape(std::string_view query) {
  constexpr size_t kMaxBytes = 256;
  if (query.size() > kMaxBytes || trim_white_space(query).size() != query.size() ||
      has_any_of(query, "\t\n\r;|")) {
    return std::nullopt;
  }
  const std::vector<std::string_view> fields = comma_fields(query);
  if (fields.size() != 2 || fields[0].empty() || fields[1].empty()) return std::nullopt;
  const auto split = split_at_last_white_space(fields[0]);
  if (!split) return std::nullopt;
  StreetHousePostcode shape;
  shape.street = trim_end_white_space(split->first);
  shape.house = trim_white_space(split->second);
  if (shape.street.empty() || !contains_letter(shape.street) || has_digit(shape.street)) {
    return std::nullopt;
  }
  const std::vector<std::string_view> words = split_white_space(fields[1]);
  if (words.front().size() != 5 || !all_digits(words.front())) return std::nullopt;
  shape.postcode = words.front();
  join_words_into(shape.locality, std::span(words).subspan(1));
  return shape;
}

bool is_plain_house_token(std::string_view token, bool letter_allowed) {
  if (letter_allowed && !token.empty() && is_ascii_letter_byte(token.back())) {
    token.remove_suffix(1);
  }
  return !token.empty() && token.size() <= 4 && token[0] != '0' && all_digits(token);
}

}  // namespace vorlane::de
