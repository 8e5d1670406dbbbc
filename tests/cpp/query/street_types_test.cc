// Street-type classes, title keys, street variants, the known-street test
// and the lazily built street-key maps.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/index.h"
#include "vorlane/query/street_maps.h"
#include "vorlane/query/street_types.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Built-in rules plus street types and kind-24 pairs, installed while alive.
class WithPairs {
 public:
  WithPairs(const std::vector<std::string>& types, const Pairs& pairs)
      : rules_(rules::defaults()) {
    for (const std::string& t : types) rules_.add(16, t, "");
    for (const auto& [a, b] : pairs) rules_.add(24, a, b);
    scope_.emplace(rules_);
  }

 private:
  rules::Rules rules_;
  std::optional<rules::CurrentRulesScope> scope_;
};

const std::vector<std::string> kTypes = {"av", "avenida", "jiron", "calle", "ca"};

TEST(StreetTypes, AliasClassesAndKeys) {
  WithPairs w(kTypes, {{"calle", "ca"}, {"av", "avenida"}, {"avenida", "calle"},
                       {"av", "av de"}, {"jiron", "plaza"}, {"1ro", "1"}});
  const StreetTypeAliases aliases = field_street_type_aliases();
  EXPECT_EQ(aliases, (StreetTypeAliases{{"av", "av"}, {"avenida", "av"}, {"ca", "av"},
                                        {"calle", "av"}}));
  const std::vector<std::pair<std::string, std::string>> keys = {
      {"avenida larco", "av larco"}, {"calle  x", "av  x"}, {"avenida", "avenida"},
      {"jiron puno", "jiron puno"}, {"larco avenida", "larco avenida"}};
  for (const auto& [field, key] : keys) EXPECT_EQ(field_street_type_key(field, aliases), key);
  EXPECT_EQ(field_street_type_key("avenida larco", {}), "avenida larco");
}

TEST(StreetTypes, Variants) {
  WithPairs w(kTypes, {{"av", "avenida"}, {"1ro", "1"}, {"av", "av de"}});
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"av larco", {"av larco", "avenida larco", "av de larco"}},
      {"larco av", {"larco av"}},
      {"calle 1ro de mayo", {"calle 1ro de mayo", "calle 1 de mayo"}},
      {"av mayo", {"av mayo", "avenida mayo", "av de mayo"}},
      {"av de mayo", {"av de mayo", "avenida de mayo"}},
  };
  for (const auto& [street, variants] : cases) EXPECT_EQ(street_data_variants(street), variants);

  Pairs many;
  for (int i = 0; i < 12; ++i) many.emplace_back("av", "t" + std::to_string(i));
  WithPairs m(kTypes, many);
  const std::vector<std::string> capped = street_data_variants("av x");
  EXPECT_EQ(capped.size(), 9u);
  EXPECT_EQ(capped[8], "t7 x");
}

// A sheet with the title and street-type rules of the examples.
std::unique_ptr<Index> titled_sheet(std::vector<std::string> streets) {
  testing::SheetBuilder b;
  for (std::string& name : streets) b.streets.push_back(testing::street(std::move(name), {testing::house(1)}));
  b.rules = {{23, "street_titles", "general coronel doctor"},
             {23, "street_title_aliases", "gral:general dr:doctor x y:z:w"},
             {24, "av", "avenida"}};
  for (const std::string& t : kTypes) b.rules.push_back({16, t, ""});
  return b.open();
}

TEST(StreetTypes, TitleKeys) {
  const auto sheet = titled_sheet({"Av General San Martin", "Avenida San Martin", "Jiron Puno"});
  rules::CurrentRulesScope scope(sheet->active_rules());
  const StreetTypeAliases aliases = field_street_type_aliases();
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"av gral san martin", "av san martin"}, {"Avenida General San Martin", "av san martin"},
      {"av san martin", "av san martin"},      {"general paz", "general paz"},
      {"calle general", std::nullopt},         {"dr", std::nullopt},
      {"calle y", "calle z:w"},
  };
  for (const auto& [street, key] : cases) {
    EXPECT_EQ(title_street_key(*sheet, street, aliases), key) << street;
  }
  const StreetKeyMap& titles = streets_by_title_key_map(*sheet, aliases);
  EXPECT_EQ(std::vector<uint32_t>(titles.find("av san martin").begin(),
                                  titles.find("av san martin").end()),
            (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(titles.key_count(), 2u);

  const auto untitled = testing::one_street_sheet();
  EXPECT_FALSE(title_street_key(*untitled, "av gral san martin", aliases));
}

TEST(StreetTypes, KnownStreetTest) {
  const auto sheet = titled_sheet({"Jiron Puno", "Avenida Larco"});
  rules::CurrentRulesScope scope(sheet->active_rules());
  const StreetTypeAliases aliases = field_street_type_aliases();
  const StreetKeyMap& map = field_street_projection(*sheet);
  for (const char* known : {"Av Puno", "Jiron Puno", "av larco", "calle larco"}) {
    EXPECT_TRUE(comma_field_retry(map, aliases, known)) << known;
  }
  for (const char* unknown : {"puno", "plaza puno", "av"}) {
    EXPECT_FALSE(comma_field_retry(map, aliases, unknown)) << unknown;
  }
}

TEST(StreetKeyMap, FlatLayoutAndFirstUse) {
  testing::SheetBuilder b;
  for (int i = 0; i < 300; ++i) {
    b.streets.push_back(testing::street("rue " + std::to_string(i % 100), {testing::house(1)}));
  }
  b.streets[7].name.assign("\xFF\xFE");  // not UTF-8: keyed as the empty name
  const auto sheet = b.open();
  std::vector<const StreetKeyMap*> seen(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&, t] {
      rules::CurrentRulesScope scope(sheet->active_rules());
      seen[t] = &field_street_projection(*sheet);
    });
  }
  for (std::thread& t : threads) t.join();
  for (const StreetKeyMap* map : seen) EXPECT_EQ(map, seen[0]);
  const StreetKeyMap& map = *seen[0];
  EXPECT_EQ(map.key_count(), 101u);
  const std::span<const uint32_t> ids = map.find("rue 7");
  EXPECT_EQ(std::vector<uint32_t>(ids.begin(), ids.end()), (std::vector<uint32_t>{107, 207}));
  EXPECT_EQ(map.find("").size(), 1u);
  EXPECT_TRUE(map.find("rue 100").empty());
}

}  // namespace
}  // namespace vorlane::query
