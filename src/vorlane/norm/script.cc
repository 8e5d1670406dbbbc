// Cyrillic/Latin transliteration tables and look-alike folding. The tables
// are fixed and list lower-case letters only; a character outside a table
// is copied unchanged. Tables are written as (letter, spelling) pairs and
// turned into dense arrays over their code-point range at compile time, so
// a lookup is one bounds test and one load.
#include "vorlane/norm/script.h"

#include <array>
#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/norm/code_points.h"

namespace vorlane::norm {
namespace {

struct Spelling {
  char32_t letter;
  const char* text;  // UTF-8; "" drops the letter
};

// A dense table over [First, First + N): nullptr means "copy the character".
template <char32_t First, size_t N>
struct DenseTable {
  std::array<const char*, N> entries{};

  const char* find(char32_t c) const { return c >= First && c - First < N ? entries[c - First] : nullptr; }
};

template <char32_t First, size_t N, size_t M>
constexpr DenseTable<First, N> make_table(const Spelling (&spellings)[M]) {
  DenseTable<First, N> table;
  for (const Spelling& s : spellings) table.entries[s.letter - First] = s.text;
  return table;
}

// South Slavic spelling, looked up for U+0430..U+045F. Not listed although in
// range, hence copied: й ѐ ё ѓ є ѕ і ї ќ ѝ ў.
constexpr Spelling kCyrLat[] = {
    {U'а', "a"}, {U'б', "b"}, {U'в', "v"}, {U'г', "g"},  {U'д', "d"},  {U'е', "e"},
    {U'ж', "ž"}, {U'з', "z"}, {U'и', "i"}, {U'к', "k"},  {U'л', "l"},  {U'м', "m"},
    {U'н', "n"}, {U'о', "o"}, {U'п', "p"}, {U'р', "r"},  {U'с', "s"},  {U'т', "t"},
    {U'у', "u"}, {U'ф', "f"}, {U'х', "h"}, {U'ц', "c"},  {U'ч', "č"},  {U'ш', "š"},
    {U'щ', "šč"}, {U'ъ', ""}, {U'ы', "i"}, {U'ь', ""},   {U'э', "e"},  {U'ю', "ju"},
    {U'я', "ja"}, {U'ђ', "đ"}, {U'ј', "j"}, {U'љ', "lj"}, {U'њ', "nj"}, {U'ћ', "ć"},
    {U'џ', "dž"},
};
constexpr auto kCyrLatTable = make_table<0x0430, 0x0460 - 0x0430>(kCyrLat);

// English-style spelling, looked up for U+0430..U+04B7 (Russian plus the
// Uzbek and Tajik letters ў ғ қ ҳ ҷ); every other letter of the range is
// copied.
constexpr Spelling kCyrLatEn[] = {
    {U'а', "a"},  {U'б', "b"},  {U'в', "v"},  {U'г', "g"},    {U'д', "d"},  {U'е', "e"},
    {U'ж', "zh"}, {U'з', "z"},  {U'и', "i"},  {U'й', "y"},    {U'к', "k"},  {U'л', "l"},
    {U'м', "m"},  {U'н', "n"},  {U'о', "o"},  {U'п', "p"},    {U'р', "r"},  {U'с', "s"},
    {U'т', "t"},  {U'у', "u"},  {U'ф', "f"},  {U'х', "h"},    {U'ц', "ts"}, {U'ч', "ch"},
    {U'ш', "sh"}, {U'щ', "shch"}, {U'ъ', ""}, {U'ы', "i"},    {U'ь', ""},   {U'э', "e"},
    {U'ю', "yu"}, {U'я', "ya"}, {U'ё', "yo"}, {U'ў', "o"},    {U'ғ', "g"},  {U'қ', "q"},
    {U'ҳ', "h"},  {U'ҷ', "j"},
};
constexpr auto kCyrLatEnTable = make_table<0x0430, 0x04B8 - 0x0430>(kCyrLatEn);

template <char32_t First, size_t N>
std::string transliterate(std::string_view text, const DenseTable<First, N>& table) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (const char32_t c : detail::code_points(text)) {
    if (const char* spelled = table.find(c)) {
      out += spelled;
    } else {
      utf8::append(out, c);
    }
  }
  return out;
}

// Latin to Cyrillic: digraphs in the order they are tried (the longer
// spellings of щ first, so "shch" is one letter).
struct Digraph {
  std::u32string_view latin;
  char32_t cyrillic;
};
constexpr Digraph kDigraphs[] = {
    {U"shch", U'щ'}, {U"sch", U'щ'}, {U"zh", U'ж'}, {U"kh", U'х'}, {U"ch", U'ч'},
    {U"sh", U'ш'},   {U"yo", U'ё'},  {U"yu", U'ю'}, {U"ya", U'я'},
};

// a..z; y is decided by the letter before it (see below), so its entry is 0.
constexpr std::array<char32_t, 26> kLatCyrLetters = {
    U'а', U'б', U'к', U'д', U'е', U'ф', U'г', U'х', U'и', U'й', U'к', U'л', U'м',
    U'н', U'о', U'п', U'к', U'р', U'с', U'т', U'у', U'в', U'в', U'х', 0,    U'з',
};

constexpr bool is_cyrillic_vowel(char32_t c) {
  switch (c) {
    case U'а': case U'е': case U'и': case U'о': case U'у':
    case U'ы': case U'э': case U'ю': case U'я': case U'ё':
      return true;
    default:
      return false;
  }
}

bool starts_with_at(const std::u32string& chars, size_t i, std::u32string_view s) {
  if (chars.size() - i < s.size()) return false;
  for (size_t k = 0; k < s.size(); ++k) {
    if (chars[i + k] != s[k]) return false;
  }
  return true;
}

// The look-alike table: lower-case Latin letter -> Cyrillic twin, 0 = none.
constexpr char32_t homoglyph_of(char32_t c) {
  switch (c) {
    case U'a': return U'а';
    case U'b': return U'в';
    case U'c': return U'с';
    case U'e': return U'е';
    case U'h': return U'н';
    case U'k': return U'к';
    case U'm': return U'м';
    case U'o': return U'о';
    case U'p': return U'р';
    case U't': return U'т';
    case U'x': return U'х';
    case U'y': return U'у';
    default: return 0;
  }
}

// One space-separated piece of fold_homoglyphs.
void fold_word(const std::u32string& chars, size_t begin, size_t end, std::string& out) {
  size_t cyrillic = 0;
  size_t latin = 0;
  for (size_t i = begin; i < end; ++i) {
    if (detail::in_cyrillic_block(chars[i])) ++cyrillic;
    if (detail::is_ascii_letter(chars[i])) ++latin;
  }
  const bool fold = latin >= 1 && cyrillic > latin;
  for (size_t i = begin; i < end; ++i) {
    const char32_t twin = fold ? homoglyph_of(chars[i]) : 0;
    utf8::append(out, twin != 0 ? twin : chars[i]);
  }
}

}  // namespace

