// The per-thread automaton cache: hits, refused builds, wholesale clearing
// at capacity, automata outliving their entry, and per-thread separation.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "vorlane/levenshtein/lev_cache.h"

namespace vorlane::query {
namespace {

using levenshtein::Levenshtein;

class LevCache : public ::testing::Test {
 protected:
  void SetUp() override { clear_lev_cache(); }
  void TearDown() override { clear_lev_cache(); }
};

TEST_F(LevCache, BuildsOncePerTextAndDistance) {
  const std::shared_ptr<const Levenshtein> a = cached_levenshtein("hauptstr", 1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->query(), "hauptstr");
  EXPECT_EQ(a->dist(), 1u);
  EXPECT_EQ(cached_levenshtein("hauptstr", 1), a);
  EXPECT_EQ(lev_cache_testing::size(), 1u);

  const std::shared_ptr<const Levenshtein> b = cached_levenshtein("hauptstr", 2);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(b, a);
  EXPECT_EQ(b->dist(), 2u);
  EXPECT_EQ(lev_cache_testing::size(), 2u);
}

TEST_F(LevCache, RemembersARefusedBuild) {
  const std::string too_big = "abcdefghijklmnopqrst";
  EXPECT_EQ(cached_levenshtein(too_big, 3), nullptr);
  EXPECT_EQ(lev_cache_testing::size(), 1u);
  EXPECT_EQ(cached_levenshtein(too_big, 3), nullptr);
  EXPECT_EQ(lev_cache_testing::size(), 1u);
  EXPECT_NE(cached_levenshtein(too_big, 0), nullptr);
}

TEST_F(LevCache, EmptiesWholeWhenANewEntryWouldPassCapacity) {
  const std::shared_ptr<const Levenshtein> first = cached_levenshtein("key0", 1);
  for (size_t i = 1; i < kLevCacheCapacity; ++i) cached_levenshtein("key" + std::to_string(i), 1);
  EXPECT_EQ(lev_cache_testing::size(), kLevCacheCapacity);
  // A hit on a full cache changes nothing.
  EXPECT_EQ(cached_levenshtein("key0", 1), first);
  EXPECT_EQ(lev_cache_testing::size(), kLevCacheCapacity);

  const std::shared_ptr<const Levenshtein> next = cached_levenshtein("one more", 1);
  EXPECT_EQ(lev_cache_testing::size(), 1u);
  EXPECT_EQ(cached_levenshtein("one more", 1), next);
  // The old entries are gone: the same text is built afresh.
  EXPECT_NE(cached_levenshtein("key0", 1), first);
  EXPECT_EQ(lev_cache_testing::size(), 2u);
}

TEST_F(LevCache, AutomataOutliveTheirEntry) {
  const std::shared_ptr<const Levenshtein> held = cached_levenshtein("bahnhofstr", 1);
  ASSERT_NE(held, nullptr);
  clear_lev_cache();
  EXPECT_EQ(lev_cache_testing::size(), 0u);
  EXPECT_EQ(held.use_count(), 1);
  EXPECT_TRUE(held->matches("bahnhofst"));
  EXPECT_FALSE(held->matches("rathausstr"));
}

TEST_F(LevCache, EachThreadHasItsOwnCache) {
  const std::shared_ptr<const Levenshtein> mine = cached_levenshtein("hauptstr", 1);
  size_t other_size_before = 99;
  size_t other_size_after = 99;
  bool other_built_its_own = false;
  std::thread other([&] {
    other_size_before = lev_cache_testing::size();
    other_built_its_own = cached_levenshtein("hauptstr", 1) != mine;
    cached_levenshtein("marktplatz", 1);
    other_size_after = lev_cache_testing::size();
    clear_lev_cache();
  });
  other.join();
  EXPECT_EQ(other_size_before, 0u);
  EXPECT_EQ(other_size_after, 2u);
  EXPECT_TRUE(other_built_its_own);
  EXPECT_EQ(lev_cache_testing::size(), 1u);
  EXPECT_EQ(cached_levenshtein("hauptstr", 1), mine);
}

}  // namespace
}  // namespace vorlane::query
