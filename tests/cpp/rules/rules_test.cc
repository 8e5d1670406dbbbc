#include "vorlane/rules/rules.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/le_bytes.h"

namespace vorlane::rules {
namespace {

using vorlane::testing::le;

struct SectionEntry {
  uint8_t kind;
  std::string a, b;
};

// A rules section holding `entries`, announcing `count` entries (default:
// as many as given).
std::string section_bytes(const std::vector<SectionEntry>& entries,
                          std::optional<uint32_t> count = std::nullopt) {
  std::string out = le(count.value_or(static_cast<uint32_t>(entries.size())), 4);
  for (const SectionEntry& e : entries) {
    out += char(e.kind) + le(e.a.size(), 2) + e.a + le(e.b.size(), 2) + e.b;
  }
  return out;
}

std::unique_ptr<Rules> load(const std::string& bytes) {
  return from_section_owned(ByteView(std::string_view(bytes)));
}

#define SIZE_OF(accessor) [](const Rules& r) -> size_t { return r.accessor().size(); }

// The container of each kind and its built-in entry count. Every set entry
// is distinct, so a missing or duplicated word in a table shows up here.
const struct {
  size_t (*size_of)(const Rules&);
  size_t builtin;
} kKinds[27] = {
    {nullptr, 0},  // kind 0 does not exist
    {SIZE_OF(commune_aliases), 3},            {SIZE_OF(city_aliases), 19},
    {SIZE_OF(phrase_replacements), 6},        {SIZE_OF(capitals), 9},
    {SIZE_OF(russian_street_types), 12},      {SIZE_OF(housing_estate_words), 11},
    {SIZE_OF(city_designators), 6},           {SIZE_OF(city_designators_after_house), 3},
    {SIZE_OF(region_designators), 14},        {SIZE_OF(inner_country_names), 22},
    {SIZE_OF(trailing_country_words), 25},    {SIZE_OF(settlement_type_words), 15},
    {SIZE_OF(garden_area_words), 18},         {SIZE_OF(arrondissement_cities), 3},
    {SIZE_OF(district_words), 11},            {SIZE_OF(french_italian_street_types), 19},
    {SIZE_OF(other_street_types), 24},        {SIZE_OF(de_commune_aliases), 0},
    {SIZE_OF(de_token_replacements), 0},      {SIZE_OF(de_street_types), 0},
    {SIZE_OF(de_drop_words), 0},              {SIZE_OF(de_cut_words), 0},
    {SIZE_OF(stage_parameters), 0},           {SIZE_OF(street_type_pairs), 0},
    {SIZE_OF(droppable_leading_fields), 0},   {SIZE_OF(foreign_city_guard_settings), 0},
};

TEST(RulesDefaults, HoldTheBuiltinEntriesOfEveryKindInListOrder) {
  const Rules r = defaults();
  for (int kind = 1; kind <= 26; ++kind) {
    EXPECT_EQ(kKinds[kind].size_of(r), kKinds[kind].builtin) << "kind " << kind;
  }
  EXPECT_EQ(r.city_aliases().front(), PairList::value_type("спб", "санкт петербург"));
  EXPECT_EQ(r.city_aliases().back(), PairList::value_type("padua", "padova"));
  EXPECT_EQ(r.capitals().front(), "москва");
  EXPECT_EQ(r.russian_street_types().back(), "микрорайон");
  EXPECT_EQ(r.french_italian_street_types().back(), "strada");
  // Entries that no single canonical word can equal are kept as written.
  EXPECT_TRUE(r.region_designators().contains("р н"));
}

TEST(RulesLookup, StreetTypesAffixesAndCommuneAliases) {
  const Rules r = defaults();
  const struct {
    const char* word;
    bool street_type, affix;
  } cases[] = {
      {"rue", true, true},       // kind 16 list
      {"straat", true, true},    // kind 17 set
      {"улица", true, true},     // kind 5 list
      {"квартал", true, true},   // kind 5 and kind 6
      {"жк", false, true},       // kind 6 only
      {"Rue", false, false},     // byte equality, no case folding
      {"ru", false, false},
      {"", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(r.is_street_type(c.word), c.street_type) << c.word;
    EXPECT_EQ(r.is_affix(c.word), c.affix) << c.word;
  }
  EXPECT_EQ(r.commune_alias("den haag"), "s gravenhage");
  EXPECT_EQ(r.commune_alias("reggio emilia"), "reggio nell emilia");
  EXPECT_EQ(r.commune_alias("спб"), std::nullopt);  // only a kind-2 city alias
  EXPECT_EQ(r.commune_alias("den"), std::nullopt);
}

TEST(RulesAdd, ContainerSemanticsPerKind) {
  Rules r;
  r.add(1, "a", "1"), r.add(1, "a", "2");           // map: replaces
  r.add(2, "x", "y"), r.add(2, "x", "y");           // pair list: duplicates kept
  r.add(20, "w", "ignored"), r.add(20, "w", "");    // word list: duplicates kept
  r.add(21, "d", "ignored"), r.add(21, "d", "");    // word set: no duplicates
  for (uint8_t unknown : {0, 27, 255}) r.add(unknown, "x", "y");

  EXPECT_EQ(r.commune_alias("a"), "2");
  EXPECT_EQ(r.city_aliases().size(), 2u);
  EXPECT_EQ(r.de_street_types(), (WordList{"w", "w"}));
  EXPECT_EQ(r.de_drop_words().size(), 1u);
  size_t total = 0;
  for (int kind = 1; kind <= 26; ++kind) total += kKinds[kind].size_of(r);
  EXPECT_EQ(total, 1u + 2u + 2u + 1u);
}

TEST(RulesSection, MapEntriesOverrideAndTheGreatestValueWins) {
  auto one = load(section_bytes({{1, "den haag", "den haag"}}));
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->commune_alias("den haag"), "den haag");
  EXPECT_EQ(one->commune_alias("den bosch"), "s hertogenbosch");

  // Whatever the file order, the entry whose value sorts last is added last.
  for (const auto& order : {std::vector<SectionEntry>{{1, "k", "zz"}, {1, "k", "aa"}},
                            std::vector<SectionEntry>{{1, "k", "aa"}, {1, "k", "zz"}}}) {
    auto r = load(section_bytes(order));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->commune_alias("k"), "zz");
  }

