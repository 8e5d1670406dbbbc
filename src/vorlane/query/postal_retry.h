// The postal retry and city tail stages (declared in stages.h) and their
// pure parts: the hyphenated rewrite of bare postcodes and the recogniser of
// a trailing region with the city named before it. Both read the kind-23
// settings of the calling thread's rules; without "enabled" = "1" they do
// nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlane::query {

struct CityTail {
  std::string city;                       // canonical form
  std::optional<std::string> retry_query;  // five-field shape without its district
};

// A trailing region ("..., city, region" or "..., city - region", either
// optionally followed by a postcode field) and the city before it.
std::optional<CityTail> city_tail(std::string_view q);

// `q` with every bare run of exactly `digits` ASCII digits written as its
// first `split` digits, '-' and the rest; nothing when no run qualifies.
// A run qualifies when neither neighbouring character is '-' or numeric.
// Requires 0 < split < digits.
std::optional<std::string> hyphenate_postcodes(std::string_view q, uint64_t digits, uint64_t split);

}  // namespace vorlane::query
