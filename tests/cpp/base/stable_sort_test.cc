#include "vorlane/base/stable_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace vorlane {
namespace {

TEST(StableSortAny, ShortListsComeOutInInsertionSortOrder) {
  // A 3-cycle: 0 before 1, 1 before 2, 2 before 0.
  std::vector<int> v = {0, 2, 1, 0, 2};
  stable_sort_any(std::span(v), [](int a, int b) { return b == (a + 1) % 3; });
  EXPECT_EQ(v, (std::vector<int>{2, 0, 0, 1, 2}));
}

TEST(StableSortAny, AnyComparatorGivesAPermutation) {
  for (size_t n : {21u, 31u, 200u}) {
    std::vector<uint32_t> v(n);
    std::iota(v.begin(), v.end(), 0u);
    std::reverse(v.begin(), v.end());
    stable_sort_any(std::span(v), [](uint32_t a, uint32_t b) { return (a * 7 + b * 13) % 5 < 2; });
    std::vector<uint32_t> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(sorted[i], i) << n;
  }
}

TEST(StableSortAny, StableUnderAStrictWeakOrder) {
  std::vector<std::pair<int, int>> v;
  for (int i = 0; i < 100; ++i) v.emplace_back((i * 37) % 7, i);
  std::vector<std::pair<int, int>> expected = v;
  const auto by_key = [](const auto& a, const auto& b) { return a.first < b.first; };
  std::stable_sort(expected.begin(), expected.end(), by_key);
  stable_sort_any(std::span(v), by_key);
  EXPECT_EQ(v, expected);
}

}  // namespace
}  // namespace vorlane
