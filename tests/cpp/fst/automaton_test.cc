// Searches driven by automata: the built-in ones, the prefix adapter's
// "done" semantics, the optional end-of-key hook, pruning by can_match,
// streams outliving the Map object, and streams allocating only as their
// buffers grow (counted through the global allocation functions this test
// binary replaces).
#include <gtest/gtest.h>

#include "fst_test_util.h"
#include "support/alloc_counter.h"

namespace vorlane::fst {
namespace {

using namespace vorlane::fst::testing;
using vorlane::testing::allocation_count;
using Keep = std::function<bool(const std::string&)>;

// Matches after exactly `n` bytes; never prunes.
struct LengthIs {
  using State = size_t;
  size_t n;
  State start() const { return 0; }
  bool is_match(State s) const { return s == n; }
  bool can_match(State) const { return true; }
  bool will_always_match(State) const { return false; }
  State accept(State s, uint8_t) const { return s + 1; }
};

// Matches keys of even length, decided only at the end of a key.
struct EvenLengthAtEof : LengthIs {
  static constexpr State kAtEof = SIZE_MAX;
  bool is_match(State s) const { return s == kAtEof; }
  std::optional<State> accept_eof(State s) const { return s % 2 == 0 ? kAtEof : s; }
};

// Str, counting the bytes fed to it.
struct CountingStr : Str {
  CountingStr(std::string_view pattern, size_t* counter) : Str(pattern), accepted(counter) {}
  size_t* accepted;
  State accept(State s, uint8_t b) const {
    ++*accepted;
    return Str::accept(s, b);
  }
};

class Search : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = golden_bytes("rand_mid");
    entries_ = golden_entries("rand_mid");
    std::optional<Map> m = open_or_fail(bytes_);
    ASSERT_TRUE(m);
    map_.emplace(std::move(*m));
  }
  Entries all(const Keep& keep) const {
    return brute_force(entries_, std::nullopt, std::nullopt, keep);
  }
  Bytes bytes_;
  Entries entries_;
  std::optional<Map> map_;
};

TEST_F(Search, AgreesWithBruteForce) {
  for (size_t i = 0; i < entries_.size(); i += 97) {
    auto s = map_->search(Str(entries_[i].first));
    EXPECT_EQ(collect(s), Entries{entries_[i]});
    auto missing = map_->search(Str(entries_[i].first + '\x01'));
    EXPECT_FALSE(missing.next());
  }
  // StartsWith is done after the first match: every longer key matches too.
  for (size_t n : {0, 1, 3, 5}) {
    auto exact = map_->search(LengthIs{n});
    EXPECT_EQ(collect(exact), all([n](const std::string& k) { return k.size() == n; })) << n;
    auto at_least = map_->search(StartsWith(LengthIs{n}));
    EXPECT_EQ(collect(at_least), all([n](const std::string& k) { return k.size() >= n; })) << n;
  }
  const std::string ge = entries_[entries_.size() / 3].first;
  const std::string lt = entries_[2 * entries_.size() / 3].first;
  auto ranged = map_->search(StartsWith(LengthIs{4}), view(ge), view(lt));
  EXPECT_EQ(collect(ranged),
            brute_force(entries_, ge, lt, [](const std::string& k) { return k.size() >= 4; }));
  auto at_eof = map_->search(EvenLengthAtEof{});
  EXPECT_EQ(collect(at_eof),
            all([](const std::string& k) { return k.size() % 2 == 0; }));
}

TEST_F(Search, DeadBranchesAreNotWalked) {
  const std::string prefix = entries_[entries_.size() / 2].first.substr(0, 3);
  size_t accepted = 0;
  auto s = map_->search(StartsWith(CountingStr(prefix, &accepted)));
  EXPECT_EQ(collect(s), all([&](const std::string& k) { return k.starts_with(prefix); }));
  // Unpruned, every transition of the map (thousands) would be fed; pruned,
  // only the siblings along the prefix path, at most 256 per byte.
  EXPECT_LE(accepted, 256 * (prefix.size() + 1));
  EXPECT_GT(accepted, 0u);
}

TEST_F(Search, StreamOutlivesTheMapObject) {
  auto s = map_->stream();
  map_.reset();
  EXPECT_EQ(collect(s), entries_);
}

TEST_F(Search, StreamsAllocateAmortisedNotPerKey) {
  const size_t before = allocation_count.load();
  size_t keys = 0;
  auto all = map_->stream();
  while (all.next()) ++keys;
  auto prefix = map_->search(StartsWith(Str(entries_[100].first.substr(0, 1))),
                             view(entries_[50].first), std::nullopt);
  while (prefix.next()) ++keys;
  for (const auto& [key, value] : entries_) (void)map_->get(key);
  const size_t allocations = allocation_count.load() - before;
  EXPECT_GT(keys, entries_.size());
  // Two streams: a few doublings of the stack, key buffer, bound and pattern
  // (and at least one, or the counter is not counting).
  EXPECT_GT(allocations, 0u);
  EXPECT_LT(allocations, 40u);
}

}  // namespace
}  // namespace vorlane::fst
