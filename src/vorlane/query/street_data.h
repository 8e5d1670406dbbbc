// The two outermost stages (declared in stages.h) and the parsers they
// share for structured input that the sheet's rules switch on: comma fields
// typed without commas, and "street, house place words..." read as
// "street, house, commune".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlane::query {

class Index;

struct GeographicRetry {
  std::string text;  // "street, house, commune"
  uint32_t house = 0;
  std::string commune;  // canonical form
};

// "street, house place..." or "street house, place...": the house number
// and the commune named among the place words, where a commune after a
// region word must repeat the one before it. Reads the index's own rules.
std::optional<GeographicRetry> geographic_field_retry(const Index& index, std::string_view q);

// A comma-less query whose leading words are a known street followed by a
// house number, cut into comma fields ("calle mayor 12 miraflores lima" ->
// "calle mayor 12, miraflores, lima"); nothing when the shape does not fit.
// Call inside a query: it may build the index's field-key street map.
std::optional<std::string> comma_fields(const Index& index, std::string_view q);

// The suffix id of a house text's letters after its leading digits; 0 for
// none and for a suffix the sheet does not know.
uint32_t house_suffix_id(const Index& index, std::string_view house);

}  // namespace vorlane::query
