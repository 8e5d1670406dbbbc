// Properties of the canonical form over generated corpora: its shape (no
// space at either end, never two in a row, valid UTF-8), idempotence, the
// ASCII shortcut agreeing byte for byte with the Unicode path, and the
// Unicode data the keys depend on.
#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <random>
#include <string>
#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/unicode_data.h"

namespace vorlane::norm {
namespace {

std::string encode(const std::vector<char32_t>& chars) {
  std::string out;
  for (const char32_t c : chars) utf8::append(out, c);
  return out;
}

// Fails unless `once` has the canonical shape and normalizes to itself.
::testing::AssertionResult canonical(const std::string& once, const std::string& input) {
  const char* fault = !utf8::is_valid(once)                    ? "ill-formed UTF-8"
                      : once.starts_with(' ')                  ? "leading space"
                      : once.ends_with(' ')                    ? "trailing space"
                      : once.find("  ") != std::string::npos   ? "double space"
                      : detail::normalize_unicode(once) != once ? "not idempotent"
                                                               : nullptr;
  if (fault == nullptr) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << fault << ": \"" << input << "\" -> \"" << once << '"';
}

TEST(NormalizeProperties, GeneratedCorpusHasCanonicalShapeAndIsIdempotent) {
  // Characters that exercise every rule: hyphens and digits for ranges,
  // letters of several scripts, separators of every kind, marks,
  // decomposable and case-special letters, non-ASCII digits, and symbols
  // near the separator ranges.
  const std::vector<char32_t> alphabet = {
      U'-', U'-', U'-', U'0', U'1', U'4', U'9', U'a', U'Z', U'x', U' ', U' ', U'.', U',', U'\'',
      U'/', U'(', U'#', U'\t', U'\n', 0x00, 0x7F, 0x85, 0xA0, U'é', U'É', U'ß', U'Ł', U'Đ',
      0x0130, 0x0131, U'Σ', U'ς', 0x0301, 0x0323, 0x20DD, 0x0903, U'ж', U'Ж', U'ё', U'ђ',
      0xD55C, 0x1100, U'١', U'１', U'²', U'Ⅻ', U'ﬁ', U'Ａ', 0x01C5, 0x2260, 0x2212, 0x2192, 0x2010,
      0x2013, 0x200B, 0x200D, 0x202E, 0x2018, 0x201C, 0x02BB, 0xFE0F, 0x1F600, 0x1FEF, 0x037E,
      0x212B, 0x1E9E, 0x10400, 0xFFFD, 0x3000,
  };
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1), length(0, 24);
  for (int i = 0; i < 30000; ++i) {
    std::vector<char32_t> chars(length(rng));
    for (char32_t& c : chars) c = alphabet[pick(rng)];
    const std::string text = encode(chars);
    ASSERT_TRUE(canonical(normalize(text), text));
  }
}

// Each assigned code point alone, between letters and after a digit run. Unassigned,
// private-use and surrogate code points have no case, decomposition or
// letter property, so a few stand for all of them.
TEST(NormalizeProperties, EveryAssignedCodePointInThreeContexts) {
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    const int8_t type = u_charType(static_cast<UChar32>(c));
    if (type == U_SURROGATE) continue;
    if ((type == U_UNASSIGNED || type == U_PRIVATE_USE_CHAR) &&
        c != 0x0378 && c != 0x2B74 && c != 0x1FFFF && c != 0xE000 && c != 0x10FFFF) {
      continue;
    }
    for (const std::string& text :
         {encode({c}), encode({U'a', c, U'b'}), encode({U'1', U'2', U'3', U'4', c})}) {
      ASSERT_TRUE(canonical(detail::normalize_unicode(text), text));
    }
  }
}

::testing::AssertionResult same_paths(const std::string& text) {
  const std::string shortcut = detail::normalize_ascii(text);
  const std::string general = detail::normalize_unicode(text);
  if (shortcut == general && normalize(text) == general) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << text << "\": ASCII path \"" << shortcut
                                       << "\", Unicode path \"" << general << '"';
}

TEST(NormalizeProperties, AsciiShortcutMatchesUnicodePath) {
  // Every text of up to two ASCII characters.
  for (int a = -1; a < 128; ++a) {
    for (int b = 0; b < 128; ++b) {
      ASSERT_TRUE(same_paths((a < 0 ? "" : std::string(1, char(a))) + char(b)));
    }
  }
  // Every text of up to six characters over one representative of each
  // class the rules tell apart.
  const std::string classes = "aZ09- .#\t";
  for (size_t length = 0; length <= 6; ++length) {
    std::vector<size_t> digits(length, 0);
    size_t k;
    do {
      std::string text;
      for (const size_t d : digits) text.push_back(classes[d]);
      ASSERT_TRUE(same_paths(text));
      for (k = 0; k < length && ++digits[k] == classes.size(); ++k) digits[k] = 0;
    } while (k < length);
  }
  // Random address-like texts over all of ASCII, biased toward hyphens and
  // digits.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> any(0, 127), biased(0, 3);
  std::uniform_int_distribution<size_t> length(0, 48);
  const std::string common = "-0123456789 abcXYZ.,'";
  std::uniform_int_distribution<size_t> pick_common(0, common.size() - 1);
  for (int i = 0; i < 50000; ++i) {
    std::string text(length(rng), ' ');
    for (char& c : text) c = biased(rng) == 0 ? char(any(rng)) : common[pick_common(rng)];
    ASSERT_TRUE(same_paths(text));
  }
}

// full_lowercase takes the simple lowercase mapping per character, with one
// exception for U+0130. That is the full context-free lowercase mapping only
// if no other character has a multi-character full mapping: check it against
// ICU's full case mapping in the root locale, so a change of Unicode data
// that breaks the claim is caught.
TEST(NormalizeProperties, SimpleLowercaseIsTheFullMappingExceptForCapitalIWithDot) {
  for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
    if (U_IS_SURROGATE(c)) continue;
    icu::UnicodeString full(c);
    full.toLower(icu::Locale::getRoot());
    icu::UnicodeString mapped;
    for (const char32_t lower : full_lowercase(static_cast<char32_t>(c))) {
      mapped.append(static_cast<UChar32>(lower));
    }
    ASSERT_TRUE(full == mapped) << std::hex << "U+" << c;
  }
}

// The class tests answer ASCII from plain ranges; they must agree with the
// properties themselves.
TEST(NormalizeProperties, AsciiCharacterClassesAreTheUnicodeProperties) {
  for (UChar32 c = 0; c < 0x80; ++c) {
    const auto ch = static_cast<char32_t>(c);
    EXPECT_EQ(is_letter(ch), bool(u_isUAlphabetic(c))) << c;
    EXPECT_EQ(is_alphanumeric(ch), u_isUAlphabetic(c) || (U_GET_GC_MASK(c) & U_GC_N_MASK)) << c;
    EXPECT_EQ(is_white_space(ch), bool(u_isUWhiteSpace(c))) << c;
    EXPECT_EQ(is_mark(ch), (U_GET_GC_MASK(c) & U_GC_M_MASK) != 0) << c;
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
