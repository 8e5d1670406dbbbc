// Conversions between Cyrillic and Latin letters, and folding of Latin
// look-alike letters inside mostly-Cyrillic words. All tables list lower-case
// letters only: callers hand in canonical text (normalize()), and upper-case
// letters are copied. Every function is pure, never fails and returns valid
// UTF-8 (ill-formed input is read as U+FFFD).
#pragma once

#include <string>
#include <string_view>

namespace vorlane::norm {

// Cyrillic letters (U+0430..U+045F) in South Slavic Latin: "љубљана" ->
// "ljubljana", "щука" -> "ščuka"; ъ and ь vanish; й, ё and other letters
// without a South Slavic spelling are copied.
std::string translit_cyr_lat(std::string_view text);

// Cyrillic letters (U+0430..U+04B7) in English-style Latin: "щука" ->
// "shchuka", "объезд" -> "obezd".
std::string translit_cyr_lat_en(std::string_view text);

// Lower-case ASCII letters in Cyrillic, digraphs first ("shchukina" ->
// "щукина"); y becomes й after a Cyrillic vowel, else ы ("kyiv" -> "кыив").
std::string translit_lat_cyr(std::string_view text);

// In each space-separated word with more Cyrillic (U+0400..U+04FF) than
// ASCII letters and at least one ASCII letter, the twelve lower-case Latin
// look-alikes a b c e h k m o p t x y become their Cyrillic twins
// ("мосkва" -> "москва"). Spacing is kept exactly.
std::string fold_homoglyphs(std::string_view text);

// Whether some character of `text` lies in the Cyrillic block
// (U+0400..U+04FF); ill-formed bytes are no character.
bool has_cyrillic(std::string_view text);

}  // namespace vorlane::norm
