// Searches driven by automata: the built-in ones, the prefix adapter's
// "done" semantics, pruning by can_match, the optional end-of-key hook, and
// streams outliving the Map object.
#include <gtest/gtest.h>

#include "fst_test_util.h"

namespace vorlane::fst {
namespace {

using namespace vorlane::fst::testing;

static_assert(Automaton<AlwaysMatch>);
static_assert(Automaton<Str>);
static_assert(Automaton<StartsWith<Str>>);
static_assert(!AcceptsEof<Str>);
static_assert(!Automaton<int>);

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

// Matches keys of even, non-zero length, decided only at the end of a key.
struct EvenLengthAtEof {
  struct State {
    size_t length;
    bool at_eof;
  };
  State start() const { return {0, false}; }
  bool is_match(const State& s) const { return s.at_eof; }
  bool can_match(const State&) const { return true; }
  bool will_always_match(const State&) const { return false; }
  State accept(const State& s, uint8_t) const { return {s.length + 1, false}; }
  std::optional<State> accept_eof(const State& s) const { return State{s.length, s.length % 2 == 0}; }
};
static_assert(AcceptsEof<EvenLengthAtEof>);

// Wraps an automaton and counts the bytes fed to it.
template <Automaton Inner>
struct Counting {
  using State = typename Inner::State;
  Inner inner;
  size_t* accepted;
  State start() const { return inner.start(); }
  bool is_match(const State& s) const { return inner.is_match(s); }
  bool can_match(const State& s) const { return inner.can_match(s); }
  bool will_always_match(const State& s) const { return inner.will_always_match(s); }
  State accept(const State& s, uint8_t b) const {
    ++*accepted;
    return inner.accept(s, b);
  }
};

class AutomatonSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = golden_bytes("rand_mid");
    entries_ = golden_entries("rand_mid");
    std::optional<Map> m = open_or_fail(bytes_);
    ASSERT_TRUE(m);
    map_.emplace(std::move(*m));
  }
  Bytes bytes_;
  Entries entries_;
  std::optional<Map> map_;
};

TEST_F(AutomatonSearch, ExactString) {
  for (size_t i = 0; i < entries_.size(); i += 97) {
    auto s = map_->search(Str(entries_[i].first));
    EXPECT_EQ(collect(s), Entries{entries_[i]});
    auto missing = map_->search(Str(entries_[i].first + '\x01'));
    EXPECT_TRUE(collect(missing).empty());
  }
}

TEST_F(AutomatonSearch, StartsWithStaysDoneAfterTheFirstMatch) {
  for (size_t n : {0, 1, 3, 5}) {
    auto exact = map_->search(LengthIs{n});
    EXPECT_EQ(collect(exact), brute_force(entries_, std::nullopt, std::nullopt,
                                          [n](const std::string& k) { return k.size() == n; }));
    auto at_least = map_->search(StartsWith(LengthIs{n}));
    EXPECT_EQ(collect(at_least), brute_force(entries_, std::nullopt, std::nullopt,
                                             [n](const std::string& k) { return k.size() >= n; }));
  }
}

TEST_F(AutomatonSearch, AutomatonWithRange) {
  const std::string ge = entries_[entries_.size() / 3].first;
  const std::string lt = entries_[2 * entries_.size() / 3].first;
  auto s = map_->search(StartsWith(LengthIs{4}), view(ge), view(lt));
  EXPECT_EQ(collect(s), brute_force(entries_, ge, lt,
                                    [](const std::string& k) { return k.size() >= 4; }));
}

TEST_F(AutomatonSearch, AcceptEofDecidesAtFinalNodes) {
  auto s = map_->search(EvenLengthAtEof{});
  EXPECT_EQ(collect(s), brute_force(entries_, std::nullopt, std::nullopt, [](const std::string& k) {
              return !k.empty() && k.size() % 2 == 0;
            }));
}

TEST(AutomatonPruning, DeadBranchesAreNotWalked) {
  const Bytes bytes = golden_bytes("rand_big");
  const Entries entries = golden_entries("rand_big");
  std::optional<Map> map = open_or_fail(bytes);
  ASSERT_TRUE(map);
  const std::string prefix = entries[entries.size() / 2].first.substr(0, 3);
  size_t accepted = 0;
  auto s = map->search(StartsWith(Counting<Str>{Str(prefix), &accepted}));
  const Entries found = collect(s);
  EXPECT_EQ(found, brute_force(entries, std::nullopt, std::nullopt, [&](const std::string& k) {
              return k.compare(0, prefix.size(), prefix) == 0;
            }));
  // Without pruning every transition of the map (tens of thousands) would be
  // fed; with it, only the siblings along the prefix path (at most 256 per
  // byte) and nothing below a dead or finished state.
  EXPECT_LE(accepted, 256 * (prefix.size() + 1));
  EXPECT_GT(accepted, 0u);
}

TEST(StreamLifetime, OutlivesTheMapObject) {
  const Bytes bytes = golden_bytes("communes");
  std::optional<Map> map = open_or_fail(bytes);
  ASSERT_TRUE(map);
  auto s = map->stream();
  map.reset();
  EXPECT_EQ(collect(s), golden_entries("communes"));
}

}  // namespace
}  // namespace vorlane::fst
