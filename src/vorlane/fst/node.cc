// Decodes one node of a serialised fst map from its state byte downwards.
// Every size subtracted from the address is first compared with the room
// left above the header, so no offset can wrap or fall below the node area;
// all node sizes are small (at most 2 + 256 + 256 * 17 + 8 bytes), so the
// sums compared cannot overflow.
#include "vorlane/fst/node.h"

namespace vorlane::fst::internal {
namespace {

// Top two bits of the state byte.
constexpr uint8_t kStateOneNext = 0b11;
constexpr uint8_t kStateOne = 0b10;
constexpr uint8_t kStateManyFinal = 0b01;

constexpr uint8_t kLowSixBits = 0x3F;
// In a `many` node's separate count byte, 1 stands for 256 transitions (a
// real count of 1 always fits in the state byte).
constexpr uint8_t kCountByteMeaning256 = 1;

bool valid_pack(uint8_t pack) {
  return (pack >> 4) <= kMaxPackWidth && (pack & 0x0F) <= kMaxPackWidth;
}

NodeFault decode_one_next(const Image& image, uint64_t addr, uint8_t state, Node& node) {
  const uint64_t room = addr - kHeaderSize;
  const uint8_t common = state & kLowSixBits;
  const uint64_t explicit_input = common == 0 ? 1 : 0;
  // The target is the byte just below the node and must be a node itself.
  if (room < explicit_input + 1) return NodeFault::outside;
  node.kind = NodeKind::one_next;
  node.is_final = false;
  node.ntrans = 1;
  node.lowest = addr - explicit_input;
  node.single_input = common == 0 ? image.data[addr - 1] : kCommonInputs[common];
  node.single_target = node.lowest - 1;
  return NodeFault::none;
}

NodeFault decode_one(const Image& image, uint64_t addr, uint8_t state, Node& node) {
  const uint64_t room = addr - kHeaderSize;
  const uint8_t common = state & kLowSixBits;
  const uint64_t explicit_input = common == 0 ? 1 : 0;
  if (room < explicit_input + 1) return NodeFault::outside;
  const uint64_t pack_at = addr - explicit_input - 1;
  const uint8_t pack = image.data[pack_at];
  if (!valid_pack(pack)) return NodeFault::pack_width;
  const unsigned t = pack >> 4;
  const unsigned o = pack & 0x0F;
  if (room < explicit_input + 1 + t + o) return NodeFault::outside;
  node.kind = NodeKind::one;
  node.is_final = false;
  node.ntrans = 1;
  node.delta_width = static_cast<uint8_t>(t);
  node.output_width = static_cast<uint8_t>(o);
  node.lowest = pack_at - t - o;
  node.single_input = common == 0 ? image.data[addr - 1] : kCommonInputs[common];
  node.single_output = unpack(image.data, node.lowest, o);
  const uint64_t delta = unpack(image.data, pack_at - t, t);
  if (delta != 0 && delta > node.lowest - kHeaderSize) return NodeFault::outside;
  node.single_target = delta == 0 ? 0 : node.lowest - delta;
  return NodeFault::none;
}

NodeFault decode_many(const Image& image, uint64_t addr, uint8_t state, Node& node) {
  const uint64_t room = addr - kHeaderSize;
  uint32_t ntrans = state & kLowSixBits;
  uint64_t count_bytes = 0;
  if (ntrans == 0) {
    if (room < 1) return NodeFault::outside;
    count_bytes = 1;
    const uint8_t count = image.data[addr - 1];
    ntrans = count == kCountByteMeaning256 ? 256 : count;
  }
  if (room < count_bytes + 1) return NodeFault::outside;
  const uint64_t pack_at = addr - count_bytes - 1;
  const uint8_t pack = image.data[pack_at];
  if (!valid_pack(pack)) return NodeFault::pack_width;
  const uint64_t t = pack >> 4;
  const uint64_t o = pack & 0x0F;
  const bool is_final = (state >> 6) == kStateManyFinal;
  const bool has_index = image.version >= 2 && ntrans > kIndexThreshold;
  const uint64_t index_bytes = has_index ? kIndexSize : 0;
  const uint64_t body = ntrans * (1 + t + o) + (is_final ? o : 0);
  if (room < count_bytes + 1 + index_bytes + body) return NodeFault::outside;
  node.kind = NodeKind::many;
  node.is_final = is_final;
  node.has_index = has_index;
  node.ntrans = ntrans;
  node.delta_width = static_cast<uint8_t>(t);
  node.output_width = static_cast<uint8_t>(o);
  node.inputs_end = pack_at - index_bytes;
  node.lowest = node.inputs_end - body;
  // The final output, when stored, is the node's lowest field.
  node.final_output = is_final && o != 0 ? unpack(image.data, node.lowest, static_cast<unsigned>(o)) : 0;
  return NodeFault::none;
}

}  // namespace

NodeFault decode_node(const Image& image, uint64_t addr, Node& out) {
  out = Node{};
  if (addr == 0) return NodeFault::none;  // the empty final state has no bytes
  if (addr < kHeaderSize || addr >= image.node_end) return NodeFault::outside;
  out.addr = addr;
  const uint8_t state = image.data[addr];
  switch (state >> 6) {
    case kStateOneNext:
      return decode_one_next(image, addr, state, out);
    case kStateOne:
      return decode_one(image, addr, state, out);
    default:
      return decode_many(image, addr, state, out);
  }
}

}  // namespace vorlane::fst::internal
