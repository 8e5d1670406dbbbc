#include "vorlane/de/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vorlane/norm/char_class.h"

namespace vorlane::de {
namespace {

using Words = std::vector<std::string_view>;

TEST(DeText, WhiteSpaceSplittingCutsWholeCharacters) {
  const struct {
    std::string_view text;
    std::string_view trimmed;
    Words words;
    std::string_view first_before, first_after, last_before, last_after;
  } cases[] = {
      {"", "", {}, "-", "-", "-", "-"},
      {" \t\u00A0", "", {}, "", "\t\u00A0", " \t", ""},
      {"\u3000Berlin  Mitte\u00A0", "Berlin  Mitte", {"Berlin", "Mitte"}, "", "Berlin  Mitte\u00A0",
       "\u3000Berlin  Mitte", ""},
      {"12\u2009a", "12\u2009a", {"12", "a"}, "12", "a", "12", "a"},
      // Ill-formed bytes are part of a word, never white space.
      {"\xC3 x\xA0", "\xC3 x\xA0", {"\xC3", "x\xA0"}, "\xC3", "x\xA0", "\xC3", "x\xA0"},
  };
  for (char32_t c = 0; c < 0x80; ++c) {
    EXPECT_EQ(split_white_space(std::string(1, static_cast<char>(c))).empty(),
              norm::is_white_space(c)) << static_cast<int>(c);
  }
  for (const auto& c : cases) {
    EXPECT_EQ(trim_white_space(c.text), c.trimmed) << c.text;
    EXPECT_EQ(split_white_space(c.text), c.words) << c.text;
    const auto first = split_at_first_white_space(c.text);
    const auto last = split_at_last_white_space(c.text);
    if (c.first_before == "-") {
      EXPECT_FALSE(first || last) << c.text;
      continue;
    }
    ASSERT_TRUE(first && last) << c.text;
    EXPECT_EQ(*first, std::pair(c.first_before, c.first_after)) << c.text;
    EXPECT_EQ(*last, std::pair(c.last_before, c.last_after)) << c.text;
  }
}

TEST(DeText, HouseNumberShapes) {
  // text, bounded endpoint, parenthetical endpoint, parenthetical expression,
  // ends with bounded house, address field
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
      {"a", false, false, false, false, false},
      {"12-", false, false, false, false, false},
      {"12-14a", false, false, true, true, true},
      {"3/4", false, false, true, true, false},
      {"12--14", false, false, false, false, false},
      {"Hauptstr. 12-14", false, false, false, true, true},
      {"Hauptstr. 12/1", false, false, false, true, true},
      {"Weg 7a\u20137c", false, false, false, true, true},
      {"Hauptstr. 12 a", false, false, false, true, true},
      {"Hauptstr. 12-14-16", false, false, false, false, false},
      {"Hauptstr.", false, false, false, false, false},
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
  const struct {
    std::string_view text, phrase;
    bool contained;
  } phrases[] = {
      {"z hd", "z hd", true},       {"z hd empfang", "z hd", true}, {"an z hd", "z hd", true},
      {"x z hd y", "z hd", true},   {"xz hd", "z hd", false},       {"z hdy", "z hd", false},
      {"a z hdx z hd b", "z hd", true}, {"", "z hd", false},
  };
  for (const auto& c : phrases) {
    EXPECT_EQ(contains_token_phrase(c.text, c.phrase), c.contained) << c.text;
  }
  const struct {
    std::string_view text, spaced;
  } ranges[] = {
      {"12-14", "12 14"},   {"12\u201314", "12 14"}, {"A-1", "A-1"}, {"1 - 2", "1 - 2"},
      {"-1", "-1"},         {"1-", "1-"},            {"3/4", "3/4"}, {"1-2-3", "1 2 3"},
      {"\xE2\x80-1", "\xE2\x80-1"},
  };
  for (const auto& c : ranges) EXPECT_EQ(range_separators_to_spaces(c.text), c.spaced) << c.text;
}

}  // namespace
}  // namespace vorlane::de
