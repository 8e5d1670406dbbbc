// Places and commune lookups: the value a resolved place name gives, and the
// limits of the commune lookups. The lookups themselves are members of Index
// (index.h, block "Places, communes and street keys"), implemented in
// places.cc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorlane::query {

// At most this many ids come from a commune prefix lookup.
inline constexpr size_t kCommunePrefixLimit = 40;
// A prefix lookup needs at least this many alphanumeric characters.
inline constexpr size_t kCommunePrefixMinChars = 3;
// Communes farther than this from the heaviest one do not count towards a
// place's centre.
inline constexpr double kPlaceRadiusKm = 40.0;

// A resolved place: the weighted centre of the communes a name denotes.
struct Place {
  std::string name;
  double lat = 0.0;  // degrees
  double lon = 0.0;
  int32_t weight = 0;  // summed commune weights (each at least 1), saturated
  bool exact = false;  // found by exact name, not as a group of longer names
};

}  // namespace vorlane::query
