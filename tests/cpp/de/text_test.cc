#include "vorlane/de/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vorlane/norm/char_class.h"

namespace vorlane::de {
namespace {

using Words = std::vector<std::string_view>;
using Split = std::optional<std::pair<std::string_view, std::string_view>>;

TEST(DeText, WhiteSpaceSplittingCutsWholeCharacters) {
  const struct {
    std::string_view text, trimmed;
    Words words;
    Split first, last;
  } cases[] = {
      {"", "", {}, {}, {}},
      {" \t\u00A0", "", {}, {{"", "\t\u00A0"}}, {{" \t", ""}}},
      {"\u3000Berlin  Mitte\u00A0", "Berlin  Mitte", {"Berlin", "Mitte"},
       {{"", "Berlin  Mitte\u00A0"}}, {{"\u3000Berlin  Mitte", ""}}},
      {"x\u00A0y", "x\u00A0y", {"x", "y"}, {{"x", "y"}}, {{"x", "y"}}},
      {"x y ", "x y", {"x", "y"}, {{"x", "y "}}, {{"x y", ""}}},
      // Ill-formed bytes (a lone lead, a lone U+00A0 tail) are never white space.
      {"\xC3 x\xA0", "\xC3 x\xA0", {"\xC3", "x\xA0"}, {{"\xC3", "x\xA0"}}, {{"\xC3", "x\xA0"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(trim_white_space(c.text), c.trimmed) << c.text;
    EXPECT_EQ(split_white_space(c.text), c.words) << c.text;
    EXPECT_EQ(split_at_first_white_space(c.text), c.first) << c.text;
    EXPECT_EQ(split_at_last_white_space(c.text), c.last) << c.text;
  }
  for (char32_t c = 0; c < 0x80; ++c) {
    const std::string one(1, static_cast<char>(c));
    EXPECT_EQ(split_white_space(one).empty(), norm::is_white_space(c)) << static_cast<int>(c);
  }
  // Every White_Space character beyond ASCII separates words; characters
  // sharing its lead byte, and Cyrillic or German letters, do not.
  for (std::string_view space : {"\u0085", "\u00A0", "\u1680", "\u2000", "\u2009", "\u200A",
                                 "\u2028", "\u2029", "\u202F", "\u205F", "\u3000"}) {
    const std::string text = "stra\u00DFe" + std::string(space) + "\u0442 5";
    EXPECT_EQ(split_white_space(text), (Words{"stra\u00DFe", "\u0442", "5"})) << text;
  }
  for (std::string_view other : {"\u00A9", "\u1681", "\u2010", "\u3001", "\xE2", "\xC2"}) {
    const std::string text = "a" + std::string(other) + "b  \u0434";
    EXPECT_EQ(split_white_space(text), (Words{"a" + std::string(other) + "b", "\u0434"})) << text;
  }
}

TEST(DeText, HouseNumberShapes) {
  const struct {
    std::string_view text;
    bool endpoint, paren_endpoint, paren_expression, ends_with_house, address_field;
  } cases[] = {
      {"12", true, true, true, true, false},
      {"1234b", true, true, true, true, true},
      {"12\u00E4", true, false, false, true, true},
      {"12345a", false, true, true, false, false},
      {"123456", false, false, false, false, false},
      {"", false, false, false, false, false},
      {"12ab", false, false, false, false, false},
      {"12-", false, false, false, false, false},
      {"12-14a", false, false, true, true, true},
      {"3/4", false, false, true, true, false},
      {"12--14", false, false, false, false, false},
      {"Weg 7a\u20137c", false, false, false, true, true},
      {"Hauptstr. 12 a", false, false, false, true, true},
      {"Hauptstr. 12-14-16", false, false, false, false, false},
      {"12 ab", false, false, false, false, false},
      {"12 \xC3", false, false, false, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bounded_house_endpoint(c.text), c.endpoint) << c.text;
    EXPECT_EQ(bounded_parenthetical_house_endpoint(c.text), c.paren_endpoint) << c.text;
    EXPECT_EQ(bounded_parenthetical_house_expression(c.text), c.paren_expression) << c.text;
    EXPECT_EQ(ends_with_bounded_house(c.text), c.ends_with_house) << c.text;
    EXPECT_EQ(is_address_field(c.text), c.address_field) << c.text;
  }
}

TEST(DeText, TokenPhrasesAndRangeSeparators) {
  for (const std::string_view text : {"z hd", "z hd empfang", "an z hd", "a z hdx z hd b"}) {
    EXPECT_TRUE(contains_token_phrase(text, "z hd")) << text;
  }
  for (const std::string_view text : {"xz hd", "z hdy", ""}) {
    EXPECT_FALSE(contains_token_phrase(text, "z hd")) << text;
  }
  const std::pair<std::string_view, std::string_view> ranges[] = {
      {"12-14", "12 14"}, {"12\u201314", "12 14"}, {"A-1", "A-1"},       {"1 - 2", "1 - 2"},
      {"-1", "-1"},       {"3/4", "3/4"},          {"1-2-3", "1 2 3"}, {"\xE2\x80-1", "\xE2\x80-1"},
  };
  for (const auto& [text, spaced] : ranges) EXPECT_EQ(range_separators_to_spaces(text), spaced);
}

}  // namespace
}  // namespace vorlane::de
