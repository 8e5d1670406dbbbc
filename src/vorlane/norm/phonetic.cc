// The sound-alike key. It runs on canonical text, so the sound groups only
// need lower-case ASCII letters; Cyrillic input is spelled in English-style
// Latin first so that "москва" and "moskva" meet. Repeats are judged on the
// mapped character, so doubled letters and neighbours of one group collapse.
#include "vorlane/norm/phonetic.h"

#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/norm/code_points.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/script.h"

namespace vorlane::norm {
namespace {

constexpr char32_t sound_group(char32_t c) {
  switch (c) {
    case U'a': case U'o': case U'u': return U'o';
    case U'e': case U'i': case U'y': return U'i';
    case U'q': case U'k': return U'k';
    case U'x': case U'h': return U'h';
    case U'w': case U'v': return U'v';
    default: return c;
  }
}

bool has_cyrillic(const std::u32string& chars) {
  for (const char32_t c : chars) {
    if (detail::in_cyrillic_block(c)) return true;
  }
  return false;
}

}  // namespace

std::string phonetic_key(std::string_view text) {
  const std::string canonical =
      has_cyrillic(detail::code_points(text)) ? normalize(translit_cyr_lat_en(text)) : normalize(text);
  std::string out;
  out.reserve(canonical.size());
  char32_t last = 0;  // 0: nothing written in this word yet
  for (const char32_t c : detail::code_points(canonical)) {
    if (c == U' ') {
      out.push_back(' ');
      last = 0;
      continue;
    }
    const char32_t mapped = sound_group(c);
    if (mapped == last) continue;
    utf8::append(out, mapped);
    last = mapped;
  }
  return out;
}

}  // namespace vorlane::norm
