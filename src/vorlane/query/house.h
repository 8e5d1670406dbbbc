// The result of looking one house number up in a street's house list.
#pragma once

#include <cstdint>

namespace vorlane::query {

enum class HouseMatchKind : uint8_t {
  Nearest = 0,       // the nearest house by number, returned as itself
  NumberOnly = 1,    // the number exists with another suffix
  Exact = 2,         // number and suffix
  Interpolated = 3,  // between two neighbours
};

struct HouseMatch {
  double lat = 0.0;  // degrees
  double lon = 0.0;
  uint32_t number = 0;     // the number to show
  uint32_t suffix_id = 0;  // the suffix to show (0 = none)
  HouseMatchKind kind = HouseMatchKind::Nearest;
  uint32_t postcode_ref = 0;  // names offset of the house's postcode; 0 = none
};

}  // namespace vorlane::query
