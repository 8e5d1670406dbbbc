// Walks every node reachable from the root exactly once and checks it.
//
// Every transition target is checked to be 0 or strictly below the lowest
// byte of the node pointing to it, so the nodes still to visit always lie
// below the one being checked. The walk therefore keeps them as bits in a
// bitmap sized by the node area (no count read from the file sizes anything)
// and visits them from the highest address down: each address is checked at
// most once, the walk ends on any input, and the node bytes are read in
// descending order, which the hardware prefetches well.
//
// Once this walk succeeds, the unchecked accessors of node.h are safe on
// every node a lookup or stream can reach.
#include "vorlane/fst/validate.h"

#include <bit>
#include <string>
#include <vector>

namespace vorlane::fst::internal {
namespace {

Error node_error(uint64_t addr, const char* what) {
  return corrupt("fst node at byte " + std::to_string(addr) + " " + what);
}

class Walk {
 public:
  explicit Walk(const Image& image) : image_(image), pending_((image.node_end + 63) / 64, 0) {}

  Result<void> run(uint64_t root) {
    mark(root);
    for (size_t w = pending_.size(); w-- > 0;) {
      // Checking a node can only mark lower addresses, possibly in this word.
      while (pending_[w] != 0) {
        const unsigned bit = 63 - static_cast<unsigned>(std::countl_zero(pending_[w]));
        pending_[w] &= ~(uint64_t{1} << bit);
        VORLANE_TRY(check_node(w * 64 + bit));
      }
    }
    return ok();
  }

 private:
  // Callers pass 0 or addresses proven inside [kHeaderSize, node_end).
  void mark(uint64_t addr) {
    if (addr == 0) return;  // the empty final state has no bytes
    pending_[addr / 64] |= uint64_t{1} << (addr % 64);
  }

  Result<void> check_node(uint64_t addr) {
    // The most common kind, on the fast path: a one-transition node whose
    // target is the byte just below it (and below the explicit input byte,
    // if any); it must leave room for that target above the header.
    const uint8_t state = image_.data[addr];
    if ((state >> 6) == 0b11) {
      const uint64_t below = (state & 0x3F) == 0 ? 2 : 1;
      if (addr - kHeaderSize < below) return node_error(addr, "points outside the map");
      mark(addr - below);
      return ok();
    }
    Node node;
    const NodeFault fault = decode_node(image_, addr, node);
    if (fault == NodeFault::pack_width) return node_error(addr, "has an invalid pack size");
    if (fault != NodeFault::none) return node_error(addr, "points outside the map");
    if (node.kind != NodeKind::many) {
      // decode_node checked the single target: 0 or inside, below the node.
      mark(node.single_target);
      return ok();
    }
    return check_many(node);
  }

  Result<void> check_many(const Node& node) {
    const uint64_t n = node.ntrans;
    const uint64_t t = node.delta_width;
    const uint8_t* data = image_.data;
    for (uint32_t i = 0; i < node.ntrans; ++i) {
      const uint8_t input = many_input(data, node, i);
      if (i > 0 && input <= many_input(data, node, i - 1)) {
        return node_error(node.addr, "has transitions out of order");
      }
      if (node.has_index && data[node.inputs_end + input] != i) {
        return node_error(node.addr, "has an inconsistent index table");
      }
      // decode_node proved the delta block inside the node.
      const uint64_t delta = unpack(data, node.inputs_end - n - (i + 1) * t, node.delta_width);
      if (delta == 0) continue;
      if (delta > node.lowest - kHeaderSize) return node_error(node.addr, "points outside the map");
      mark(node.lowest - delta);
    }
    if (node.has_index) {
      // Each input maps to its own transition (above); no other byte may
      // map to a transition.
      for (uint32_t b = 0; b < kIndexSize; ++b) {
        const uint32_t i = data[node.inputs_end + b];
        if (i < node.ntrans && many_input(data, node, i) != b) {
          return node_error(node.addr, "has an inconsistent index table");
        }
      }
    }
    return ok();
  }

  const Image& image_;
  std::vector<uint64_t> pending_;  // one bit per byte of the node area
};

}  // namespace

Result<void> validate_nodes(const Image& image, uint64_t root) {
  if (root == 0) return ok();
  if (root < kHeaderSize || root >= image.node_end) {
    return corrupt("fst map root address " + std::to_string(root) + " is outside the node area");
  }
  return Walk(image).run(root);
}

}  // namespace vorlane::fst::internal
