// Internal helpers of the norm module: UTF-8 text as code points. Ill-formed
// input is read as U+FFFD per maximal ill-formed subpart, so every function
// of the module returns valid UTF-8 whatever it is given.
#pragma once

#include <string_view>
#include <string>

#include "vorlane/base/utf8.h"

namespace vorlane::norm::detail {

inline std::u32string code_points(std::string_view text) { return utf8::decode_scalars(text); }

// The Cyrillic block U+0400..U+04FF, which decides whether a text or word
// counts as Cyrillic.
constexpr bool in_cyrillic_block(char32_t c) { return c >= 0x0400 && c <= 0x04FF; }

constexpr bool is_ascii_letter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

}  // namespace vorlane::norm::detail
