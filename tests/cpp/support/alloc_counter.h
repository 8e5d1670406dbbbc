// Counts the calls of the global operator new in one test binary by
// replacing the global allocation functions (count, then malloc and free).
// Include this header from exactly ONE source file of a test binary: the
// replacements must be defined once, and they cannot live in the support
// library, whose archive member would be linked into every test binary
// that allocates (taking the sanitizer's own operator new from all of them).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace vorlane::testing {
inline std::atomic<size_t> allocation_count{0};
}  // namespace vorlane::testing

// GCC cannot see that the pointer given to free came from this operator new.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  vorlane::testing::allocation_count.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
// The nothrow form too (std::stable_sort's buffer), so that no block from
// a sanitizer's own operator new reaches the free() above.
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  vorlane::testing::allocation_count.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n == 0 ? 1 : n);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop
