// A stable sort that stays memory-safe under any comparator, also one that
// is not a strict weak ordering (std::sort and std::stable_sort may read
// out of bounds then). Up to kInsertionSortMax elements it is the plain
// shift-left insertion sort, so short lists come out in exactly the order
// that sort gives for any comparator; longer ones are merge-sorted through
// a buffer. Either way the result is a permutation of the input, and
// elements the comparator never puts apart keep their order.
#pragma once

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

namespace vorlane {

inline constexpr size_t kInsertionSortMax = 20;

namespace detail {

template <typename T, typename Less>
void insertion_sort_shift_left(std::span<T> v, Less& is_less) {
  for (size_t i = 1; i < v.size(); ++i) {
    if (!is_less(v[i], v[i - 1])) continue;
    T tmp = std::move(v[i]);
    size_t hole = i;
    do {
      v[hole] = std::move(v[hole - 1]);
      --hole;
    } while (hole > 0 && is_less(tmp, v[hole - 1]));
    v[hole] = std::move(tmp);
  }
}

// Sorts v[lo, hi) using buf (at least v.size() long) as scratch.
template <typename T, typename Less>
void merge_sort(std::span<T> v, std::vector<T>& buf, size_t lo, size_t hi, Less& is_less) {
  if (hi - lo <= kInsertionSortMax) {
    insertion_sort_shift_left(v.subspan(lo, hi - lo), is_less);
    return;
  }
  const size_t mid = lo + (hi - lo) / 2;
  merge_sort(v, buf, lo, mid, is_less);
  merge_sort(v, buf, mid, hi, is_less);
  size_t a = lo;
  size_t b = mid;
  size_t out = lo;
  // The right element goes first only when strictly less: stability.
  while (a < mid && b < hi) buf[out++] = is_less(v[b], v[a]) ? std::move(v[b++]) : std::move(v[a++]);
  while (a < mid) buf[out++] = std::move(v[a++]);
  while (b < hi) buf[out++] = std::move(v[b++]);
  for (size_t i = lo; i < hi; ++i) v[i] = std::move(buf[i]);
}

}  // namespace detail

// Sorts `v` stably by `is_less(a, b)` ("a goes before b"). Requires: T is
// default-constructible and movable.
template <typename T, typename Less>
void stable_sort_any(std::span<T> v, Less is_less) {
  if (v.size() <= kInsertionSortMax) {
    detail::insertion_sort_shift_left(v, is_less);
    return;
  }
  std::vector<T> buf(v.size());
  detail::merge_sort(v, buf, 0, v.size(), is_less);
}

}  // namespace vorlane
