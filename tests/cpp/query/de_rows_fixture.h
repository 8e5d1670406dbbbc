// Stage rows written out for the German branch tests.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/query/hit.h"

namespace vorlane::query::testing {

struct RowSpec {
  std::string_view precision = kPrecisionHouse;
  std::vector<int> features = {};  // positions set to 1
  std::vector<std::string_view> flags = {};
  std::string street = "Hauptstraße";
  std::string commune = "Berlin";
  std::string postcode = "10115";
  std::optional<std::string> housenumber = "5";
  float score = 1.0f;
};

inline ScoredHit make_row(const RowSpec& s) {
  ScoredHit row;
  row.first.precision = s.precision;
  row.first.street = s.street;
  row.first.commune = s.commune;
  row.first.postcode = s.postcode;
  row.first.housenumber = s.housenumber;
  row.first.score = s.score;
  row.first.flags.assign(s.flags.begin(), s.flags.end());
  for (const int f : s.features) row.second[static_cast<size_t>(f)] = 1.0f;
  return row;
}

}  // namespace vorlane::query::testing
