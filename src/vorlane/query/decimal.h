// Reading a postcode text as a number. Internal to the query module.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorlane::query {

// An unsigned decimal: an optional leading '+', then ASCII digits only,
// fitting 32 bits.
inline std::optional<uint32_t> parse_u32(std::string_view s) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  uint32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    if (__builtin_mul_overflow(v, 10u, &v) ||
        __builtin_add_overflow(v, static_cast<uint32_t>(c - '0'), &v)) {
      return std::nullopt;
    }
  }
  return v;
}

}  // namespace vorlane::query
