// Helpers of the forward-query benchmarks: misspelt streets and latency
// percentiles.
#pragma once

#include <algorithm>
#include <random>
#include <string>
#include <vector>

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
