// CRC-32C (Castagnoli), the checksum of version-3 fst maps.
#pragma once

#include <cstdint>

#include "vorlane/base/byte_view.h"

namespace vorlane::fst {

// Standard CRC-32C of `data`: reflected polynomial 0x82F63B78, initial value
// and final XOR 0xFFFFFFFF (crc32c("123456789") == 0xE3069283).
uint32_t crc32c(ByteView data);

// The form in which a map's footer stores a checksum: rotated right by 15
// bits, then 0xA282EAD8 added with 32-bit wrap-around.
constexpr uint32_t mask_crc32c(uint32_t crc) {
  return ((crc >> 15) | (crc << 17)) + 0xA282EAD8u;
}

namespace internal {
// The table-driven computation alone, whatever the CPU offers (for tests).
uint32_t crc32c_portable(ByteView data);
}  // namespace internal

}  // namespace vorlane::fst
