// Opening a serialised fst map and exact lookup.
//
// open() applies the format's own acceptance rules (length, version, the
// root-address rule of the footer), then verifies the version-3 checksum and
// walks every reachable node (validate.cc). get() relies on that walk: it
// decodes only nodes reachable from the root, whose bytes and targets the
// walk proved to lie inside the node area.
#include "vorlane/fst/map.h"

#include <string>

#include "vorlane/fst/crc32c.h"
#include "vorlane/fst/validate.h"

namespace vorlane::fst {
namespace {

// The smallest map any version may have: header (16), key count (8), root
// address (8) and a version-3 checksum (4) around an empty node area.
constexpr uint64_t kMinMapSize = 36;
constexpr uint64_t kChecksumSize = 4;      // version 3 only
constexpr uint64_t kCountAndRootSize = 16;  // key count, then root address
constexpr uint64_t kLastVersion = 3;
// Length of the map whose root is the empty final state (only the empty key,
// value 0): no node bytes at all. Versions 1 and 2 have no checksum.
constexpr uint64_t kRootlessSize = 36;
constexpr uint64_t kRootlessSizeNoChecksum = 32;

Result<void> verify_checksum(ByteView bytes) {
  const uint64_t covered = bytes.size() - kChecksumSize;
  const uint32_t stored = *bytes.le_u32(covered);
  const uint32_t computed = mask_crc32c(crc32c(ByteView(bytes.data(), covered)));
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // A fuzzer cannot forge checksums; skipping them lets it reach the node
  // checks behind them. Never defined outside the fuzz build.
  (void)stored;
  (void)computed;
#else
  if (stored != computed) return corrupt("fst map checksum mismatch");
#endif
  return ok();
}

}  // namespace

Result<Map> Map::open(ByteView bytes) {
  const uint64_t size = bytes.size();
  if (size < kMinMapSize) {
    return corrupt("fst map is too short: " + std::to_string(size) + " bytes (at least " +
                   std::to_string(kMinMapSize) + " needed)");
  }
  const uint64_t version = *bytes.le_u64(0);
  if (version == 0 || version > kLastVersion) {
    return Error(ErrorCode::unsupported_version,
                 "unsupported fst map version " + std::to_string(version) + " (expected 1, 2 or 3)");
  }
  const bool has_checksum = version >= 3;
  const uint64_t footer_end = size - (has_checksum ? kChecksumSize : 0);
  const uint64_t footer_start = footer_end - kCountAndRootSize;
  const uint64_t key_count = *bytes.le_u64(footer_start);
  const uint64_t root = *bytes.le_u64(footer_start + 8);
  if (root == 0 && size != (has_checksum ? kRootlessSize : kRootlessSizeNoChecksum)) {
    return corrupt("fst map root address is 0 but the map is " + std::to_string(size) +
                   " bytes long");
  }
  if (has_checksum) VORLANE_TRY(verify_checksum(bytes));
  const internal::Image image{bytes.data(), footer_start, static_cast<uint32_t>(version)};
  VORLANE_TRY(internal::validate_nodes(image, root));
  return Map(image, root, key_count);
}

// The hot path of the library: one pass over the path, decoding from each
// node only what the next step needs (state byte first, then the matching
// transition's delta and output). Unchecked reads: every node reached here is
// reachable from the root, so the open-time walk proved its bytes inside the
// node area and its targets to be 0 or nodes strictly below it.
std::optional<Map::Position> Map::descend(ByteView path, Position from) const {
  using internal::kCommonInputs;
  using internal::unpack;
  const uint8_t* const data = image_.data;
  const bool indexed_format = image_.version >= 2;
  uint64_t addr = from.addr;
  uint64_t sum = from.sum;
  for (const uint8_t byte : path) {
    if (addr == 0) return std::nullopt;  // the empty final state: no transitions
    const uint8_t state = data[addr];
    const uint8_t low = state & 0x3F;
    switch (state >> 6) {
      case 0b11: {  // one transition to the node just below, output 0
        const uint8_t input = low != 0 ? kCommonInputs[low] : data[addr - 1];
        if (input != byte) return std::nullopt;
        addr -= low != 0 ? 1 : 2;
        break;
      }
      case 0b10: {  // one transition with stored delta and output
        const uint8_t input = low != 0 ? kCommonInputs[low] : data[addr - 1];
        if (input != byte) return std::nullopt;
        const uint64_t pack_at = addr - (low != 0 ? 1 : 2);
        const unsigned t = data[pack_at] >> 4;
        const unsigned o = data[pack_at] & 0x0F;
        const uint64_t delta = unpack(data, pack_at - t, t);
        const uint64_t lowest = pack_at - t - o;
        sum += unpack(data, lowest, o);
        addr = delta == 0 ? 0 : lowest - delta;
        break;
      }
      default: {  // many transitions
        uint64_t pack_at = addr - 1;
        uint64_t n = low;
        if (n == 0) {
          n = data[pack_at] == 1 ? 256 : data[pack_at];
          pack_at -= 1;
        }
        const uint64_t t = data[pack_at] >> 4;
        const uint64_t o = data[pack_at] & 0x0F;
        uint64_t inputs_end = pack_at;
        uint64_t i;
        if (indexed_format && n > internal::kIndexThreshold) {
          inputs_end -= internal::kIndexSize;
          i = data[inputs_end + byte];
          if (i >= n) return std::nullopt;
        } else {
          // Inputs are stored highest first, ending just below inputs_end.
          const uint64_t j = internal::find_byte(data + inputs_end - n, static_cast<uint32_t>(n), byte);
          if (j == n) return std::nullopt;
          i = n - 1 - j;
        }
        const uint64_t deltas_end = inputs_end - n;
        const uint64_t delta = unpack(data, deltas_end - (i + 1) * t, static_cast<unsigned>(t));
        const uint64_t outputs_end = deltas_end - n * t;
        sum += unpack(data, outputs_end - (i + 1) * o, static_cast<unsigned>(o));
        const bool is_final = (state >> 6) == 0b01;
        const uint64_t lowest = outputs_end - n * o - (is_final ? o : 0);
        addr = delta == 0 ? 0 : lowest - delta;
        break;
      }
    }
  }
  return Position{addr, sum};
}

std::optional<uint64_t> Map::value_at(Position at) const {
  if (at.addr == 0) return at.sum;  // the empty final state, final output 0
  if ((image_.data[at.addr] >> 6) != 0b01) return std::nullopt;  // only `many` nodes can be final
  internal::Node node;
  if (internal::decode_node(image_, at.addr, node) != internal::NodeFault::none) {
    return std::nullopt;
  }
  return at.sum + node.final_output;
}

}  // namespace vorlane::fst
