// Helpers of the forward-query benchmarks: sampled addresses, misspelt
// streets, answer checks and latency percentiles.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "vorlane/query/hit.h"
#include "vorlane/query/index.h"

struct SampledAddress {
  std::string street;
  std::string commune;
  uint32_t number;
};

// `count` random houses of streets that have any; the bench sheets number
// a street's houses 1, 3, 5, ...
inline std::vector<SampledAddress> sample_addresses(const vorlane::query::Index& index,
                                             std::mt19937_64& rng, size_t count) {
  std::uniform_int_distribution<uint64_t> pick(0, index.street_count() - 1);
  std::vector<SampledAddress> out;
  while (out.size() < count) {
    const auto record = index.street(pick(rng));
    if (!record || record->house_count == 0) continue;
    const uint32_t number = 1 + 2 * static_cast<uint32_t>(rng() % record->house_count);
    out.push_back({std::string(index.name(record->name_offset)),
                   std::string(index.commune_name(record->commune)), number});
  }
  return out;
}

inline bool top_is_house(const std::vector<vorlane::query::Hit>& hits) {
  return !hits.empty() && hits[0].precision == vorlane::query::kPrecisionHouse;
}

inline bool any_answer(const std::vector<vorlane::query::Hit>&) { return true; }

// The street with one substitution inside its longest word, never the
// word's first letter; unchanged when no word has 4 letters.
inline std::string with_typo(std::string street, std::mt19937_64& rng) {
  size_t best_start = 0, best_len = 0;
  for (size_t i = 0; i < street.size();) {
    size_t j = street.find(' ', i);
    if (j == std::string::npos) j = street.size();
    if (j - i > best_len) best_start = i, best_len = j - i;
    i = j + 1;
  }
  if (best_len < 4) return street;
  const size_t at = best_start + 1 + rng() % (best_len - 1);
  street[at] = street[at] == 'q' ? 'x' : 'q';
  return street;
}

// The p-quantile (0..1) of the values, by rank. Requires: not empty.
inline double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}
