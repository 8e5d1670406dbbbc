// Internal helpers of the norm module: UTF-8 text as code points. Ill-formed
// input is read as U+FFFD per maximal ill-formed subpart, so every function
// of the module returns valid UTF-8 whatever it is given.
#pragma once

#include <string_view>
#include <vector>

#include "vorlane/base/utf8.h"

namespace vorlane::norm::detail {

inline std::vector<char32_t> code_points(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const utf8::Step step = utf8::decode_step(text, pos);
    out.push_back(step.valid ? step.scalar : utf8::kReplacement);
    pos += step.length;
  }
  return out;
}

// The Cyrillic block U+0400..U+04FF, which decides whether a text or word
// counts as Cyrillic.
constexpr bool in_cyrillic_block(char32_t c) { return c >= 0x0400 && c <= 0x04FF; }

constexpr bool is_ascii_letter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

}  // namespace vorlane::norm::detail
