// UTF-8 decoding, quoting for messages, and number display.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "vorlane/base/format_float.h"
#include "vorlane/base/quote.h"
#include "vorlane/base/strings.h"
#include "vorlane/base/utf8.h"

namespace vorlane {
namespace {

TEST(Utf8, StrictValidatorRefusesEveryIllFormedShape) {
  for (std::string_view valid : {"", "plain ascii", "stra\xc3\x9f" "e \xd1\x83\xd0\xbb",
                                 "\xf4\x8f\xbf\xbf",  // U+10FFFF
                                 "\xed\x9f\xbf"}) {   // U+D7FF, just below surrogates
    EXPECT_TRUE(utf8::is_valid(valid)) << valid;
  }
  for (std::string_view invalid : {
           "\xc0\xaf",          // overlong '/'
           "\xe0\x80\xaf",      // overlong, 3 bytes
           "\xf0\x80\x80\xaf",  // overlong, 4 bytes
           "\xed\xa0\x80",      // surrogate U+D800
           "\xf4\x90\x80\x80",  // above U+10FFFF
           "\xf5\x80\x80\x80",
           "\x80",              // lone continuation
           "\xc3",              // cut short at the end
           "ab\xe2\x82",
       }) {
    EXPECT_FALSE(utf8::is_valid(invalid)) << invalid;
  }
}

TEST(Utf8, LossyDecoderReplacesEachMaximalSubpartOnce) {
  const std::string r = "\xef\xbf\xbd";  // U+FFFD
  const std::pair<std::string_view, std::string> cases[] = {
      {"abc", "abc"},
      {"\xe0\x80", r + r},               // E0 80: two subparts
      {"\xf0\x90\x80\x41", r + "A"},     // one subpart, then A
      {"\xc0\x80", r + r},               // C0 never starts a sequence
      {"\xed\xa0\x80", r + r + r},
      {"a\xff" "b", "a" + r + "b"},
      {"\xe2\x82", r},                   // truncated at the end
      {"\xc3\xa9\x80", "\xc3\xa9" + r},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(utf8::decode_lossy(in), out) << in;
}

TEST(Utf8, AppendAndCountAgreeWithDecoding) {
  const std::u32string chars = U"a\u00e9\u0416\u20ac\U0001F600";
  std::string s;
  for (char32_t c : chars) utf8::append(s, c);
  EXPECT_EQ(s, "a\xc3\xa9\xd0\x96\xe2\x82\xac\xf0\x9f\x98\x80");
  EXPECT_EQ(utf8::char_count(s), 5u);
  std::u32string back;
  for (size_t pos = 0; pos < s.size();) {
    const utf8::Step step = utf8::decode_step(s, pos);
    ASSERT_TRUE(step.valid);
    back.push_back(step.scalar);
    pos += step.length;
  }
  EXPECT_EQ(back, chars);
}

TEST(Quote, EscapesQuotesBackslashesControlsInvisiblesAndBadBytes) {
  const std::string path = std::string("d\"i\\r/O'B\t\xff") + "x\xcc\x81.idx";
  EXPECT_EQ(quote_path(path), R"("d\"i\\r/O'B\t\xFFx\u{301}.idx")");

  const std::pair<std::string, std::string> cases[] = {
      {"", R"("")"}, {std::string("a\0b", 3), R"("a\0b")"}, {"l1\r\nl2", R"("l1\r\nl2")"},
      {"\x01\x7f", R"("\u{1}\u{7f}")"}, {"\xe0\x80", R"("\xE0\x80")"},
      {"caf\xc3\xa9 \xd1\x83\xd0\xbb \xf0\x9f\x98\x80",  // printable stays, emoji too
       "\"caf\xc3\xa9 \xd1\x83\xd0\xbb \xf0\x9f\x98\x80\""},
      {"a\xc2\xa0" "b", R"("a\u{a0}b")"},  // no-break space (Zs)
      {"\xe2\x80\x8b", R"("\u{200b}")"},   // zero-width space (Cf)
      {"\xe2\x80\xa8", R"("\u{2028}")"},   // line separator
      {"\xee\x80\x80", R"("\u{e000}")"},   // private use
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(quote_str(in), out) << in;
}

TEST(FormatF64Display, ShortestDigitsWithoutExponent) {
  const std::pair<double, std::string> cases[] = {
      {0.0, "0"}, {-0.0, "-0"}, {90.5, "90.5"}, {-180.25, "-180.25"}, {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"}, {1e-7, "0.0000001"}, {-1.5e-5, "-0.000015"},
      {123456789.0, "123456789"}, {1e21, "1000000000000000000000"},
      {std::numeric_limits<double>::denorm_min(), "0." + std::string(323, '0') + "5"},
      {std::numeric_limits<double>::max(), "17976931348623157" + std::string(292, '0')},
      {std::nan(""), "NaN"}, {-std::nan(""), "NaN"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(format_f64_display(value), text) << text;
}

TEST(ReplaceAll, NonOverlappingLeftToRight) {
  EXPECT_EQ(replace_all("aaa", "aa", "b"), "ba");
  EXPECT_EQ(replace_all("xax", "a", "aa"), "xaax");
  EXPECT_EQ(replace_all("sss", "ss", "\xc3\x9f"), "\xc3\x9fs");
  EXPECT_EQ(replace_all("abc", "", "x"), "abc");
}

}  // namespace
}  // namespace vorlane
