#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet_builder.h"
#include "support/alloc_counter.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using namespace testing;  // the sheet builder
using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;

SheetBuilder german(std::vector<TestStreet> streets, uint8_t version = 7) {
  SheetBuilder b;
  b.version = version;
  b.meta = {{"country", "de"}};
  b.communes = {{"Berlin", 10, 52.5, 13.4}, {"München", 5, 48.1, 11.6}, {"Berlin", 1, 48.1, 7.9}};
  b.streets = std::move(streets);
  return b;
}

TestStreet with(TestStreet s, uint32_t postcode, std::optional<std::string> text = {},
                uint32_t commune = 0) {
  s.postcode = postcode;
  s.postcode_text = std::move(text);
  s.commune = commune;
  return s;
}

TEST(DeRoster, PairsFromNumbersTextsAndHouseDictionaries) {
  TestStreet per_house =
      street("Per-House-Weg", {house(1, 0, 0, 1), house(3, 0, 0, 2), house(5, 0, 0, 3)});
  per_house.house_postcodes = {"10115", "10117", "1011X"};
  const auto idx = german({with(street("A", {house(1)}), 0),
                           with(street("B", {house(1)}), 100000),
                           with(street("C", {house(1)}), 10117),
                           with(street("D", {house(1)}), 0, "1011"),
                           with(street("E", {house(1)}), 0, "10115a"),
                           with(street("F", {house(1)}), 0, "01067"),
                           with(street("G", {house(1)}), 10115, "1011"), per_house,
                           with(street("H", {house(1)}), 10115)})
                       .open();
  EXPECT_EQ(idx->de_postcode_streets,
            (Pairs{{1067, 5}, {10115, 7}, {10115, 8}, {10117, 2}, {10117, 7}}));
  EXPECT_EQ(de_roster_range(idx->de_postcode_streets, 10115).size(), 2u);
  EXPECT_TRUE(de_roster_range(idx->de_postcode_streets, 10116).empty());
}

TEST(DeRoster, OnlyLowerCaseDeSheetsGetRosters) {
  TestStreet per_house = with(street("Hauptstr.", {house(1)}), 0);
  per_house.per_house_field = true;  // version 6 has no dictionary: adds nothing
  const struct {
    std::vector<std::pair<std::string, std::string>> meta;
    uint8_t version;
    size_t roster, projected;
  } cases[] = {{{{"country", "de"}}, 7, 1, 1},
               {{{"country", "DE"}}, 7, 0, 0},
               {{{"layer", "addresses"}}, 7, 0, 0},
               {{{"country", "fr"}, {"country", "de"}}, 7, 0, 0},
               {{{"country", "de"}}, 6, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.meta) + " v" + std::to_string(c.version));
    SheetBuilder b = german({with(street("Hauptstrasse", {house(1)}), 10115),
                             with(street("Hauptstr.", {house(2)}), 0)},
                            c.version);
    if (c.version == 6) b.streets.push_back(per_house);
    b.meta = c.meta;
    const auto idx = b.open();
    EXPECT_EQ(idx->de_postcode_streets.size(), c.roster);
    EXPECT_EQ(idx->de_blank_postcode_display_streets.by_key.size(), c.projected);
  }
}

TEST(DeRoster, ProjectionAndAnchorCommune) {
  const auto idx = german({with(street("Hauptstraße", {house(1)}), 10115),
                           with(street("Gartenweg", {house(1)}), 0),  // no twin with a postcode
                           with(street("Hauptstr.", {house(1)}), 0),
                           with(street("Hauptstraße", {house(1)}), 80331, {}, 1),
                           with(street("Lindenallee", {house(1)}), 10115),
                           with(street("Lindenallee", {house(1)}), 10115, {}, 2)})
                       .open();
  const auto& projection = idx->de_blank_postcode_display_streets;
  EXPECT_EQ(projection.by_key.size(), 1u);
  const auto ids = projection.get("hauptstrasse", "berlin");
  ASSERT_TRUE(ids);
  EXPECT_THAT(*ids, ::testing::ElementsAre(0u, 2u));
  EXPECT_FALSE(projection.get("gartenweg", "berlin"));
  EXPECT_FALSE(projection.get("hauptstrasse", "muenchen"));

  const struct {
    const char* street;
    const char* locality;
    uint32_t postcode;
    std::optional<uint32_t> commune;
  } anchors[] = {{"hauptstrasse", "berlin", 10115, 0}, {"hauptstrasse", "berlin", 10117, {}},
                 {"hauptstrasse", "muenchen", 10115, {}}, {"lindenallee", "berlin", 10115, {}}};
  for (const auto& a : anchors) {
    SCOPED_TRACE(std::string(a.street) + " " + a.locality + " " + std::to_string(a.postcode));
    const DeBlankPostcodeHouseSpec spec{a.street, a.locality, "", "", 1, a.postcode};
    EXPECT_EQ(de_blank_postcode_anchor_commune_id(*idx, spec), a.commune);
  }

  DeBlankPostcodeDisplayProjection damaged;
  damaged.by_key[{"a", "b"}] = {1, 1};
  damaged.street_ids = {7};
  EXPECT_FALSE(damaged.get("a", "b"));
}