  auto params = load(section_bytes({{23, "enabled", "1"}, {26, "regions", "a b"}}));
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(params->stage_parameters().at("enabled"), "1");
  EXPECT_EQ(params->foreign_city_guard_settings().at("regions"), "a b");
}

TEST(RulesSection, ListEntriesFollowTheBuiltinsSortedBytewise) {
  auto r = load(section_bytes({
      {2, "b", "x"},
      {20, "é", ""},  // 0xC3 sorts after every ASCII byte
      {2, "a", "y"},
      {20, "z", ""},
      {2, "a", "b"},
      {20, "ab", ""},
      {20, "a", ""},  // a prefix sorts first
  }));
  ASSERT_NE(r, nullptr);
  const PairList& aliases = r->city_aliases();
  ASSERT_EQ(aliases.size(), 22u);
  EXPECT_EQ(aliases[18].first, "padua");
  EXPECT_EQ(PairList(aliases.begin() + 19, aliases.end()),
            (PairList{{"a", "b"}, {"a", "y"}, {"b", "x"}}));
  EXPECT_EQ(r->de_street_types(), (WordList{"a", "ab", "z", "é"}));
}

TEST(RulesSection, SkipsUnknownKindsAndTrailingBytesAndReplacesBadUtf8) {
  auto r = load(section_bytes({{0, "zero", "z"},
                               {27, "big", "b"},
                               {21, "deutschland", ""},
                               {1, "ab\xFF" "c", "\xE2\x82"},  // stray byte; sequence cut short
                               {21, "\x80\x80x", ""},          // two lone continuation bytes
                               {21, "past the count", ""}},
                              5) +
                "\x05garbage");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->commune_alias("ab\uFFFDc"), "\uFFFD");
  EXPECT_EQ(r->de_drop_words(), (WordSet{"deutschland", "\uFFFD\uFFFDx"}));
  for (int kind = 1; kind <= 26; ++kind) {
    const size_t added = kind == 1 ? 1 : kind == 21 ? 2 : 0;
    EXPECT_EQ(kKinds[kind].size_of(*r), kKinds[kind].builtin + added) << kind;
  }
}

TEST(RulesSection, UnusableSectionsGiveNone) {
  const std::string valid = section_bytes({{21, "kreis", ""}, {1, "k", "v"}});
  ASSERT_NE(load(valid), nullptr);
  // Every proper prefix cuts the count or some entry short.
  for (size_t len = 0; len < valid.size(); ++len) {
    EXPECT_EQ(load(valid.substr(0, len)), nullptr) << "prefix of " << len << " bytes";
  }
  for (uint32_t count : {0u, 2u, 0xFFFFFFFFu}) {
    EXPECT_EQ(load(section_bytes({{21, "kreis", ""}}, count)), nullptr) << count;
  }
  std::string overlong = section_bytes({{21, "kreis", ""}});
  overlong[2 + 4] = 0x7F;  // a length prefix pointing past the end
  EXPECT_EQ(load(overlong), nullptr);
}

TEST(CurrentRules, FallsBackToTheBuiltinRulesAndScopesInstallPerThread) {
  ASSERT_EQ(CURRENT, nullptr);
  EXPECT_EQ(&current(), &fallback());
  EXPECT_EQ(fallback().capitals().size(), 9u);

  const Rules sheet_a = defaults(), sheet_b = defaults();
  {
    CurrentRulesScope outer(sheet_a);
    EXPECT_EQ(&current(), &sheet_a);
    {
      CurrentRulesScope inner(sheet_b);
      EXPECT_EQ(&current(), &sheet_b);
      // Another thread has its own, unset pointer and sees the built-in rules.
      const Rules* seen_current = &sheet_a;
      const Rules* seen_rules = nullptr;
      std::thread([&] { seen_current = CURRENT, seen_rules = &current(); }).join();
      EXPECT_EQ(seen_current, nullptr);
      EXPECT_EQ(seen_rules, &fallback());
    }
    EXPECT_EQ(&current(), &sheet_a);
  }
  EXPECT_EQ(CURRENT, nullptr);
}

}  // namespace
}  // namespace vorlane::rules
