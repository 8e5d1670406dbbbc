#include "vorlane/rules/rules.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace vorlane::rules {
namespace {

struct SectionEntry {
  uint8_t kind;
  std::string a;
  std::string b;
};

void put_u16(std::string& out, size_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

// A rules section holding `entries`, announcing `count` entries (default:
// as many as given).
std::string section_bytes(const std::vector<SectionEntry>& entries,
                          std::optional<uint32_t> count = std::nullopt) {
  const uint32_t n = count.value_or(static_cast<uint32_t>(entries.size()));
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  for (const SectionEntry& e : entries) {
    out.push_back(static_cast<char>(e.kind));
    put_u16(out, e.a.size());
    out += e.a;
    put_u16(out, e.b.size());
    out += e.b;
  }
  return out;
}

std::unique_ptr<Rules> load(const std::string& bytes) {
  return from_section_owned(ByteView(std::string_view(bytes)));
}

size_t entries_of_kind(const Rules& r, int kind) {
  switch (kind) {
    case 1: return r.commune_aliases().size();
    case 2: return r.city_aliases().size();
    case 3: return r.phrase_replacements().size();
    case 4: return r.capitals().size();
    case 5: return r.russian_street_types().size();
    case 6: return r.housing_estate_words().size();
    case 7: return r.city_designators().size();
    case 8: return r.city_designators_after_house().size();
    case 9: return r.region_designators().size();
    case 10: return r.inner_country_names().size();
    case 11: return r.trailing_country_words().size();
    case 12: return r.settlement_type_words().size();
    case 13: return r.garden_area_words().size();
    case 14: return r.arrondissement_cities().size();
    case 15: return r.district_words().size();
    case 16: return r.french_italian_street_types().size();
    case 17: return r.other_street_types().size();
    case 18: return r.de_commune_aliases().size();
    case 19: return r.de_token_replacements().size();
    case 20: return r.de_street_types().size();
    case 21: return r.de_drop_words().size();
    case 22: return r.de_cut_words().size();
    case 23: return r.stage_parameters().size();
    case 24: return r.street_type_pairs().size();
    case 25: return r.droppable_leading_fields().size();
    case 26: return r.foreign_city_guard_settings().size();
  }
  ADD_FAILURE() << "no container for kind " << kind;
  return 0;
}

// Built-in entry count per kind; every set entry is distinct, so a missing
// or duplicated word in a table shows up here.
constexpr size_t kBuiltinCounts[27] = {
    0,  // kind 0 does not exist
    3, 19, 6, 9, 12, 11, 6, 3, 14, 22, 25, 15, 18, 3, 11, 19, 24,
    0, 0, 0, 0, 0, 0, 0, 0, 0,
};

TEST(RulesDefaults, HoldTheBuiltinEntryCountOfEveryKind) {
  const Rules r = defaults();
  for (int kind = 1; kind <= 26; ++kind) {
    EXPECT_EQ(entries_of_kind(r, kind), kBuiltinCounts[kind]) << "kind " << kind;
  }
}

TEST(RulesDefaults, KeepListOrder) {
  const Rules r = defaults();
  ASSERT_EQ(r.city_aliases().size(), 19u);
  EXPECT_EQ(r.city_aliases().front(), std::make_pair(std::string("спб"), std::string("санкт петербург")));
  EXPECT_EQ(r.city_aliases().back(), std::make_pair(std::string("padua"), std::string("padova")));
  EXPECT_EQ(r.phrase_replacements().back().first, "пр т");
  EXPECT_EQ(r.capitals().front(), "москва");
  EXPECT_EQ(r.capitals().back(), "санкт петербург");
  EXPECT_EQ(r.russian_street_types().back(), "микрорайон");
  EXPECT_EQ(r.french_italian_street_types().front(), "rue");
  EXPECT_EQ(r.french_italian_street_types().back(), "strada");
  // Entries that no single canonical word can equal are kept as written.
  EXPECT_TRUE(r.region_designators().contains("р н"));
}

TEST(RulesLookup, StreetTypesAffixesAndCommuneAliases) {
  const Rules r = defaults();
  struct Case {
    const char* word;
    bool street_type;
    bool affix;
  };
  const Case cases[] = {
      {"rue", true, true},          // kind 16 list
      {"straat", true, true},       // kind 17 set
      {"улица", true, true},        // kind 5 list
      {"квартал", true, true},      // kind 5 and kind 6
      {"жк", false, true},          // kind 6 only
      {"massiv", false, true},      // kind 6 only
      {"Rue", false, false},        // byte equality, no case folding
      {"ru", false, false},
      {"", false, false},
      {"paris", false, false},
  };
  for (const Case& c : cases) {
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
  r.add(1, "a", "1");
  r.add(1, "a", "2");  // map: replaces
  r.add(2, "x", "y");
  r.add(2, "x", "y");  // pair list: duplicates kept
  r.add(20, "w", "ignored");
  r.add(20, "w", "");  // word list: duplicates kept
  r.add(21, "d", "ignored");
  r.add(21, "d", "");  // word set: no duplicates
  r.add(0, "zero", "z");
  r.add(27, "big", "b");
  r.add(255, "max", "m");

  EXPECT_EQ(r.commune_alias("a"), "2");
  EXPECT_EQ(r.city_aliases().size(), 2u);
  EXPECT_EQ(r.de_street_types(), (WordList{"w", "w"}));
  EXPECT_EQ(r.de_drop_words().size(), 1u);
  size_t total = 0;
  for (int kind = 1; kind <= 26; ++kind) total += entries_of_kind(r, kind);
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

TEST(RulesSection, UnknownKindsAreSkippedWithoutInvalidatingTheSection) {
  auto r = load(section_bytes({{0, "zero", "z"}, {27, "big", "b"}, {21, "deutschland", ""}}));
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(r->de_drop_words().contains("deutschland"));
  for (int kind = 1; kind <= 26; ++kind) {
    EXPECT_EQ(entries_of_kind(*r, kind), kBuiltinCounts[kind] + (kind == 21)) << kind;
  }
}

TEST(RulesSection, UnusableSectionsGiveNone) {
  const std::string valid = section_bytes({{21, "kreis", ""}, {1, "k", "v"}});
  ASSERT_NE(load(valid), nullptr);
  // Every proper prefix cuts the count or some entry short.
  for (size_t len = 0; len < valid.size(); ++len) {
    EXPECT_EQ(load(valid.substr(0, len)), nullptr) << "prefix of " << len << " bytes";
  }
  EXPECT_EQ(load(section_bytes({{21, "kreis", ""}}, 0)), nullptr);   // count 0
  EXPECT_EQ(load(section_bytes({{21, "kreis", ""}}, 2)), nullptr);   // one entry short
  EXPECT_EQ(load(section_bytes({{21, "kreis", ""}}, 0xFFFFFFFF)), nullptr);
  // A length prefix pointing past the end.
  std::string overlong = section_bytes({{21, "kreis", ""}});
  overlong[2 + 4] = 0x7F;
  EXPECT_EQ(load(overlong), nullptr);
}

TEST(RulesSection, BytesAfterTheCountedEntriesAreIgnored) {
  std::string bytes = section_bytes({{21, "a", ""}, {21, "b", ""}}, 1);
  bytes += "\x05garbage";
  auto r = load(bytes);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->de_drop_words(), (WordSet{"a"}));
}

TEST(RulesSection, InvalidUtf8BecomesReplacementCharacters) {
  auto r = load(section_bytes({
      {1, "ab\xFF" "c", "\xE2\x82"},  // stray byte; sequence cut short at the end
      {21, "\x80\x80x", ""},          // two lone continuation bytes
  }));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->commune_alias("ab\uFFFDc"), "\uFFFD");
  EXPECT_TRUE(r->de_drop_words().contains("\uFFFD\uFFFDx"));
}

TEST(CurrentRules, FallsBackToTheBuiltinRules) {
  ASSERT_EQ(CURRENT, nullptr);
  EXPECT_EQ(&current(), &fallback());
  EXPECT_EQ(&fallback(), &fallback());
  EXPECT_EQ(fallback().capitals().size(), 9u);
}

TEST(CurrentRules, ScopeInstallsAndRestoresPerThread) {
  const Rules sheet_a = defaults();
  const Rules sheet_b = defaults();
  {
    CurrentRulesScope outer(sheet_a);
    EXPECT_EQ(&current(), &sheet_a);
    {
      CurrentRulesScope inner(sheet_b);
      EXPECT_EQ(&current(), &sheet_b);

      // Another thread has its own, unset pointer and sees the built-in rules.
      const Rules* seen_current = &sheet_a;
      const Rules* seen_rules = nullptr;
      std::thread other([&] {
        seen_current = CURRENT;
        seen_rules = &current();
      });
      other.join();
      EXPECT_EQ(seen_current, nullptr);
      EXPECT_EQ(seen_rules, &fallback());
    }
    EXPECT_EQ(&current(), &sheet_a);
  }
  EXPECT_EQ(CURRENT, nullptr);
}

}  // namespace
}  // namespace vorlane::rules
