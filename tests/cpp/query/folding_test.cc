// Query-text folding under the built-in rules, and under installed rules
// where a case needs entries of its own.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "vorlane/query/folding.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using TextCase = std::pair<const char*, const char*>;

TEST(FoldUnits, DropsDesignatorsAndFoldsBuildingParts) {
  const TextCase cases[] = {
      {"   ", ""},
      {"ул  ленина  5 ", "ул ленина 5"},
      // House words, unit values.
      {"ул ленина д 5 кв 12", "ул ленина 5"},
      {"дом 5 ленина", "5 ленина"},
      {"д ленина", "д ленина"},  // "д" stays without a number after it
      {"ленина 5 кв ii", "ленина 5"},
      // Building parts and literals.
      {"ленина 5 корпус 2", "ленина 5 к2"},
      {"ленина 5 корпус б", "ленина 5 корпус б"},
      {"ленина 5 лит а", "ленина 5 а"},
      {"корп 2 ленина 5", "2 ленина 5"},  // leading building word before the first number
      // Apartment, letter and door designators.
      {"rue x 12 apt b", "rue x 12"},
      {"rue x 12 apt bc", "rue x 12 apt bc"},
      {"rue x 12 bat 3 porte gauche", "rue x 12"},
      {"via roma 5 ii", "via roma 5"},  // a Roman floor after the number
      // Floor designators, with or without the floor written before them.
      {"straat 12 3 hoog", "straat 12 3"},
      {"straat 12 3 hoog achter", "straat 12 achter"},
      {"straat 12 hoog 3", "straat 12"},
      {"etage 2 straat 5", "straat 5"},
      // Phone tails, fixed words.
      {"rue x 5 tel 12345", "rue x 5"},
      {"rue x 5 +33 612", "rue x 5"},
      {"chez dupont 3 rue x", "dupont 3 rue x"},
      {"dupont chez 3", "dupont chez 3"},
      {"75001 paris cedex 01", "75001 paris"},
      // Rules word sets: city, region and country words.
      {"г москва ул ленина 5", "москва ул ленина 5"},
      {"ulica 5 grad", "ulica 5"},
      {"novi grad 5", "novi grad 5"},  // kind-8 words only after the number
      {"московская обл химки", "химки"},
      {"обл химки", "химки"},
      {"rue de france 5", "rue de france 5"},
      {"5 rue x france", "5 rue x"},
      {"corso italia 3", "corso italia 3"},
      {"viale italia 3", "viale 3"},
      {"ул ленина 5 europe федерация", "ул ленина 5"},
      {"ленина europe федерация", "ленина europe"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(fold_units(in), out) << in;
}

TEST(FoldUnits, ReadsTheThreadsRules) {
  rules::Rules rules = rules::defaults();
  rules.add(7, "stadt", "");
  rules.add(11, "deutschland", "");
  {
    const rules::CurrentRulesScope scope(rules);
    EXPECT_EQ(fold_units("stadt berlin hauptstr 5 deutschland"), "berlin hauptstr 5");
  }
  EXPECT_EQ(fold_units("stadt berlin hauptstr 5 deutschland"),
            "stadt berlin hauptstr 5 deutschland");
}

TEST(PreparedQueryKey, CanonicalFoldedAndReplaced) {
  const TextCase cases[] = {
      {"", ""},
      {"Ул. Ленина, д. 5, кв. 12", "ул ленина 5"},
      {"мосkва 5", "москва 5"},  // look-alike letter folded
      {"P.zza Navona, 5", "piazza navona 5"},
      {"Via P.zza", "via p zza"},  // a phrase at the end has no space after it
      {"пр-кт мира 5", "проспект мира 5"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(prepared_query_key(in), out) << in;
}

TEST(PreparedQueryKey, PhraseReplacementsChainAndDoNotOverlap) {
  rules::Rules rules = rules::defaults();
  rules.add(3, "a a", "a");
  rules.add(3, "x y", "z");
  rules.add(3, "z", "w");
  const rules::CurrentRulesScope scope(rules);
  // "a a " matches at 0 and again after it, never across a replacement.
  EXPECT_EQ(prepared_query_key("a a a a q"), "a a q");
  // Each pair reads the result of the previous one.
  EXPECT_EQ(prepared_query_key("x y q"), "w q");
}

TEST(UnglueVariant, SplitsShortLetterDigitWords) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"d12 rue", "d 12 rue"},
      {"ab1234", "ab 1234"},
      {"жк12", "жк 12"},  // 2 characters, 4 bytes
      {"\U0001D51E\U0001D51F1234 x", "\U0001D51E\U0001D51F 1234 x"},  // 12 bytes
      {"d12 e3", "d 12 e 3"},
      {"  d12   x ", "d 12 x"},
      {"a12345", std::nullopt},  // 5 digits
      {"abc12", std::nullopt},   // 3 letters
      {"12a", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(unglue_variant(in), out) << in;
}

TEST(StreetVariants, SwapsThenUnglues) {
  EXPECT_EQ(swap_last_two_words("rue de paris"), "rue paris de");
  EXPECT_EQ(swap_last_two_words(" a  b c "), "a c b");
  EXPECT_EQ(swap_last_two_words("de paris"), std::nullopt);
  EXPECT_EQ(swap_last_two_words(""), std::nullopt);

  const std::vector<std::string> texts = {"a b c12", "x y", "d4", "a b c12"};
  const std::vector<std::string> expected = {"a c12 b", "a c12 b", "a b c 12", "d 4",
                                             "a b c 12"};
  EXPECT_EQ(street_text_variants(texts), expected);
}

// A limit drops the variants of a single-spaced text that keep that many of
// its first bytes; a text spaced otherwise is joined anew from its start.
TEST(StreetVariants, LimitsKeepVariantsChangingTheTextBeforeThem) {
  EXPECT_EQ(swap_last_two_words_within("ab c d12", 3), std::nullopt);  // "c" at byte 3
  EXPECT_EQ(swap_last_two_words_within("ab c d12", 4), "ab d12 c");
  EXPECT_EQ(swap_last_two_words_within("ab  c d12", 0), "ab d12 c");
  EXPECT_EQ(unglue_variant_within("ab c d12", 5), std::nullopt);  // "d12" at byte 5
  EXPECT_EQ(unglue_variant_within("ab c d12", 6), "ab c d 12");
  EXPECT_EQ(unglue_variant_within(" ab c d12", 0), "ab c d 12");
  EXPECT_EQ(unglue_variant_within("ab d12 e3", 4), "ab d 12 e 3");  // from the first one on

  const std::vector<std::string> texts = {"ab c d12", "d12 x y"};
  const std::vector<size_t> limits = {4, 1};
  const std::vector<std::string> expected = {"ab d12 c", "d 12 x y"};
  EXPECT_EQ(street_text_variants(texts, limits), expected);
}

TEST(StreetKey, SortsCanonicalWords) {
  const TextCase cases[] = {
      {"Rue de la  Paix", "de la paix rue"},
      {"b a b", "a b b"},
      {"ж a", "a ж"},  // byte order
      {"  ", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(street_key(in), out) << in;
}

TEST(WordHelpers, SplitAtSpacesOnly) {
  EXPECT_EQ(split_words(" a\tb  c "), (std::vector<std::string_view>{"a\tb", "c"}));
}

}  // namespace
}  // namespace vorlane::query
