// CRC-32C over a byte range. Uses the SSE4.2 crc32 instruction when the CPU
// has it (checked once at run time) and a slice-by-8 table otherwise; both
// give identical results for every input, which the tests check against a
// bit-by-bit reference.
#include "vorlane/fst/crc32c.h"

#include <array>
#include <cstddef>

namespace vorlane::fst {
namespace {

constexpr uint32_t kPolynomial = 0x82F63B78u;  // reflected Castagnoli polynomial

using Tables = std::array<std::array<uint32_t, 256>, 8>;

// tables[k][b]: the CRC contribution of byte b followed by k zero bytes.
constexpr Tables make_tables() {
  Tables t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t c = b;
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ ((c & 1u) ? kPolynomial : 0u);
    t[0][b] = c;
  }
  for (size_t k = 1; k < 8; ++k) {
    for (size_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFFu];
  }
  return t;
}

constexpr Tables kTables = make_tables();

// Works on the raw (un-inverted) register.
uint32_t update_software(uint32_t crc, const uint8_t* p, size_t n) {
  while (n >= 8) {
    const uint32_t lo = crc ^ load_le<uint32_t>(p);
    const uint32_t hi = load_le<uint32_t>(p + 4);
    crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
          kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  while (n > 0) {
    crc = (crc >> 8) ^ kTables[0][(crc ^ *p) & 0xFF];
    ++p;
    --n;
  }
  return crc;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VORLANE_CRC32C_HARDWARE 1

__attribute__((target("sse4.2"))) uint32_t update_hardware(uint32_t crc, const uint8_t* p,
                                                            size_t n) {
  uint64_t c = crc;
  while (n >= 8) {
    c = __builtin_ia32_crc32di(c, load_le<uint64_t>(p));
    p += 8;
    n -= 8;
  }
  uint32_t c32 = static_cast<uint32_t>(c);
  while (n > 0) {
    c32 = __builtin_ia32_crc32qi(c32, *p);
    ++p;
    --n;
  }
  return c32;
}

bool cpu_has_crc32_instruction() {
  static const bool has = __builtin_cpu_supports("sse4.2");
  return has;
}
#endif

}  // namespace

uint32_t crc32c(ByteView data) {
  const uint32_t init = 0xFFFFFFFFu;
#ifdef VORLANE_CRC32C_HARDWARE
  if (cpu_has_crc32_instruction()) return ~update_hardware(init, data.data(), data.size());
#endif
  return ~update_software(init, data.data(), data.size());
}

namespace internal {
uint32_t crc32c_portable(ByteView data) {
  return ~update_software(0xFFFFFFFFu, data.data(), data.size());
}
}  // namespace internal

}  // namespace vorlane::fst
