// The reference model of the Levenshtein tests: a plain dynamic-programming
// edit distance over characters (not bytes).
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/base/utf8.h"

namespace vorlane::levenshtein::testing {

inline std::u32string chars_of(std::string_view s) {
  std::u32string out;
  for (size_t pos = 0; pos < s.size();) {
    const utf8::Step step = utf8::decode_step(s, pos);
    out.push_back(step.scalar);
    pos += step.length;
  }
  return out;
}

// Edit distance with unit insertion, deletion and substitution.
inline size_t edit_distance(const std::u32string& a, const std::u32string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      row[j] = std::min({up + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

}  // namespace vorlane::levenshtein::testing
