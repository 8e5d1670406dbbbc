// The batch pool and run loop without an interpreter; these also run under
// ThreadSanitizer (make test-tsan).
#include "vorlane/py/batch_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vorlane::py::batch_pool {
namespace {

// Every index is run exactly once and its result lands in its own slot.
void expect_indexed_map(Pool& pool, size_t count) {
  std::vector<uint64_t> out(count, 0);
  std::vector<std::atomic<int>> runs(count);
  pool.map(count, [&](size_t i) {
    out[i] = i * i + 1;
    runs[i].fetch_add(1, std::memory_order_relaxed);
  });
  for (size_t i = 0; i < count; ++i) {
    ASSERT_EQ(out[i], i * i + 1) << i;
    ASSERT_EQ(runs[i].load(), 1) << i;
  }
}

TEST(BatchPool, MapsEveryIndexOnceIntoItsSlot) {
  const auto pool = Pool::start(4);
  ASSERT_TRUE(pool);
  EXPECT_EQ(pool->thread_count(), 4u);
  for (const size_t count : {0, 1, 4, 5, 100'000}) expect_indexed_map(*pool, count);
  const auto single = Pool::start(1);
  ASSERT_TRUE(single);
  expect_indexed_map(*single, 3000);
}

TEST(BatchPool, SeveralCallersShareTheWorkers) {
  const auto pool = Pool::start(3);
  ASSERT_TRUE(pool);
  std::vector<std::thread> callers;
  for (int c = 0; c < 4; ++c) {
    callers.emplace_back([&] {
      for (int round = 0; round < 20; ++round) expect_indexed_map(*pool, 777);
    });
  }
  for (std::thread& t : callers) t.join();
}

TEST(BatchPool, AFailureReachesOnlyItsCallerAndThePoolGoesOn) {
  const auto pool = Pool::start(4);
  ASSERT_TRUE(pool);
  std::thread other([&] {
    for (int round = 0; round < 50; ++round) expect_indexed_map(*pool, 500);
  });
  for (int round = 0; round < 20; ++round) {
    EXPECT_THROW(pool->map(10'000,
                           [&](size_t i) {
                             if (i == 700) throw std::runtime_error("task failed");
                           }),
                 std::runtime_error);
  }
  other.join();
  expect_indexed_map(*pool, 2000);
}

TEST(BatchPool, ThreadCountRule) {
  const std::vector<std::pair<const char*, size_t>> env_cases = {
      {"0", 1}, {"+4", 4}, {"7", 7}, {"18446744073709551615", SIZE_MAX},
      // Refused: the processor rule applies (8 online -> 6).
      {" 4", 6}, {"4 ", 6}, {"-1", 6}, {"four", 6}, {"", 6}, {"+", 6}, {"++4", 6},
      {"18446744073709551616", 6}, {"4\xc3\xa9", 6},
  };
  for (const auto& [env, expected] : env_cases) EXPECT_EQ(thread_count(env, 8), expected) << env;
  const std::vector<std::pair<long, size_t>> processor_cases = {
      {8, 6}, {3, 1}, {2, 1}, {1, 1}, {0, 2}, {-1, 2}};
  for (const auto& [online, expected] : processor_cases) {
    EXPECT_EQ(thread_count(nullptr, online), expected) << online;
  }
}

TEST(BatchPool, RunLoopChecksBeforeEachRunOnly) {
  std::vector<std::pair<size_t, size_t>> mapped, converted;
  int checks = 0;
  auto record = [](std::vector<std::pair<size_t, size_t>>& to) {
    return [&to](size_t first, size_t m) { to.emplace_back(first, m); return true; };
  };
  auto map_run = [&](size_t first, size_t m) { mapped.emplace_back(first, m); };
  EXPECT_TRUE(run_in_runs(2049, [&] { return ++checks > 0; }, map_run, record(converted)));
  const std::vector<std::pair<size_t, size_t>> runs = {{0, 1024}, {1024, 1024}, {2048, 1}};
  EXPECT_EQ(checks, 3);
  EXPECT_EQ(mapped, runs);
  EXPECT_EQ(converted, runs);

  mapped.clear();
  converted.clear();
  checks = 0;
  EXPECT_FALSE(run_in_runs(2049, [&] { return ++checks < 2; }, map_run, record(converted)));
  EXPECT_EQ(checks, 2);
  EXPECT_EQ(mapped, (std::vector<std::pair<size_t, size_t>>{{0, 1024}}));

  checks = 0;
  EXPECT_TRUE(run_in_runs(0, [&] { return ++checks > 0; }, map_run, record(converted)));
  EXPECT_EQ(checks, 0);
}

TEST(BatchPool, AcquireBuildsOnePoolPerProcess) {
  const auto first = acquire();
  ASSERT_TRUE(first);
  EXPECT_EQ(acquire(), first);
  expect_indexed_map(*first, 5000);
}

}  // namespace
}  // namespace vorlane::py::batch_pool
