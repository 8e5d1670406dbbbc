// Properties of the canonical form over generated corpora: its shape (no
// space at either end, never two in a row, valid UTF-8), idempotence, and the
// ASCII shortcut agreeing byte for byte with the Unicode path.
#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <random>
#include <string>
#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/norm/normalize.h"

namespace vorlane::norm {
namespace {

std::string encode(const std::vector<char32_t>& chars) {
  std::string out;
  for (const char32_t c : chars) utf8::append(out, c);
  return out;
}

std::string encode(char32_t c) { return encode(std::vector<char32_t>{c}); }

bool is_scalar(char32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }

// Returns an empty text when `s` has the canonical shape, else what is wrong.
std::string shape_fault(const std::string& s) {
  if (!utf8::is_valid(s)) return "ill-formed UTF-8";
  if (!s.empty() && s.front() == ' ') return "leading space";
  if (!s.empty() && s.back() == ' ') return "trailing space";
  if (s.find("  ") != std::string::npos) return "double space";
  return {};
}

// Characters that exercise every rule: hyphens and digits for ranges, letters
// of several scripts, separators of every kind, marks, decomposable and
// case-special letters, non-ASCII digits, and symbols near the separator
// ranges.
const std::vector<char32_t>& interesting_chars() {
  static const std::vector<char32_t> chars = {
      U'-', U'-', U'-', U'0', U'1', U'4', U'9', U'a', U'Z', U'x', U' ', U' ', U'.', U',', U'\'',
      U'/', U'(', U'#', U'\t', U'\n', 0x00, 0x7F, 0x85, 0xA0, U'é', U'É', U'ß', U'Ł', U'Đ',
      0x0130, 0x0131, U'Σ', U'ς', 0x0301, 0x0323, 0x20DD, 0x0903, U'ж', U'Ж', U'ё', U'ђ',
      0xD55C, 0x1100, U'١', U'１', U'²', U'Ⅻ', U'ﬁ', U'Ａ', 0x01C5, 0x2260, 0x2212, 0x2192, 0x2010,
      0x2013, 0x200B, 0x200D, 0x202E, 0x2018, 0x201C, 0x02BB, 0xFE0F, 0x1F600, 0x1FEF, 0x037E,
      0x212B, 0x1E9E, 0x10400, 0xFFFD, 0x3000,
  };
  return chars;
}

std::vector<std::string> generated_corpus(size_t count, size_t max_length, uint32_t seed) {
  const std::vector<char32_t>& alphabet = interesting_chars();
  std::mt19937 rng(seed);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::vector<std::string> corpus;
  corpus.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::vector<char32_t> chars(length(rng));
    for (char32_t& c : chars) c = alphabet[pick(rng)];
    corpus.push_back(encode(chars));
  }
  return corpus;
}

TEST(NormalizeProperties, GeneratedCorpusHasCanonicalShapeAndIsIdempotent) {
  for (const std::string& text : generated_corpus(30000, 24, 20240601)) {
    const std::string once = normalize(text);
    ASSERT_EQ(shape_fault(once), "") << text;
    ASSERT_EQ(normalize(once), once) << text;
  }
}

TEST(NormalizeProperties, EveryCodePointAloneAndBetweenLetters) {
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (!is_scalar(c)) continue;
    for (const std::string& text : {encode(c), encode({U'a', c, U'b'}), encode({U'1', U'2', U'3', U'4', c})}) {
      const std::string once = detail::normalize_unicode(text);
      ASSERT_EQ(shape_fault(once), "") << std::hex << "U+" << static_cast<uint32_t>(c);
      ASSERT_EQ(detail::normalize_unicode(once), once) << std::hex << "U+" << static_cast<uint32_t>(c);
    }
  }
}

::testing::AssertionResult same_paths(const std::string& text) {
  const std::string shortcut = detail::normalize_ascii(text);
  const std::string general = detail::normalize_unicode(text);
  if (shortcut == general) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << text << "\": ASCII path \"" << shortcut
                                       << "\", Unicode path \"" << general << '"';
}

TEST(NormalizeProperties, AsciiShortcutMatchesUnicodePath) {
  // Every text of up to two ASCII characters.
  for (int a = -1; a < 128; ++a) {
    for (int b = 0; b < 128; ++b) {
      std::string text;
      if (a >= 0) text.push_back(static_cast<char>(a));
      text.push_back(static_cast<char>(b));
      ASSERT_TRUE(same_paths(text));
    }
  }
  // Every text of up to six characters over one representative of each
  // class the rules tell apart.
  const std::string classes = "aZ09- .#\t";
  std::vector<size_t> digits;
  for (size_t length = 0; length <= 6; ++length) {
    digits.assign(length, 0);
    while (true) {
      std::string text;
      for (const size_t d : digits) text.push_back(classes[d]);
      ASSERT_TRUE(same_paths(text));
      size_t k = 0;
      while (k < length && ++digits[k] == classes.size()) digits[k++] = 0;
      if (k == length) break;
    }
  }
  // Random address-like texts over all of ASCII, biased toward hyphens and
  // digits.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> any(0, 127);
  std::uniform_int_distribution<int> biased(0, 3);
  std::uniform_int_distribution<size_t> length(0, 48);
  const std::string common = "-0123456789 abcXYZ.,'";
  std::uniform_int_distribution<size_t> pick_common(0, common.size() - 1);
  for (int i = 0; i < 50000; ++i) {
    std::string text(length(rng), ' ');
    for (char& c : text) c = biased(rng) == 0 ? static_cast<char>(any(rng)) : common[pick_common(rng)];
    ASSERT_TRUE(same_paths(text));
    ASSERT_EQ(normalize(text), detail::normalize_unicode(text));
  }
}

// The folding takes the simple lowercase mapping per character, with one
// exception for U+0130. That is the full context-free lowercase mapping only
// if no other character has a multi-character full mapping: check it against
// ICU's full case mapping, one character at a time in the root locale.
TEST(NormalizeProperties, SimpleLowercaseIsTheFullMappingExceptForCapitalIWithDot) {
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (!is_scalar(c)) continue;
    UChar in[2];
    int32_t in_length = 0;
    U16_APPEND_UNSAFE(in, in_length, static_cast<UChar32>(c));
    UChar out[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t out_length = u_strToLower(out, 8, in, in_length, "", &status);
    ASSERT_TRUE(U_SUCCESS(status));
    UChar expected[4];
    int32_t expected_length = 0;
    if (c == 0x0130) {
      U16_APPEND_UNSAFE(expected, expected_length, 0x69);
      U16_APPEND_UNSAFE(expected, expected_length, 0x0307);
    } else {
      U16_APPEND_UNSAFE(expected, expected_length, u_tolower(static_cast<UChar32>(c)));
    }
    ASSERT_EQ(std::u16string(out, out + out_length), std::u16string(expected, expected + expected_length))
        << std::hex << "U+" << static_cast<uint32_t>(c);
  }
}

// Sheet keys were written with the Unicode data of one version; other data
// would form other keys for some texts. Moving to another ICU is a change of
// the key format and must be a decision, not a side effect of an upgrade.
TEST(NormalizeProperties, UnicodeDataVersionIsPinned) {
  UVersionInfo version;
  u_getUnicodeVersion(version);
  char text[U_MAX_VERSION_STRING_LENGTH];
  u_versionToString(version, text);
  EXPECT_STREQ(text, "15.0");
}

}  // namespace
}  // namespace vorlane::norm
