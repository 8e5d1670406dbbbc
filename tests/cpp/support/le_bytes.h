// Little-endian byte images for tests that hand-build file sections.
#pragma once

#include <cstdint>
#include <string>

namespace vorlane::testing {

// Appends the low `width` bytes of `v`, least significant first.
inline void put_le(std::string& out, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

inline std::string le(uint64_t v, int width) {
  std::string out;
  put_le(out, v, width);
  return out;
}

}  // namespace vorlane::testing