std::string translit_cyr_lat(std::string_view text) { return transliterate(text, kCyrLatTable); }

std::string translit_cyr_lat_en(std::string_view text) { return transliterate(text, kCyrLatEnTable); }

std::string translit_lat_cyr(std::string_view text) {
  const std::u32string chars = detail::code_points(text);
  std::string out;
  out.reserve(text.size() * 2);
  char32_t last_written = 0;
  const auto write = [&](char32_t c) {
    utf8::append(out, c);
    last_written = c;
  };
  size_t i = 0;
  while (i < chars.size()) {
    const Digraph* match = nullptr;
    for (const Digraph& d : kDigraphs) {
      if (starts_with_at(chars, i, d.latin)) {
        match = &d;
        break;
      }
    }
    if (match != nullptr) {
      write(match->cyrillic);
      i += match->latin.size();
      continue;
    }
    const char32_t c = chars[i];
    if (c == U'y') {
      write(is_cyrillic_vowel(last_written) ? U'й' : U'ы');
    } else if (c >= U'a' && c <= U'z') {
      write(kLatCyrLetters[c - U'a']);
    } else {
      write(c);
    }
    ++i;
  }
  return out;
}

std::string fold_homoglyphs(std::string_view text) {
  const std::u32string chars = detail::code_points(text);
  bool any_latin = false;
  bool any_cyrillic = false;
  for (const char32_t c : chars) {
    any_latin = any_latin || detail::is_ascii_letter(c);
    any_cyrillic = any_cyrillic || detail::in_cyrillic_block(c);
  }
  std::string out;
  if (!any_latin || !any_cyrillic) {
    for (const char32_t c : chars) utf8::append(out, c);
    return out;
  }
  out.reserve(text.size() + 8);
  size_t begin = 0;
  for (size_t i = 0; i <= chars.size(); ++i) {
    if (i == chars.size() || chars[i] == U' ') {
      fold_word(chars, begin, i, out);
      if (i < chars.size()) out.push_back(' ');
      begin = i + 1;
    }
  }
  return out;
}

bool has_cyrillic(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Step step = utf8::decode_step(text, pos);
    if (step.valid && step.scalar >= 0x0400 && step.scalar <= 0x04FF) return true;
    pos += step.length;
  }
  return false;
}

}  // namespace vorlane::norm
