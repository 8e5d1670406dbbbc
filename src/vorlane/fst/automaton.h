// Automata that drive a search over an fst map, byte by byte.
//
// An automaton is any type with a copyable nested `State` and these const
// members (checked by the `Automaton` concept, called through templates so
// they inline):
//   State start()                      the single start state
//   bool is_match(const State&)        the bytes read so far are accepted
//   bool can_match(const State&)       some continuation may still be accepted;
//                                      false prunes the subtree, so it must never
//                                      be false while a match is reachable
//   bool will_always_match(const State&)  every continuation is accepted
//   State accept(const State&, uint8_t)   the state after one more byte
// and optionally
//   std::optional<State> accept_eof(const State&)
//                                      the state at the end of a key, if the
//                                      automaton treats end of input specially
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "vorlane/base/byte_view.h"

namespace vorlane::fst {

template <typename A>
concept Automaton = std::copyable<typename A::State> &&
    requires(const A& a, const typename A::State& s, uint8_t byte) {
      { a.start() } -> std::same_as<typename A::State>;
      { a.is_match(s) } -> std::same_as<bool>;
      { a.can_match(s) } -> std::same_as<bool>;
      { a.will_always_match(s) } -> std::same_as<bool>;
      { a.accept(s, byte) } -> std::same_as<typename A::State>;
    };

template <typename A>
concept AcceptsEof = Automaton<A> && requires(const A& a, const typename A::State& s) {
  { a.accept_eof(s) } -> std::same_as<std::optional<typename A::State>>;
};

// Accepts every key.
struct AlwaysMatch {
  struct State {};
  State start() const { return {}; }
  bool is_match(const State&) const { return true; }
  bool can_match(const State&) const { return true; }
  bool will_always_match(const State&) const { return true; }
  State accept(const State&, uint8_t) const { return {}; }
};

// Accepts exactly one byte string. The state is the number of bytes matched
// so far, or kDead once the input has left the pattern.
class Str {
 public:
  using State = size_t;
  static constexpr State kDead = static_cast<State>(-1);

  explicit Str(std::string_view pattern) : pattern_(pattern) {}
  explicit Str(ByteView pattern) : pattern_(pattern.as_string_view()) {}

  State start() const { return 0; }
  bool is_match(State s) const { return s == pattern_.size(); }
  bool can_match(State s) const { return s != kDead; }
  bool will_always_match(State) const { return false; }
  State accept(State s, uint8_t byte) const {
    if (s < pattern_.size() && static_cast<uint8_t>(pattern_[s]) == byte) return s + 1;
    return kDead;
  }

 private:
  std::string pattern_;
};

// Accepts every key that has a prefix (possibly empty, possibly the key
// itself) accepted by the inner automaton. It is "done" from the first byte
// at which the inner automaton matches, and "done" matches forever.
template <Automaton Inner>
class StartsWith {
 public:
  struct State {
    bool done;
    typename Inner::State inner;  // meaningless once done
  };

  explicit StartsWith(Inner inner) : inner_(std::move(inner)) {}

  State start() const {
    typename Inner::State s = inner_.start();
    return State{inner_.is_match(s), s};
  }
  bool is_match(const State& s) const { return s.done; }
  bool can_match(const State& s) const { return s.done || inner_.can_match(s.inner); }
  bool will_always_match(const State& s) const { return s.done; }
  State accept(const State& s, uint8_t byte) const {
    if (s.done) return s;
    typename Inner::State next = inner_.accept(s.inner, byte);
    return State{inner_.is_match(next), next};
  }

 private:
  Inner inner_;
};

}  // namespace vorlane::fst
