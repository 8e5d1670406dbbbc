#include "vorlane/query/de_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/norm/unicode_data.h"

namespace vorlane::query {
namespace {

using Opt = std::optional<std::string>;

TEST(DeProductForm, Examples) {
  const struct {
    std::string_view text, product, street;
    Opt compound;
  } cases[] = {
      {"", "", "", {}},
      {"M\u00FCller-Stra\u00DFe 5", "mueller strasse 5", "mueller strasse 5", {}},
      {"Caf\u00E9 am Eck", "caf am eck", "caf am eck", {}},
      {"  Stra\u00DFe  ", "strasse", "strasse", {}},
      {"\u00C4\u00D6\u00DC\u1E9E", "aeoeuess", "aeoeuess", {}},
      {"Mu\u0308nchen", "muenchen", "muenchen", {}},   // composes to ü
      {"Cafe\u0301", "caf", "caf", {}},                 // composes to é
      {"\u0130stanbul", "i stanbul", "i stanbul", {}},  // U+0307 breaks
      {"\u212Aiel", "kiel", "kiel", {}},                // Kelvin sign
      {"Weg\xFF\xC3(1)", "weg 1", "weg 1", {}},         // ill-formed: breaks
      {"\u0661\u0662 ...", "", "", {}},
      {"Str.", "str", "str", {}},
      {"Hauptstr.", "hauptstr", "hauptstrasse", "haupt strasse"},
      {"Str. des 17. Juni", "str des 17 juni", "str des 17 juni", {}},
      {"Hauptstra\u00DFe", "hauptstrasse", "hauptstrasse", "haupt strasse"},
      {"Lindenallee", "lindenallee", "lindenallee", "linden allee"},
      {"Am Ring", "am ring", "am ring", {}},
      {"Ring", "ring", "ring", {}},
      {"abweg", "abweg", "abweg", {}},
      {"Ringstra\u00DFe", "ringstrasse", "ringstrasse", "ring strasse"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(de_product_normalize_text(c.text), c.product) << c.text;
    EXPECT_EQ(detail::de_product_normalize_text_unicode(c.text), c.product) << c.text;
    EXPECT_EQ(de_product_normalize_street(c.text), c.street) << c.text;
    EXPECT_EQ(de_product_normalize_compound_street(c.text), c.compound) << c.text;
  }
  const std::string long_street = std::string(90, 'a') + "strasse";  // 97 bytes
  EXPECT_EQ(de_product_normalize_compound_street(long_street), std::nullopt);
  EXPECT_EQ(de_product_normalize_compound_street(long_street.substr(1)),
            std::string(89, 'a') + " strasse");
}

std::string encode(const std::u32string& chars) {
  std::string out;
  for (const char32_t c : chars) utf8::append(out, c);
  return out;
}

// Only [a-z0-9 ] with single inner spaces; the path that skips composition
// agrees with the one through ICU, and lower-casing first changes nothing.
TEST(DeProductForm, GeneratedCorpusHasProductShapeAndBothPathsAgree) {
  const std::u32string alphabet =
      U"aZ9 -./\t\u00A0\u00C4\u00E4\u00DF\u00E9\u00FF\u0130\u0131\u017F\u01C4\u0308\u0301"
      U"\u0307\u1E9E\u212A\u0410\uFFFD";
  std::mt19937 random(7);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  for (int n = 0; n < 20000; ++n) {
    std::u32string chars(1 + n % 12, U' ');
    for (char32_t& c : chars) c = alphabet[pick(random)];
    std::string text = encode(chars);
    if (n % 5 == 0) text.insert(text.size() / 2, "\xE2\x82");  // truncated sequence
    const std::string product = de_product_normalize_text(text);
    ASSERT_EQ(product, detail::de_product_normalize_text_unicode(text)) << text;
    ASSERT_EQ(product.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789 "), product.npos);
    ASSERT_FALSE(product.starts_with(' ') || product.ends_with(' ')) << text;
    ASSERT_EQ(product.find("  "), std::string::npos) << text;
  }
  for (char32_t c = 1; c < 0x300; ++c) {
    const std::string text = encode({U'x', c, U'x', c});
    ASSERT_EQ(de_product_normalize_text(text), detail::de_product_normalize_text_unicode(text))
        << std::hex << "U+" << static_cast<uint32_t>(c);
    std::u32string lower;
    for (const char32_t l : norm::full_lowercase(c)) lower += l;
    ASSERT_EQ(de_product_normalize_text(encode({c})), de_product_normalize_text(encode(lower)))
        << std::hex << "U+" << static_cast<uint32_t>(c);
  }
}

TEST(DeLocality, CoresAndAuditedSpellings) {
  const struct {
    std::string_view text, core;
    Opt audited;
  } cases[] = {
      {"Stadt Brandenburg an der Havel", "brandenburg an der havel",
       "stadt brandenburg an der havel"},
      {"Stadt Stadt", "", "stadt stadt"},
      {"Neustadt", "neustadt", "neustadt"},
      {"Berlin Stadt Mitte", "berlin stadt mitte", "berlin stadt mitte"},
      {"hansestadt Rostock stadt", "hansestadt rostock", "hansestadt rostock stadt"},
      {"Weilheim/Teck", "weilheim teck", "weilheim an der teck"},
      {"Freiburg / Breisgau", "freiburg breisgau", "freiburg im breisgau"},
      {"Frankfurt/Oder", "frankfurt oder", {}},
      {"a/b/c", "a b c", {}},
      {"/Teck", "teck", {}},
      {"...", "", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(de_commune_core(c.text), c.core) << c.text;
    EXPECT_EQ(de_audited_locality(c.text), c.audited) << c.text;
  }
  const auto parsed = de_audited_postcode_locality("\u3000 03222\u00A0 L\u00FCbbenau Nord ");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->postcode_text, "03222");
  EXPECT_EQ(parsed->postcode, 3222u);
  EXPECT_EQ(parsed->locality, "L\u00FCbbenau Nord");
  for (const std::string_view refused : {"10117", "1011 Berlin", "10117 Berlin 2", "10117 a|b",
                                         "10117 Berlin, Mitte", "10117 12", "10117 \xC3"}) {
    EXPECT_FALSE(de_audited_postcode_locality(refused)) << refused;
  }
}

TEST(DeLocality, ScoresPrefixesAndAliases) {
  const struct {
    std::string_view locality, commune;
    uint8_t score;
  } scores[] = {
      {"Frankfurt", "Frankfurt am Main", 1}, {"Berlin", "Stadt Berlin", 2},
      {"frankfurt am", "Frankfurt am Main", 1}, {"", "Berlin", 0},
      {"Berlin", "Stadt", 0}, {"Frank", "Frankfurt", 0}, {"Frankfurt am Main", "Frankfurt", 0},
  };
  for (const auto& c : scores) {
    EXPECT_EQ(de_retained_locality_score(c.locality, c.commune), c.score) << c.locality;
  }
  EXPECT_TRUE(de_locality_is_exact_or_query_prefix("halle", "halle saale"));
  EXPECT_TRUE(de_locality_is_exact_or_query_prefix("halle", "halle"));
  EXPECT_FALSE(de_locality_is_exact_or_query_prefix("halle saale", "halle"));
  EXPECT_FALSE(de_locality_is_exact_or_query_prefix("hall", "halle"));
  EXPECT_TRUE(de_p3_locality_compatible("halle saale", "halle"));
  EXPECT_TRUE(de_p3_locality_compatible("halle", "halle saale"));
  EXPECT_FALSE(de_p3_locality_compatible("Halle", "halle"));

  EXPECT_TRUE(de_is_exact_locality_alias_query("Werder a.d. Havel", 14542));
  EXPECT_FALSE(de_is_exact_locality_alias_query("Berlin", 10115));
  EXPECT_FALSE(de_is_exact_locality_alias_query("Pankow", 13187));
  for (const DeAuditedLocalityAlias& row : DE_AUDITED_LOCALITY_ALIASES) {
    EXPECT_TRUE(de_is_exact_locality_alias_query(row.query_locality, row.postcode));
  }
}

TEST(DeHouse, TokensPostcodesAndRanges) {
  Hit hit;
  EXPECT_FALSE(de_house_token_matches(hit, ""));
  hit.housenumber = "12 A";
  EXPECT_TRUE(de_house_token_matches(hit, "12a"));
  EXPECT_FALSE(de_house_token_matches(hit, "12 a"));

  EXPECT_TRUE(is_five_digit_postcode("01067"));
  for (const std::string_view text : {"1011", "101155", "1011a", "\u0661\u0662345"}) {
    EXPECT_FALSE(is_five_digit_postcode(text)) << text;
  }
  const std::pair<std::string_view, bool> ranges[] = {
      {"Hauptstr. 12 - 14", true}, {"12-14", true},   {"Haus 1-Str", false},
      {"a1 \u2014 b2", true},      {"12 / 14", false}, {"-14", false},
      {"12 -", false},             {"x-1 -y", false}, {"1\u00A0-\u00A02", true},
  };
  for (const auto& [text, range] : ranges) EXPECT_EQ(de_house_range_separator(text), range) << text;
}

}  // namespace
}  // namespace vorlane::query
