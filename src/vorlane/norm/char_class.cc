// Character classes straight from ICU's Unicode properties. ICU's
// u_isalpha/u_isdigit/u_isspace follow POSIX-like definitions and would
// give different keys, so only the property and category tests are used.
// ASCII is answered from its plain ranges, which spares the property lookup
// on the characters most text is made of.
#include "vorlane/norm/char_class.h"

#include <unicode/uchar.h>

namespace vorlane::norm {
namespace {

constexpr bool is_ascii(char32_t c) { return c < 0x80; }
constexpr bool is_ascii_alpha(char32_t c) { return (c | 0x20) >= U'a' && (c | 0x20) <= U'z'; }

}  // namespace

bool is_letter(char32_t c) {
  if (is_ascii(c)) return is_ascii_alpha(c);
  return u_isUAlphabetic(static_cast<UChar32>(c));
}

bool is_alphanumeric(char32_t c) {
  if (is_ascii(c)) return is_ascii_alpha(c) || is_ascii_digit(c);
  const UChar32 u = static_cast<UChar32>(c);
  return u_isUAlphabetic(u) || (U_GET_GC_MASK(u) & U_GC_N_MASK) != 0;
}

bool is_numeric(char32_t c) {
  if (is_ascii(c)) return is_ascii_digit(c);
  return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_N_MASK) != 0;
}

bool is_white_space(char32_t c) {
  if (is_ascii(c)) return c == U' ' || (c >= U'\t' && c <= U'\r');
  return u_isUWhiteSpace(static_cast<UChar32>(c));
}

bool is_mark(char32_t c) {
  if (is_ascii(c)) return false;
  return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_M_MASK) != 0;
}

}  // namespace vorlane::norm
