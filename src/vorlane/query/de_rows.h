// Small helpers the German branch uses on stage rows: feature positions,
// flag tests and appends, and the query words handed to make_hit. Internal
// to the query module.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/query/hit.h"
#include "vorlane/query/stages.h"

namespace vorlane::query::de_rows {

// Positions in a FeatureVector.
enum Feature : size_t {
  kStreetExact = 0,
  kStreetFuzzy = 1,
  kCommuneExact = 2,
  kCommunePrefix = 3,
  kPostcodeExact = 4,
  kPostcodeDept = 5,
  kHouseFound = 7,
  kHouseRep = 8,
};

inline bool has(const FeatureVector& f, Feature feature) { return feature_set(f[feature]); }
inline bool has(const ScoredHit& row, Feature feature) { return has(row.second, feature); }

inline bool has_flag(const Hit& hit, std::string_view flag) {
  return std::find(hit.flags.begin(), hit.flags.end(), flag) != hit.flags.end();
}

// Appends `flag` unless the hit carries it already.
inline void add_flag(Hit& hit, std::string_view flag) {
  if (!has_flag(hit, flag)) hit.flags.push_back(flag);
}

inline void add_flag_to_all(std::vector<ScoredHit>& rows, std::string_view flag) {
  for (ScoredHit& row : rows) add_flag(row.first, flag);
}

// The words of a street text, split at White_Space, as make_hit takes them.
inline std::vector<std::u32string> query_words(std::string_view street) {
  std::vector<std::u32string> words;
  for (const std::string_view w : de::split_white_space(street)) {
    words.push_back(utf8::decode_scalars(w));
  }
  return words;
}

}  // namespace vorlane::query::de_rows
