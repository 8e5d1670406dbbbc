// Ordered streams over an fst map: a depth-first, pre-order walk with an
// explicit stack, optionally bounded below (inclusive) and above (exclusive)
// and filtered by an automaton. Keys come out in strictly increasing bytewise
// order. Obtain streams from Map (map.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vorlane/base/byte_view.h"
#include "vorlane/fst/automaton.h"
#include "vorlane/fst/node.h"

namespace vorlane::fst {

class Map;

// Usage:  auto s = map.range(ge, lt);  while (s.next()) use(s.key(), s.value());
// The stream reads the map's bytes, which must outlive it; it does not refer
// to the Map object itself. It allocates only when its stack or key buffer
// grows (amortised; both are reused for every key).
template <Automaton A>
class Stream {
 public:
  // Advances to the next key; false once the stream has ended (and ever after).
  bool next();

  // The current key; valid until the next call of next().
  ByteView key() const {
    return ByteView(reinterpret_cast<const uint8_t*>(key_.data()), key_.size());
  }
  std::string_view key_string() const { return key_; }
  uint64_t value() const { return value_; }

  // Starts the stream afresh over the keys k with ge <= k < lt, keeping the
  // automaton and reusing the stream's buffers. The bounds are copied.
  void restart(std::optional<ByteView> ge, std::optional<ByteView> lt);

 private:
  friend class Map;
  using State = typename A::State;

  struct Frame {
    Frame(const internal::Node& n, uint32_t next, uint64_t s, State st)
        : node(n), next_transition(next), sum(s), state(std::move(st)) {}
    // The node is decoded later, in place.
    Frame(uint64_t s, State st) : next_transition(0), sum(s), state(std::move(st)) {}

    internal::Node node;
    uint32_t next_transition;
    uint64_t sum;  // output sum on arrival at the node
    State state;   // automaton state on arrival at the node
  };

  Stream(const internal::Image& image, uint64_t root, A aut, std::optional<ByteView> ge,
         std::optional<ByteView> lt);

  void seek(const internal::Node& root, std::optional<ByteView> ge);
  bool past_upper_bound() const { return has_upper_ && key_.compare(upper_) >= 0; }
  bool decode(uint64_t addr, internal::Node& node) const {
    return internal::decode_node(image_, addr, node) == internal::NodeFault::none;
  }
  void finish() {
    stack_.clear();
    pending_empty_key_ = false;
  }

  internal::Image image_;
  uint64_t root_ = 0;
  A aut_;
  std::vector<Frame> stack_;
  std::string key_;
  std::string upper_;
  bool has_upper_ = false;
  bool pending_empty_key_ = false;
  uint64_t empty_key_value_ = 0;
  uint64_t value_ = 0;
};

template <Automaton A>
Stream<A>::Stream(const internal::Image& image, uint64_t root, A aut, std::optional<ByteView> ge,
                  std::optional<ByteView> lt)
    : image_(image), root_(root), aut_(std::move(aut)) {
  restart(ge, lt);
}

template <Automaton A>
void Stream<A>::restart(std::optional<ByteView> ge, std::optional<ByteView> lt) {
  finish();
  key_.clear();
  has_upper_ = lt.has_value();
  if (lt) upper_.assign(lt->as_string_view());
  internal::Node root_node;
  // Cannot fail on a map that passed open(); an empty stream if it did.
  if (!decode(root_, root_node)) return;
  seek(root_node, ge);
}

// Positions the stack just before the first key >= ge, feeding the automaton
// along the way. Invariant kept here and by next(): the stack holds one frame
// per byte of key_ plus one for the root.
template <Automaton A>
void Stream<A>::seek(const internal::Node& root, std::optional<ByteView> ge) {
  if (!ge || ge->empty()) {
    if (root.is_final) {
      pending_empty_key_ = true;
      empty_key_value_ = root.final_output;
    }
    stack_.emplace_back(root, 0, 0, aut_.start());
    return;
  }
  internal::Node node = root;
  uint64_t sum = 0;
  State state = aut_.start();
  for (uint8_t byte : *ge) {
    const std::optional<uint32_t> i = internal::find_input(image_, node, byte);
    if (!i) {
      // ge is not a path of the map: resume at the first larger input here.
      stack_.emplace_back(node, internal::first_input_above(image_, node, byte), sum, state);
      return;
    }
    const internal::Transition t = internal::transition_at(image_, node, *i);
    stack_.emplace_back(node, *i + 1, sum, state);
    key_.push_back(static_cast<char>(byte));
    state = aut_.accept(state, byte);
    sum += t.output;
    if (!decode(t.target, node)) {
      finish();
      return;
    }
  }
  // All of ge is a path: step back so the transition into ge is taken again
  // and ge itself is reported if it is a key.
  stack_.back().next_transition -= 1;
  key_.pop_back();
}

template <Automaton A>
bool Stream<A>::next() {
  if (pending_empty_key_) {
    pending_empty_key_ = false;
    if (past_upper_bound()) {
      finish();
      return false;
    }
    if (aut_.is_match(aut_.start())) {
      value_ = empty_key_value_;
      return true;
    }
  }
  while (!stack_.empty()) {
    Frame& top = stack_.back();
    if (top.next_transition >= top.node.ntrans || !aut_.can_match(top.state)) {
      stack_.pop_back();
      // Every frame but the root's was entered through one byte of key_.
      if (!stack_.empty()) key_.pop_back();
      continue;
    }
    const internal::Transition t = internal::transition_at(image_, top.node, top.next_transition);
    top.next_transition += 1;
    const uint64_t sum = top.sum + t.output;
    State state = aut_.accept(top.state, t.input);
    bool match = aut_.is_match(state);
    // The child is decoded in place: copying a freshly written Node costs
    // more than decoding it.
    stack_.emplace_back(sum, std::move(state));  // invalidates `top`
    Frame& child = stack_.back();
    if (!decode(t.target, child.node)) {
      finish();
      return false;
    }
    if constexpr (AcceptsEof<A>) {
      if (child.node.is_final) {
        if (std::optional<State> eof = aut_.accept_eof(child.state)) match = aut_.is_match(*eof);
      }
    }
    key_.push_back(static_cast<char>(t.input));
    // Pre-order visits prefixes in increasing order, so the first one at or
    // past the bound ends the stream for good.
    if (past_upper_bound()) {
      finish();
      return false;
    }
    if (child.node.is_final && match) {
      value_ = sum + child.node.final_output;
      return true;
    }
  }
  return false;
}

}  // namespace vorlane::fst
