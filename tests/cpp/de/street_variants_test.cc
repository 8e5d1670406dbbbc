#include "vorlane/de/street_variants.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "vorlane/rules/rules.h"

namespace vorlane::de {
namespace {

using Texts = std::vector<std::string>;
using Views = std::vector<std::string_view>;

// Rules holding `words` as entries of `kind` (20: street-type words), loaded
// through a rules section so that they come in the loader's sorted order.
std::unique_ptr<rules::Rules> street_type_rules(const Texts& words, uint8_t kind = 20) {
  std::string section;
  const auto le = [&](uint32_t v, int n) {
    for (int k = 0; k < n; ++k) section.push_back(static_cast<char>(v >> (8 * k)));
  };
  le(static_cast<uint32_t>(words.size()), 4);
  for (const std::string& w : words) {
    section.push_back(static_cast<char>(kind));
    le(static_cast<uint32_t>(w.size()), 2);
    section += w;
    le(0, 2);
  }
  return rules::from_section_owned(ByteView(std::string_view(section)));
}

TEST(StreetVariants, FourTypes) {
  // Given in reverse; the loader sorts them to str, strasse, straße, weg.
  const auto rules = street_type_rules({"weg", "stra\u00DFe", "strasse", "str"});
  ASSERT_TRUE(rules);
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
      {"Hauptstr", {"Haupt str", "Hauptstrasse", "Haupt strasse", "Hauptstra\u00DFe",
                    "Haupt stra\u00DFe"}},
      {"HAUPT STR", {}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(street_variants(c.street), c.variants) << c.street;
  EXPECT_EQ(street_type_family("strasse"), (Views{"str", "strasse", "stra\u00DFe"}));
  EXPECT_EQ(street_type_family("weg"), Views{"weg"});
  EXPECT_EQ(street_type_family("ring"), Views{});
}

TEST(StreetVariants, RepeatedAndPartialFamilies) {
  const auto twice = street_type_rules({"str", "str"});
  const rules::CurrentRulesScope twice_scope(*twice);
  EXPECT_EQ(street_variants("hauptstr"), Texts{"haupt str"});
  EXPECT_EQ(street_type_family("straße"), (Views{"str", "str"}));

  const auto partial = street_type_rules({"str", "stra\u00DFe"});
  const rules::CurrentRulesScope partial_scope(*partial);
  EXPECT_EQ(street_type_family("strasse"), (Views{"str", "stra\u00DFe"}));
  EXPECT_EQ(street_type_family("weg"), Views{});
}

TEST(StreetVariants, NothingWithoutStreetTypeWords) {
  const auto german_drop_words_only = street_type_rules({"deutschland"}, 21);
  ASSERT_TRUE(german_drop_words_only);
  for (const rules::Rules* r : std::initializer_list<const rules::Rules*>{&rules::fallback(), german_drop_words_only.get()}) {
    const rules::CurrentRulesScope scope(*r);
    EXPECT_EQ(street_variants("hauptstr"), Texts{});
    EXPECT_EQ(street_type_family("str"), Views{});
  }
}

}  // namespace
}  // namespace vorlane::de
