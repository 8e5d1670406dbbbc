// The Levenshtein automaton of levenshtein.h evaluated lazily: the same
// byte strings accepted, the same texts refused, without the state table.
//
// The eager automaton has one state per live edit-distance row, plus fixed
// intermediate states for the bytes of multi-byte characters, each holding a
// 256-entry edge table; a long text at distance 2 needs thousands of them,
// built for every search. Here a state is the row itself, computed from the
// previous row as each character's bytes come in, and a row is kept as its
// band: the 2 dist + 1 entries around the diagonal, since every entry
// farther from it is dist + 1. Refusal depends on the eager state count, so
// build() counts those states by walking the rows alone (cheap in the band
// form) and refuses exactly when Levenshtein::build() does.
//
// Usage:
//   Result<RowAutomaton> a = RowAutomaton::build("champs elysees", 2);
//   map.search(fst::StartsWith(RowAutomaton::Handle(shared_automaton)));
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "vorlane/base/result.h"

namespace vorlane::levenshtein {

class RowAutomaton {
 public:
  // Distances above this are not supported (build() refuses them).
  static constexpr uint32_t kMaxDist = 7;
  static constexpr size_t kMaxBand = 2 * kMaxDist + 1;

  // One row: k characters read, and the entries for query prefixes k - dist
  // .. k + dist (those outside 0..n unused).
  struct Row {
    uint32_t k = 0;
    std::array<uint8_t, kMaxBand> band{};
    bool operator==(const Row&) const = default;
  };

  // A row and where the bytes of a character stand.
  struct State {
    Row row;
    uint32_t partial = 0;  // bits of the character being read
    uint8_t pending = 0;   // continuation bytes still expected
    uint8_t low = 0x80;    // range of the next continuation byte
    uint8_t high = 0xBF;
    bool dead = false;
  };

  // The automaton for `query` and `dist`; fails (ErrorCode::invalid_argument)
  // exactly when Levenshtein::build(query, dist) fails, and for dist above
  // kMaxDist.
  static Result<RowAutomaton> build(std::string_view query, uint32_t dist);
  // The same automaton without counting its states: it never refuses a
  // text (but for dist above kMaxDist), so a search that finds something
  // must still ask build() whether the text is refused. Costs no more than
  // decoding the text.
  static Result<RowAutomaton> unchecked(std::string_view query, uint32_t dist);

  // The state count of the eager automaton for the same text and distance;
  // 0 for an unchecked automaton.
  size_t state_count() const { return state_count_; }
  // True when build() would refuse the text on a cheap lower bound alone.
  bool surely_refused() const;

  State start() const;
  bool is_match(const State& s) const;
  bool can_match(const State& s) const { return !s.dead; }
  bool will_always_match(const State&) const { return false; }
  State accept(const State& s, uint8_t byte) const;

  // True when the whole byte string is accepted.
  bool matches(std::string_view text) const;

  // A cheap copyable handle for fst searches, which copy their automaton.
  class Handle {
   public:
    using State = RowAutomaton::State;
    // Requires: `a` not null.
    explicit Handle(std::shared_ptr<const RowAutomaton> a) : a_(std::move(a)) {}
    State start() const { return a_->start(); }
    bool is_match(const State& s) const { return a_->is_match(s); }
    bool can_match(const State& s) const { return a_->can_match(s); }
    bool will_always_match(const State& s) const { return a_->will_always_match(s); }
    State accept(const State& s, uint8_t byte) const { return a_->accept(s, byte); }

   private:
    std::shared_ptr<const RowAutomaton> a_;
  };

 private:
  RowAutomaton(std::vector<char32_t> chars, uint32_t dist)
      : chars_(std::move(chars)), dist_(dist) {}

  friend class RowWalker;
  // Entry j of a row (j in 0..n).
  uint32_t entry(const Row& row, size_t j) const;
  // The row after reading `c`, and whether it is live.
  Row step(const Row& row, char32_t c, bool& live) const;

  std::vector<char32_t> chars_;
  uint32_t dist_;
  size_t state_count_ = 0;
};

}  // namespace vorlane::levenshtein
