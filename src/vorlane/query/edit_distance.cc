// Character edit distance with two rows of counters (the shorter work
// buffer is the second sequence plus one), and UTF-8 to scalar values.
#include "vorlane/query/edit_distance.h"

#include <algorithm>
#include <vector>

#include "vorlane/base/utf8.h"

namespace vorlane::query {

size_t lev(std::u32string_view a, std::u32string_view b) {
  if (a.empty()) return b.size();
  if (b.empty()) return a.size();
  std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    cur[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t substitute = prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      cur[j] = std::min({substitute, cur[j - 1] + 1, prev[j] + 1});
    }
    std::swap(prev, cur);
  }
  return prev[b.size()];
}

std::u32string chars_of(std::string_view text) { return utf8::decode_scalars(text); }

}  // namespace vorlane::query
