// A deterministic automaton over UTF-8 bytes that accepts exactly the texts
// within a maximum Levenshtein distance (insertion, deletion, substitution
// of one character, cost 1 each; no transposition) of a query text.
//
// The automaton is built eagerly and completely from the dynamic-programming
// rows of the edit distance, and a build that would need more than
// kStateLimit states is refused. The construction is deliberately the plain
// row-by-row one: which texts are refused depends on its exact state count.
//
// Usage:
//   Result<Levenshtein> lev = Levenshtein::build("hauptstr", 1);
//   if (lev && lev->matches("haupstr")) ...
// Searches over fst maps take a SharedLevenshtein (or see prefix_search.h);
// threads get their automata from the per-thread cache (lev_cache.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorlane/base/result.h"

namespace vorlane::levenshtein {

// A build that needs more states than this is refused.
inline constexpr size_t kStateLimit = 10000;

// State accounting of the construction, shared with RowAutomaton, which
// must refuse exactly the texts refused here. Laying a row's edge for the
// characters absent from the query adds one intermediate state per
// non-final byte of the nine UTF-8 sequences of the Unicode range.
inline constexpr uint64_t kMismatchIntermediates = 18;
// Laying a query character's own edge adds one per byte after its first.
uint64_t char_intermediates(char32_t c);
// A lower bound of the complete automaton's state count; a text whose bound
// passes kStateLimit is refused before any row is built.
uint64_t minimum_state_count(const std::vector<char32_t>& chars, uint32_t dist);

// The query and the maximum distance, and the rows of the edit-distance
// table. A row has n + 1 entries (n = characters of the query): entry i is
// the smallest edit distance between the text read so far and the first i
// query characters, capped at dist + 1 except entry 0, which counts the
// characters read.
class DynamicLevenshtein {
 public:
  using Row = std::vector<uint32_t>;

  // Requires: `query` is valid UTF-8 (anything else is read with each
  // ill-formed part as U+FFFD).
  DynamicLevenshtein(std::string_view query, uint32_t dist);

  const std::string& query() const { return query_; }
  uint32_t dist() const { return dist_; }
  const std::vector<char32_t>& chars() const { return chars_; }

  Row start() const;
  // The row after reading `c`; kOther stands for any character that does
  // not occur in the query.
  static constexpr char32_t kOther = 0xFFFFFFFF;
  Row accept(const Row& row, char32_t c) const;
  bool is_match(const Row& row) const { return row.back() <= dist_; }
  bool is_live(const Row& row) const;

 private:
  std::string query_;
  std::vector<char32_t> chars_;
  uint32_t dist_;
};

// One state: its transition for every byte (kNoEdge for none) and whether
// the bytes read up to it are accepted.
struct DfaState {
  static constexpr uint32_t kNoEdge = 0xFFFFFFFF;
  std::array<uint32_t, 256> next;
  uint8_t is_match;
};

// The state store. States are allocated 64 at a time in chunks that never
// move, so a reference to a state stays valid while more are added.
class Dfa {
 public:
  static constexpr size_t kChunkSize = 64;

  size_t size() const { return count_; }

  // Adds a state with no edges and returns its id.
  uint32_t add_state(bool is_match);

  DfaState& state(uint32_t id) { return (*chunks_[id / kChunkSize])[id % kChunkSize]; }
  const DfaState& state(uint32_t id) const {
    return (*chunks_[id / kChunkSize])[id % kChunkSize];
  }

 private:
  using Chunk = std::array<DfaState, kChunkSize>;
  std::vector<std::unique_ptr<Chunk>> chunks_;
  size_t count_ = 0;
};

// A finished automaton: immutable, state 0 is the start state, and every
// state it holds can still reach a match. Move-only; share it by
// std::shared_ptr (see SharedLevenshtein for searching).
class Levenshtein {
 public:
  // A state id, or kDead once no continuation can be accepted.
  using State = uint32_t;
  static constexpr State kDead = DfaState::kNoEdge;

  // The automaton for `query` (valid UTF-8) and `dist`. Fails with
  // ErrorCode::invalid_argument when it would need more than kStateLimit
  // states; nothing partial is returned.
  static Result<Levenshtein> build(std::string_view query, uint32_t dist);

  Levenshtein(Levenshtein&&) = default;
  Levenshtein& operator=(Levenshtein&&) = default;
  Levenshtein(const Levenshtein&) = delete;
  Levenshtein& operator=(const Levenshtein&) = delete;

  const std::string& query() const { return dynamic_.query(); }
  uint32_t dist() const { return dynamic_.dist(); }
  size_t state_count() const { return dfa_.size(); }

  // The automaton operations that fst searches take.
  State start() const { return 0; }
  bool is_match(State s) const { return s != kDead && dfa_.state(s).is_match != 0; }
  bool can_match(State s) const { return s != kDead; }
  bool will_always_match(State) const { return false; }
  State accept(State s, uint8_t byte) const {
    return s == kDead ? kDead : dfa_.state(s).next[byte];
  }

  // True when the whole byte string is accepted.
  bool matches(std::string_view text) const;

 private:
  Levenshtein(DynamicLevenshtein dynamic, Dfa dfa)
      : dynamic_(std::move(dynamic)), dfa_(std::move(dfa)) {}

  DynamicLevenshtein dynamic_;
  Dfa dfa_;
};

// A cheap, copyable handle that runs a shared automaton; fst streams keep a
// copy of the automaton they search with, so this is the type to pass.
class SharedLevenshtein {
 public:
  using State = Levenshtein::State;

  // Requires: `lev` is not null.
  explicit SharedLevenshtein(std::shared_ptr<const Levenshtein> lev) : lev_(std::move(lev)) {}

  State start() const { return lev_->start(); }
  bool is_match(State s) const { return lev_->is_match(s); }
  bool can_match(State s) const { return lev_->can_match(s); }
  bool will_always_match(State s) const { return lev_->will_always_match(s); }
  State accept(State s, uint8_t byte) const { return lev_->accept(s, byte); }

 private:
  std::shared_ptr<const Levenshtein> lev_;
};

}  // namespace vorlane::levenshtein
