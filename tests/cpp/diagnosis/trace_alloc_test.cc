// With no trace present a recorder is a test and a return: it allocates
// nothing and builds nothing. Counted through a replacement of the global
// allocation functions of this test binary (count, then malloc and free).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "vorlane/diagnosis/trace.h"
#include "vorlane/diagnosis/trace_contents.h"

namespace {
std::atomic<size_t> g_allocations{0};
}  // namespace

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

namespace vorlane::diagnosis {
namespace {

void record_everything() {
  const uint32_t ids[] = {1, 2, 3};
  hypothesis("a fairly long street text that would not fit a short string", "commune", 1, 2, 3);
  split("another fairly long street text beyond any small buffer", "commune", 1, 2);
  street(9, true, true);
  commune_lookup(kCommunesByName, "a commune name long enough to need the heap", ids);
  hit(HitReport{.street = "a street name long enough to need the heap",
                .commune = "a commune name long enough to need the heap",
                .precision = "house",
                .has_house = true,
                .score = 3.0f});
  guard("prefix_drop", 1, true, [] { return nlohmann::json{{"a long evidence key", 1}}; });
  field_form(0, true);
}

TEST(TraceAllocation, RecordersAllocateNothingWhileOff) {
  ASSERT_FALSE(enabled());
  const size_t before = g_allocations.load();
  record_everything();
  EXPECT_EQ(g_allocations.load() - before, 0u);
}

TEST(TraceAllocation, RecordersDoAllocateWhileOn) {
  // Guards the test above against counting nothing at all.
  testing::ScopedTrace scope;
  const size_t before = g_allocations.load();
  record_everything();
  EXPECT_GT(g_allocations.load() - before, 0u);
}

}  // namespace
}  // namespace vorlane::diagnosis
