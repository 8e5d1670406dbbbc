// Unicode services over ICU that several modules share: the canonical
// decomposition and composition normalisers, built once per process, and
// the full lower-case mapping of one character without context.
#pragma once

#include <unicode/normalizer2.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vorlane::norm {

// ICU's NFD and NFC instances. Abort the process when ICU's data is missing:
// without it no text could be compared correctly.
const icu::Normalizer2& nfd();
const icu::Normalizer2& nfc();

// The canonical composition (NFC) of a text; ill-formed UTF-8 is read as
// U+FFFD per maximal ill-formed subpart first.
std::string compose(std::string_view text);

// One character's context-free full lower-case mapping: one character, or
// two for U+0130 ("i" + U+0307). Iterable.
struct FullLowercase {
  std::array<char32_t, 2> chars{};
  size_t count = 0;

  const char32_t* begin() const { return chars.data(); }
  const char32_t* end() const { return chars.data() + count; }
};
FullLowercase full_lowercase(char32_t c);

}  // namespace vorlane::norm
