// The per-thread automaton cache: hits, refused builds, wholesale clearing
// at capacity, and per-thread separation.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "vorlane/levenshtein/lev_cache.h"

namespace vorlane::query {
namespace {

using levenshtein::Levenshtein;
using lev_cache_testing::size;

class LevCache : public ::testing::Test {
 protected:
  void SetUp() override { clear_lev_cache(); }
  void TearDown() override { clear_lev_cache(); }
};

TEST_F(LevCache, OneEntryPerTextAndDistanceIncludingRefusedBuilds) {
  const std::shared_ptr<const Levenshtein> a = cached_levenshtein("hauptstr", 1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->query(), "hauptstr");
  EXPECT_EQ(cached_levenshtein("hauptstr", 1), a);
  EXPECT_EQ(cached_levenshtein("hauptstr", 2)->dist(), 2u);
  EXPECT_EQ(size(), 2u);

  const std::string too_big = "abcdefghijklmnopqrst";
  EXPECT_EQ(cached_levenshtein(too_big, 3), nullptr);
  EXPECT_EQ(cached_levenshtein(too_big, 3), nullptr);
  EXPECT_EQ(size(), 3u);
  EXPECT_NE(cached_levenshtein(too_big, 0), nullptr);
}

TEST_F(LevCache, EmptiesWholeWhenANewEntryWouldPassCapacity) {
  const std::shared_ptr<const Levenshtein> first = cached_levenshtein("key0", 1);
  for (size_t i = 1; i < kLevCacheCapacity; ++i) cached_levenshtein("key" + std::to_string(i), 1);
  EXPECT_EQ(cached_levenshtein("key0", 1), first);  // a hit on a full cache changes nothing
  EXPECT_EQ(size(), kLevCacheCapacity);

  const std::shared_ptr<const Levenshtein> next = cached_levenshtein("one more", 1);
  EXPECT_EQ(size(), 1u);
  EXPECT_EQ(cached_levenshtein("one more", 1), next);
  EXPECT_NE(cached_levenshtein("key0", 1), first);  // built afresh
  EXPECT_EQ(size(), 2u);
}

TEST_F(LevCache, EachThreadHasItsOwnCache) {
  const std::shared_ptr<const Levenshtein> mine = cached_levenshtein("hauptstr", 1);
  size_t other_size_before = 99;
  std::shared_ptr<const Levenshtein> theirs;
  std::thread([&] {
    other_size_before = size();
    theirs = cached_levenshtein("hauptstr", 1);
    cached_levenshtein("marktplatz", 1);
    clear_lev_cache();
  }).join();
  EXPECT_EQ(other_size_before, 0u);
  EXPECT_NE(theirs, mine);
  EXPECT_EQ(size(), 1u);  // neither the other's entries nor its clearing reached here
  EXPECT_EQ(cached_levenshtein("hauptstr", 1), mine);
}

}  // namespace
}  // namespace vorlane::query
