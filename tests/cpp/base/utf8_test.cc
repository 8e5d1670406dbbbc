#include "vorlane/base/utf8.h"

#include <gtest/gtest.h>

namespace vorlane::utf8 {
namespace {

TEST(Utf8, StrictValidatorRefusesEveryIllFormedShape) {
  EXPECT_TRUE(is_valid(""));
  EXPECT_TRUE(is_valid("plain ascii"));
  EXPECT_TRUE(is_valid("stra\xc3\x9f" "e \xd1\x83\xd0\xbb"));
  EXPECT_TRUE(is_valid("\xf4\x8f\xbf\xbf"));       // U+10FFFF
  EXPECT_TRUE(is_valid("\xed\x9f\xbf"));           // U+D7FF, just below surrogates
  EXPECT_FALSE(is_valid("\xc0\xaf"));              // overlong '/'
  EXPECT_FALSE(is_valid("\xe0\x80\xaf"));          // overlong, 3 bytes
  EXPECT_FALSE(is_valid("\xf0\x80\x80\xaf"));      // overlong, 4 bytes
  EXPECT_FALSE(is_valid("\xed\xa0\x80"));          // surrogate U+D800
  EXPECT_FALSE(is_valid("\xf4\x90\x80\x80"));      // above U+10FFFF
  EXPECT_FALSE(is_valid("\xf5\x80\x80\x80"));
  EXPECT_FALSE(is_valid("\x80"));                  // lone continuation
  EXPECT_FALSE(is_valid("\xc3"));                  // cut short at the end
  EXPECT_FALSE(is_valid("ab\xe2\x82"));
}

TEST(Utf8, LossyDecoderReplacesEachMaximalSubpartOnce) {
  struct Case {
    std::string_view in, out;
  } cases[] = {
      {"abc", "abc"},
      {"\xe0\x80", "\xef\xbf\xbd\xef\xbf\xbd"},            // E0 80: two subparts
      {"\xf0\x90\x80\x41", "\xef\xbf\xbd" "A"},            // one subpart, then A
      {"\xc0\x80", "\xef\xbf\xbd\xef\xbf\xbd"},            // C0 never starts a sequence
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {"a\xff" "b", "a\xef\xbf\xbd" "b"},
      {"\xe2\x82", "\xef\xbf\xbd"},                        // truncated at the end
      {"\xc3\xa9\x80", "\xc3\xa9\xef\xbf\xbd"},
  };
  for (const auto& c : cases) EXPECT_EQ(decode_lossy(c.in), c.out) << c.in;
}

TEST(Utf8, AppendAndCountAgreeWithDecoding) {
  std::string s;
  for (char32_t c : {U'a', U'\u00e9', U'\u0416', U'\u20ac', U'\U0001F600'}) append(s, c);
  EXPECT_EQ(s, "a\xc3\xa9\xd0\x96\xe2\x82\xac\xf0\x9f\x98\x80");
  EXPECT_EQ(char_count(s), 5u);
  size_t pos = 0;
  std::u32string back;
  while (pos < s.size()) {
    Step st = decode_step(s, pos);
    ASSERT_TRUE(st.valid);
    back.push_back(st.scalar);
    pos += st.length;
  }
  EXPECT_EQ(back, U"a\u00e9\u0416\u20ac\U0001F600");
}

}  // namespace
}  // namespace vorlane::utf8
