#include "vorlane/de/street_variants.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/le_bytes.h"
#include "vorlane/rules/rules.h"

namespace vorlane::de {
namespace {

using Texts = std::vector<std::string>;
using Views = std::vector<std::string_view>;

// Rules holding `words` as entries of `kind` (20: street-type words), loaded
// through a rules section so that they come in the loader's sorted order.
std::unique_ptr<rules::Rules> rules_with(const Texts& words, uint8_t kind = 20) {
  std::string section = testing::le(words.size(), 4);
  for (const std::string& w : words) {
    section += char(kind) + testing::le(w.size(), 2) + w + testing::le(0, 2);
  }
  return rules::from_section_owned(ByteView(std::string_view(section)));
}

TEST(StreetVariants, FourTypes) {
  const auto rules = rules_with({"weg", "stra\u00DFe", "strasse", "str"});  // sorted on load
  const rules::CurrentRulesScope scope(*rules);
  const struct {
    std::string_view street;
    Texts variants;
  } cases[] = {
      {"hauptstr",
       {"haupt str", "hauptstrasse", "haupt strasse", "hauptstra\u00DFe", "haupt stra\u00DFe"}},
      {"hauptstrasse",
       {"hauptstr", "haupt str", "haupt strasse", "hauptstra\u00DFe", "haupt stra\u00DFe"}},
      {"haupt stra\u00DFe", {"hauptstr", "hauptstrasse", "hauptstra\u00DFe"}},
      {"haupt str", {"hauptstr", "hauptstrasse", "hauptstra\u00DFe"}},
      {"am alten weg", {"am altenweg"}},
      {"hauptweg 5", {"haupt weg 5"}},
      {"\u00FCweg", {}},  // a stem of two bytes but one character
      {"stra\u00DFe", {}},
      {"xstr", {}},
      {"HAUPT STR", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(street_variants(c.street), c.variants) << c.street;
  EXPECT_EQ(street_type_family("strasse"), (Views{"str", "strasse", "stra\u00DFe"}));
  EXPECT_EQ(street_type_family("weg"), Views{"weg"});
}

// Variants are single-spaced however the street is spaced, wherever the
// replaced words stand; the street's own words single-spaced are a variant
// when the street is not written so.
TEST(StreetVariants, AnySpacingGivesSingleSpacedVariants) {
  const auto rules = rules_with({"weg", "stra\u00DFe", "strasse", "str"});
  const rules::CurrentRulesScope scope(*rules);
  const Texts glued = {"hauptstr 5", "hauptstrasse 5", "hauptstra\u00DFe 5"};
  Texts split = {"alte haupt str 5", "alte hauptstrasse 5", "alte haupt strasse 5",
                 "alte hauptstra\u00DFe 5", "alte haupt stra\u00DFe 5"};
  for (std::string_view street : {"haupt str 5", " haupt  str\t5", "haupt\u00A0str 5 "}) {
    EXPECT_EQ(street_variants(street), glued) << street;
  }
  EXPECT_EQ(street_variants("alte hauptstr 5"), split);
  split.insert(split.begin(), "alte hauptstr 5");
  EXPECT_EQ(street_variants("alte\thauptstr\n5"), split);
}

// A limit keeps the variants that replace a word starting before it, in
// their order; an unevenly spaced street keeps all, as each is joined anew.
TEST(StreetVariants, LimitKeepsVariantsChangingTheStreetBeforeIt) {
  const auto rules = rules_with({"weg", "stra\u00DFe", "strasse", "str"});
  const rules::CurrentRulesScope scope(*rules);
  const std::string street = "alte str hauptstr 5";  // words at bytes 0, 5, 9, 18
  const Texts all = street_variants(street);
  const Texts glued_first = {"altestr hauptstr 5", "altestrasse hauptstr 5",
                             "altestra\u00DFe hauptstr 5"};
  EXPECT_EQ(Texts(all.begin(), all.begin() + 3), glued_first);
  for (const size_t limit : {size_t{0}, size_t{5}, size_t{9}, size_t{10}, size_t{100}}) {
    const Texts kept = street_variants(street, limit);
    Texts expected;
    if (limit > 0) expected = glued_first;  // glued onto "alte", at byte 0
    if (limit > 9) expected = all;          // "hauptstr" split, at byte 9
    EXPECT_EQ(kept, expected) << limit;
  }
  EXPECT_EQ(street_variants("alte  str hauptstr 5", 1), street_variants("alte  str hauptstr 5"));
}

TEST(StreetVariants, RepeatedPartialAndMissingTypeWords) {
  const auto twice = rules_with({"str", "str"});
  const rules::CurrentRulesScope twice_scope(*twice);
  EXPECT_EQ(street_variants("hauptstr"), Texts{"haupt str"});

  const auto partial = rules_with({"str", "stra\u00DFe"});
  const rules::CurrentRulesScope partial_scope(*partial);
  EXPECT_EQ(street_type_family("strasse"), (Views{"str", "stra\u00DFe"}));
  EXPECT_EQ(street_type_family("weg"), Views{});

  const auto no_types = rules_with({"deutschland"}, 21);
  const rules::Rules* const without_types[] = {&rules::fallback(), no_types.get()};
  for (const rules::Rules* r : without_types) {
    const rules::CurrentRulesScope scope(*r);
    EXPECT_EQ(street_variants("hauptstr"), Texts{});
    EXPECT_EQ(street_type_family("str"), Views{});
  }
}

}  // namespace
}  // namespace vorlane::de
