// Node decoding for serialised fst maps (internal to vorlane::fst).
//
// A node is addressed by its last byte, the state byte, and decoded
// backwards from it. `decode_node` checks every offset it computes against
// the node area; the transition accessors below do not, because they are
// only called on nodes that `decode_node` accepted and that the open-time
// walk of the map (validate.cc) checked transition by transition.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>

#include "vorlane/base/byte_view.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorlane::fst::internal {

// Version (u64) and type (u64) precede the first node.
inline constexpr uint64_t kHeaderSize = 16;
// Nodes with more transitions carry a 256-byte input index (format >= 2).
inline constexpr uint32_t kIndexThreshold = 32;
inline constexpr uint64_t kIndexSize = 256;
// Packed integers are 1 to 8 bytes wide (0 = "absent, reads as 0").
inline constexpr unsigned kMaxPackWidth = 8;

// Input bytes of the common-input indices 1..63 of one-transition nodes
// (index 0 means the input byte is stored explicitly).
inline constexpr std::array<uint8_t, 64> kCommonInputs = [] {
  constexpr char kTable[] = "te/oasripcnw.hlm-du012g=:bf3y5&_4v9678k%?xCDASFIBEjPTzRNM+LOqHG";
  std::array<uint8_t, 64> t{};
  for (size_t i = 0; i + 1 < sizeof kTable; ++i) t[i + 1] = static_cast<uint8_t>(kTable[i]);
  return t;
}();

// The bytes of one map and where its node area ends.
struct Image {
  const uint8_t* data = nullptr;
  uint64_t node_end = 0;  // footer start; nodes live in [kHeaderSize, node_end)
  uint32_t version = 0;
};

enum class NodeKind : uint8_t {
  empty_final,  // address 0: final, output 0, no transitions, no bytes
  one_next,     // one transition to the node just below, output 0
  one,          // one transition with stored output and target
  many,         // general form, the only kind that can be final
};

struct Node {
  uint64_t addr = 0;          // state byte; 0 for the empty final state
  uint64_t lowest = 0;        // lowest byte; deltas are measured from it
  uint64_t inputs_end = 0;    // many: one past the inputs block
  uint64_t final_output = 0;
  uint32_t ntrans = 0;
  NodeKind kind = NodeKind::empty_final;
  bool is_final = true;
  bool has_index = false;     // many: a 256-byte index follows the inputs
  uint8_t delta_width = 0;
  uint8_t output_width = 0;
  // one_next and one: the single transition.
  uint8_t single_input = 0;
  uint64_t single_output = 0;
  uint64_t single_target = 0;
};

struct Transition {
  uint8_t input;
  uint64_t output;
  uint64_t target;  // node address, 0 = empty final state
};

enum class NodeFault : uint8_t {
  none,
  outside,     // some byte of the node or a target lies outside the node area
  pack_width,  // a pack-size nibble above 8
};

// Decodes the node at `addr` into `out`, checking that all of its bytes lie
// in [kHeaderSize, image.node_end) and that a one-transition target is 0 or
// inside the node area. Transition targets of `many` nodes are checked by the
// open-time walk, not here.
NodeFault decode_node(const Image& image, uint64_t addr, Node& out);

// The `width`-byte little-endian integer at `offset`.
// Unchecked: only called with offsets inside the node area (proven when the
// map was opened), and every such offset has at least 8 readable bytes after
// it because the footer behind the node area is at least 16 bytes long, so
// the 8-byte load stays inside the map.
inline uint64_t unpack(const uint8_t* data, uint64_t offset, unsigned width) {
  const uint64_t word = load_le<uint64_t>(data + offset);
  return width >= kMaxPackWidth ? word : word & ((uint64_t{1} << (8 * width)) - 1);
}

// The first j < n with first[j] == b, or n.
// Unchecked, like unpack: `first + n` is at most the end of the node area,
// and the 16-byte loads read at most 15 bytes past it, inside the footer.
inline uint32_t find_byte(const uint8_t* first, uint32_t n, uint8_t b) {
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi8(static_cast<char>(b));
  for (uint32_t j = 0; j < n; j += 16) {
    __m128i chunk;
    std::memcpy(&chunk, first + j, sizeof chunk);
    const unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, needle)));
    if (hits != 0) return std::min(j + static_cast<uint32_t>(std::countr_zero(hits)), n);
  }
  return n;
#else
  uint32_t j = 0;
  while (j < n && first[j] != b) ++j;
  return j;
#endif
}

// Input byte of transition i (< node.ntrans) of a `many` node.
// Unchecked: decode_node proved [lowest, addr] inside the node area.
inline uint8_t many_input(const uint8_t* data, const Node& node, uint32_t i) {
  return data[node.inputs_end - 1 - i];
}

// Transition i (< node.ntrans) of a validated node.
inline Transition transition_at(const Image& image, const Node& node, uint32_t i) {
  if (node.kind != NodeKind::many) {
    return Transition{node.single_input, node.single_output, node.single_target};
  }
  const uint64_t n = node.ntrans;
  const uint64_t t = node.delta_width;
  const uint64_t o = node.output_width;
  const uint64_t k = node.inputs_end;
  const uint64_t delta = unpack(image.data, k - n - (i + 1) * t, node.delta_width);
  const uint64_t output = o == 0 ? 0 : unpack(image.data, k - n - n * t - (i + 1) * o, node.output_width);
  // The open-time walk checked delta <= lowest - kHeaderSize.
  return Transition{many_input(image.data, node, i), output, delta == 0 ? 0 : node.lowest - delta};
}

// The transition on input byte `b`, if there is one.
inline std::optional<uint32_t> find_input(const Image& image, const Node& node, uint8_t b) {
  switch (node.kind) {
    case NodeKind::empty_final:
      return std::nullopt;
    case NodeKind::one_next:
    case NodeKind::one:
      if (node.single_input == b) return 0;
      return std::nullopt;
    case NodeKind::many:
      break;
  }
  if (node.has_index) {
    // The walk at open proved the index consistent with the inputs.
    const uint32_t i = image.data[node.inputs_end + b];
    if (i < node.ntrans) return i;
    return std::nullopt;
  }
  // Inputs are stored highest first: transition i is at inputs_end - 1 - i.
  const uint32_t j = find_byte(image.data + node.inputs_end - node.ntrans, node.ntrans, b);
  if (j == node.ntrans) return std::nullopt;
  return node.ntrans - 1 - j;
}

// The first transition whose input byte is above `b` (ntrans if none);
// inputs are in ascending order (checked at open).
inline uint32_t first_input_above(const Image& image, const Node& node, uint8_t b) {
  if (node.kind != NodeKind::many) {
    return node.ntrans == 1 && node.single_input > b ? 0 : node.ntrans;
  }
  uint32_t i = 0;
  while (i < node.ntrans && many_input(image.data, node, i) <= b) ++i;
  return i;
}

}  // namespace vorlane::fst::internal
