#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "de_rows_fixture.h"
#include "sheet_builder.h"
#include "vorlane/query/de_rescue.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using testing::make_row;
using testing::RowSpec;
enum : int { f0 = 0, f4 = 4, f8 = 8 };

TEST(DeRescue, LocalityScore) {
  const struct {
    const char* locality;
    std::optional<std::string_view> qualifier;
    uint32_t postcode;
    const char* commune;
    int score;
  } cases[] = {
      {"frankfurt oder", "frankfurt oder", 15230, "Frankfurt", 4},
      {"frankfurt oder", "frankfurt oder", 15232, "Frankfurt", 0},
      {"frankfurt", "frankfurt am main", 60311, "Frankfurt am Main", 4},
      {"Berlin", std::nullopt, 10115, "Berlin", 4},
      {"Berlin", std::nullopt, 13187, "Pankow", 3},         // audited spelling
      {"berlin", std::nullopt, 10115, "Mitte", 3},          // Berlin district
      {"berlin", std::nullopt, 14195, "Mitte", 0},          // 14195 is audited
      {"berlin", std::nullopt, 10115, "Berlin-Mitte", 1},   // retained prefix
      {"burg auf fehmarn", std::nullopt, 23769, "Fehmarn", 1},
      {"Berlin Mitte", std::nullopt, 10115, "Berlin", 1},   // the commune is a prefix
      {"Mitt", std::nullopt, 10115, "Mitte", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(de_postcode_house_locality_score(c.locality, c.qualifier, c.postcode, c.commune),
              c.score)
        << c.locality << " / " << c.commune << " " << c.postcode;
  }
}

TEST(DeRescue, OverrideAllowed) {
  const struct {
    RowSpec top;
    bool allowed;
  } cases[] = {
      {{.precision = kPrecisionStreet, .features = {f0}}, false},
      {{.precision = kPrecisionNear, .postcode = "10115"}, true},
      {{.precision = kPrecisionInterp, .postcode = "10117"}, false},
      {{.precision = kPrecisionNear, .features = {f0}, .postcode = "10117"}, true},
      {{.features = {f0, f8}, .postcode = "10115"}, false},
      {{.features = {f0, f8}, .postcode = "10117"}, true},
      {{.features = {f0, f8}, .postcode = ""}, true},
      {{.features = {f0}, .postcode = "10117"}, false},
  };
  EXPECT_FALSE(de_strict_postcode_house_override_allowed({}, 10115));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const ScoredHit rows[] = {make_row(cases[i].top)};
    EXPECT_EQ(de_strict_postcode_house_override_allowed(rows, 10115), cases[i].allowed) << i;
  }
}

testing::SheetBuilder rescue_sheet() {
  using namespace testing;
  SheetBuilder b;
  b.meta = {{"country", "de"}};
  b.communes = {{"Berlin", 10, 52.5, 13.4}, {"Potsdam", 5, 52.4, 13.0}};
  TestStreet berlin = street("Hauptstraße", {house(1), house(5), house(5, 0, 1), house(9)});
  berlin.postcode = 10115;
  TestStreet potsdam = street("Lindenweg", {house(2)});
  potsdam.postcode = 14467;
  potsdam.commune = 1;
  b.streets = {berlin, potsdam};
  b.suffixes = {"a"};
  return b;
}

TEST(DeRescue, LocalityEvidence) {
  const auto idx = rescue_sheet().open();
  const struct {
    RowSpec top;
    uint32_t postcode;
    const char* locality;
    bool evidence;
  } cases[] = {
      {{.precision = kPrecisionNear, .features = {f0}}, 10115, "Berlin", true},
      {{.precision = kPrecisionNear, .features = {f0}}, 10115, "Potsdam", false},
      {{.precision = kPrecisionNear, .features = {f0}, .postcode = " "}, 10115, "Berlin", true},
      {{.precision = kPrecisionNear, .features = {f0}, .postcode = " "}, 14467, "Berlin", false},
      {{.precision = kPrecisionNear, .features = {f0}, .postcode = ""}, 10117, "Berlin", false},
      {{.precision = kPrecisionNear, .postcode = "10115"}, 10115, "Berlin", false},
      {{.features = {f0, f8}}, 10115, "Berlin", false},
  };
  EXPECT_FALSE(de_typed_postcode_near_has_locality_evidence(*idx, {}, 10115, "Berlin"));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const ScoredHit rows[] = {make_row(cases[i].top)};
    EXPECT_EQ(de_typed_postcode_near_has_locality_evidence(*idx, rows, cases[i].postcode,
                                                           cases[i].locality),
              cases[i].evidence)
        << i;
  }
}

TEST(DeRescue, ExactHouseRecordPostcodes) {
  const auto idx = rescue_sheet().open();
  const auto records = [&](uint32_t street_id, uint32_t number, uint32_t suffix, uint64_t budget) {
    const auto out = de_exact_house_record_postcodes(*idx, street_id, *idx->street(street_id),
                                                     number, suffix, budget);
    return std::pair(out, budget);
  };
  using List = std::vector<std::string>;
  EXPECT_EQ(records(0, 5, 0, 100), std::pair(std::optional(List{"10115"}), uint64_t{96}));
  EXPECT_EQ(records(0, 5, 1, 4), std::pair(std::optional(List{"10115"}), uint64_t{0}));
  EXPECT_EQ(records(0, 9, 0, 3).first, std::nullopt);  // budget spent before the last house
  EXPECT_EQ(records(0, 7, 0, 100).first, List{});
  EXPECT_EQ(records(0, 1, 0, 0).first, std::nullopt);
}

TEST(DeRescue, SlashPairsBelowTenAreNotRescued) {
  const auto idx = rescue_sheet().open();
  de_rescue_stats() = DeRescueStats{};
  for (const char* q : {"Hauptstraße 5/7 10115 Berlin", "Hauptstraße 5/17 10115 Berlin"}) {
    EXPECT_EQ(de_compact_house_pair_left_rescue(*idx, q, 5), std::nullopt) << q;
  }
  EXPECT_EQ(de_rescue_stats().rescues, 0u);
}

}  // namespace
}  // namespace vorlane::query
