// Internals of the reverse search shared with its tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "vorlane/query/index.h"

namespace vorlane::query {

// The street ids of the first square ring (radius 1, 2, 4 cells) around the
// point that holds at least 3 streets, else of the widest ring; ascending,
// unique. Cells missing, empty or running past the id array add nothing.
std::vector<uint32_t> reverse_candidate_streets(const Index& index, double lat, double lon);

// The square of flat_distance_m, before its root.
inline double flat_distance_squared(double lat, double lon, double cosine, double to_lat,
                                    double to_lon) {
  constexpr double kMetresPerDegree = 111320.0;
  const double dy = (to_lat - lat) * kMetresPerDegree;
  const double dx = (to_lon - lon) * kMetresPerDegree * cosine;
  return dy * dy + dx * dx;
}

// The distance in metres from (lat, lon) to a point on the local flat
// projection: every house is measured by exactly these operations.
inline double flat_distance_m(double lat, double lon, double cosine, double to_lat,
                              double to_lon) {
  return std::sqrt(flat_distance_squared(lat, lon, cosine, to_lat, to_lon));
}

}  // namespace vorlane::query