TEST(DeRoster, ListsStopAt8193AndAnchorsScanAtMost8192Pairs) {
  for (const uint32_t with_postcode : {8192u, 8193u}) {
    SCOPED_TRACE(with_postcode);
    std::vector<TestStreet> streets(with_postcode, with(street("Hauptstraße", {house(1)}), 10115));
    streets.push_back(with(street("Hauptstraße", {house(1)}), 0));
    const auto idx = german(std::move(streets)).open();
    const auto ids = idx->de_blank_postcode_display_streets.get("hauptstrasse", "berlin");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->size(), 8193u);
    EXPECT_EQ(ids->back(), 8192u);
    const DeBlankPostcodeHouseSpec spec{"hauptstrasse", "berlin", "", "", 1, 10115};
    EXPECT_EQ(de_blank_postcode_anchor_commune_id(*idx, spec),
              with_postcode == 8192 ? std::optional<uint32_t>(0) : std::nullopt);
  }
}

// Street 0: dictionary 10115, 10117; houses 1 (10115), 3 (10117), 5 (none).
// Street 1: numeric 10117. Street 2: postcode text 10115.
SheetBuilder exact_house_sheet(uint8_t version) {
  TestStreet per_house = street("Per-House-Weg", {house(1, 0, 0, 1), house(3, 0, 0, 2), house(5)});
  per_house.house_postcodes = {"10115", "10117"};
  if (version < 7) per_house = with(street("Per-House-Weg", {house(1)}), 0);
  per_house.per_house_field = true;
  return german({per_house, with(street("Ring", {house(1)}), 10117),
                 with(street("Ufer", {house(1)}), 0, "10115")},
                version);
}

TEST(DeExactHouse, NumberSuffixAndPostcodeMustAllAgree) {
  const auto v7 = exact_house_sheet(7).open();
  const auto v6 = exact_house_sheet(6).open();
  const struct {
    const Index* idx;
    uint32_t street, number, postcode;
    bool exact;
  } cases[] = {{v7.get(), 0, 1, 10115, true},  {v7.get(), 0, 3, 10117, true},
               {v7.get(), 0, 3, 10115, false}, {v7.get(), 0, 5, 10115, false},
               {v7.get(), 0, 7, 10115, false}, {v7.get(), 0, 1, 10119, false},
               {v7.get(), 1, 1, 10117, true},  {v7.get(), 1, 1, 10115, false},
               {v7.get(), 2, 1, 10115, true},  {v6.get(), 0, 1, 10115, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.street << " " << c.number << " " << c.postcode);
    ExactHouseCache cache;
    EXPECT_EQ(exact_house_postcode_candidate_cached(*c.idx, cache, c.street,
                                                    *c.idx->street(c.street), c.number, 0,
                                                    c.postcode),
              c.exact);
    EXPECT_EQ(cache.at({c.street, c.number, 0, c.postcode}), c.exact);
  }
}

TEST(DeExactHouse, CacheAnswersFirstAndSetStopsAtFirstFailure) {
  const auto idx = exact_house_sheet(7).open();
  const StreetRecord street = *idx->street(0);
  ExactHouseCache cache{{{0, 1, 0, 10115}, false}, {{0, 5, 0, 10115}, true}};
  EXPECT_FALSE(exact_house_postcode_candidate_cached(*idx, cache, 0, street, 1, 0, 10115));
  const size_t before = vorlane::testing::allocation_count.load();
  EXPECT_TRUE(exact_house_postcode_candidate_cached(*idx, cache, 0, street, 5, 0, 10115));
  EXPECT_EQ(vorlane::testing::allocation_count.load(), before);

  cache.clear();
  const uint32_t alternatives[] = {3, 7};
  EXPECT_FALSE(exact_house_postcode_set_candidate_cached(*idx, cache, 0, street, 1, 0,
                                                         alternatives, 10115));
  EXPECT_EQ(cache.size(), 2u);  // 1 passed, 3 failed, 7 never asked
  EXPECT_FALSE(cache.at({0, 3, 0, 10115}));
  EXPECT_TRUE(exact_house_postcode_set_candidate_cached(*idx, cache, 0, street, 1, 0, {}, 10115));
}

}  // namespace
}  // namespace vorlane::query
