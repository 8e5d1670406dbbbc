// Streams allocate only while their stack and key buffer grow, never per
// key. Counted through a replacement of the global allocation functions of
// this test binary (which only count, then defer to malloc and free).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "fst_test_util.h"

namespace {
std::atomic<size_t> g_allocations{0};
}  // namespace

// The replacement pair below is malloc/free underneath; GCC cannot see that
// the pointer given to free came from this operator new.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace vorlane::fst {
namespace {

using namespace vorlane::fst::testing;

TEST(StreamAllocation, GrowsAmortisedNotPerKey) {
  const Bytes bytes = golden_bytes("rand_big");
  const Entries entries = golden_entries("rand_big");
  std::optional<Map> map = open_or_fail(bytes);
  ASSERT_TRUE(map);

  const size_t before = g_allocations.load();
  size_t keys = 0;
  auto all = map->stream();
  while (all.next()) ++keys;
  auto prefix = map->search(StartsWith(Str(entries[100].first.substr(0, 1))),
                            view(entries[50].first), std::nullopt);
  while (prefix.next()) ++keys;
  for (const auto& [key, value] : entries) (void)map->get(key);
  const size_t allocations = g_allocations.load() - before;

  EXPECT_GT(keys, entries.size());
  // Two streams: a few doublings of the stack, key buffer, bound and pattern.
  EXPECT_LT(allocations, 40u);
}

}  // namespace
}  // namespace vorlane::fst
