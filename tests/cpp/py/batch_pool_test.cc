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
  // Left without waiting, as when its caller fails meanwhile: the pending
  // map is waited for and its failure dropped.
  std::atomic<size_t> ran{0};
  auto failing = [&](size_t i) {
    ran.fetch_add(1, std::memory_order_relaxed);
    if (i == 0) throw std::runtime_error("task failed");
  };
  { Pool::Pending pending(*pool, 3000, failing); }
  EXPECT_GE(ran.load(), 1u);
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

// The loop's calls as "check", "start 0+1024", "finish", "convert 0+1024".
std::vector<std::string> run_loop_calls(size_t count, int passing_checks, int passing_converts) {
  std::vector<std::string> calls;
  auto span = [](const char* what, size_t first, size_t m) {
    return std::string(what) + " " + std::to_string(first) + "+" + std::to_string(m);
  };
  const bool done = run_in_runs(
      count,
      [&] {
        calls.push_back("check");
        return passing_checks-- > 0;
      },
      [&](size_t first, size_t m) { calls.push_back(span("start", first, m)); },
      [&] { calls.push_back("finish"); },
      [&](size_t first, size_t m) {
        calls.push_back(span("convert", first, m));
        return passing_converts-- > 0;
      });
  calls.push_back(done ? "done" : "stopped");
  return calls;
}

TEST(BatchPool, RunLoopChecksBeforeEachRunAndConvertsWhileTheNextIsMapped) {
  using Calls = std::vector<std::string>;
  EXPECT_EQ(run_loop_calls(2049, 9, 9),
            (Calls{"check", "start 0+1024", "finish",
                   "check", "start 1024+1024", "convert 0+1024", "finish",
                   "check", "start 2048+1", "convert 1024+1024", "finish",
                   "convert 2048+1", "done"}));
  EXPECT_EQ(run_loop_calls(2049, 1, 9),
            (Calls{"check", "start 0+1024", "finish", "check", "stopped"}));
  EXPECT_EQ(run_loop_calls(2049, 9, 0),
            (Calls{"check", "start 0+1024", "finish",
                   "check", "start 1024+1024", "convert 0+1024", "finish", "stopped"}));
  EXPECT_EQ(run_loop_calls(0, 9, 9), (Calls{"done"}));
}

TEST(BatchPool, AcquireBuildsOnePoolPerProcess) {
  const auto first = acquire();
  ASSERT_TRUE(first);
  EXPECT_EQ(acquire(), first);
  expect_indexed_map(*first, 5000);
}

}  // namespace
}  // namespace vorlane::py::batch_pool
