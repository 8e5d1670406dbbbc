// UTF-8 checking and decoding. The strict validator follows the Unicode
// definition (no overlongs, no surrogates, nothing above U+10FFFF); the lossy
// decoder replaces each maximal ill-formed subpart with one U+FFFD, the
// practice Unicode recommends and that every text of a file is read with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vorlane/base/byte_view.h"

namespace vorlane::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

// One decoding step at `pos`: either a scalar value and its byte length, or
// an ill-formed subpart (`valid` false) whose length is the number of bytes
// that one U+FFFD stands for (at least 1).
struct Step {
  char32_t scalar;
  uint8_t length;
  bool valid;
};
Step decode_step(std::string_view s, size_t pos);

bool is_valid(std::string_view s);
inline bool is_valid(ByteView b) { return is_valid(b.as_string_view()); }

// The text with every maximal ill-formed subpart replaced by U+FFFD.
std::string decode_lossy(std::string_view s);
inline std::string decode_lossy(ByteView b) { return decode_lossy(b.as_string_view()); }

// The scalar values of a text; each maximal ill-formed subpart reads as one
// U+FFFD, as in decode_lossy.
std::u32string decode_scalars(std::string_view s);

// Appends the UTF-8 encoding of a scalar value.
void append(std::string& out, char32_t c);

// Number of scalar values of a valid UTF-8 text.
size_t char_count(std::string_view s);

}  // namespace vorlane::utf8
