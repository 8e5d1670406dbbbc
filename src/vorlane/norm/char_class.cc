// Character classes straight from ICU's Unicode properties. ICU's
// u_isalpha/u_isdigit/u_isspace follow POSIX-like definitions and would
// give different keys, so only the property and category tests are used.
#include "vorlane/norm/char_class.h"

#include <unicode/uchar.h>

namespace vorlane::norm {

bool is_letter(char32_t c) { return u_isUAlphabetic(static_cast<UChar32>(c)); }

bool is_alphanumeric(char32_t c) {
  const UChar32 u = static_cast<UChar32>(c);
  return u_isUAlphabetic(u) || (U_GET_GC_MASK(u) & U_GC_N_MASK) != 0;
}

bool is_numeric(char32_t c) {
  return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_N_MASK) != 0;
}

bool is_white_space(char32_t c) { return u_isUWhiteSpace(static_cast<UChar32>(c)); }

bool is_mark(char32_t c) { return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_M_MASK) != 0; }

}  // namespace vorlane::norm
