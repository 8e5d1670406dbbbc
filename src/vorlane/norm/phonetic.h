// The sound-alike key: lets spellings that sound the same meet in the word
// dictionary ("kiev" and "kyiv" -> "kiv", "москва" and "moskva" -> "moskvo").
#pragma once

#include <string>
#include <string_view>

namespace vorlane::norm {

// Cyrillic text is first spelled in English-style Latin, then brought into
// canonical form; within each word the sound groups {a o u} {e i y} {q k}
// {x h} {w v} fold to one letter and repeats of a character collapse.
// Pure, total; "" gives "".
std::string phonetic_key(std::string_view text);

}  // namespace vorlane::norm
