#include "vorlane/de/cleanups.h"

#include <gtest/gtest.h>

namespace vorlane::de {
namespace {

using Cleanup = std::optional<std::string> (*)(std::string_view);

TEST(RawCleanups, RecogniseTheirShapeOnly) {
  const std::string inner80(80, 'x');
  const struct {
    Cleanup run;
    std::string in;
    std::optional<std::string> out;
  } cases[] = {
      {restore_missing_postcode_comma_raw, "Hauptstr 5   10115 Berlin", "Hauptstr 5, 10115 Berlin"},
      {restore_missing_postcode_comma_raw, "Hauptstr 5  10115 Berlin", {}},
      {restore_missing_postcode_comma_raw, "Hauptstr 5    10115 Berlin", {}},
      {restore_missing_postcode_comma_raw, "Hauptstr   5   10115 Berlin", {}},
      {restore_missing_postcode_comma_raw, "Hauptstr 5   10115 Berlin,", {}},
      {restore_missing_postcode_comma_raw, "Hauptstr 12 - 14   10115 Berlin", {}},
      {restore_missing_postcode_comma_raw, "Hauptstr 12 bis 14   10115 Berlin", {}},
      {restore_missing_postcode_comma_raw, "Hauptstr 12345   10115 Berlin", {}},
      {restore_missing_postcode_comma_raw, "Hauptstr 5   10115 Berlin 2", {}},
      {restore_missing_postcode_comma_raw, "Hauptstr 5\xc2\xa0   10115 Berlin", {}},
      {strip_recipient_prefix_raw, "z. Hd. Empfang, Hauptstr 5, 10115 Berlin",
       "Hauptstr 5, 10115 Berlin"},
      {strip_recipient_prefix_raw, "An die Poststelle, Rathaus", {}},
      {strip_parenthetical_subaddress_raw, "Hauptstr. 5 (Hinterhaus), 10115 Berlin",
       "Hauptstr. 5, 10115 Berlin"},
      {strip_parenthetical_subaddress_raw, "Hauptstr. 5\xc2\xa0(Hinterhaus), 10115 Berlin",
       "Hauptstr. 5, 10115 Berlin"},
      {strip_parenthetical_subaddress_raw, "Hauptstr. 5(Hinterhaus), 10115 Berlin", {}},
      {strip_parenthetical_subaddress_raw, "Hauptstr. 5 (Hinterhaus) , 10115 Berlin", {}},
      {strip_parenthetical_subaddress_raw, "Hauptstr. 5 (12), 10115 Berlin", {}},
      {strip_parenthetical_subaddress_raw, "Postfach 12 (Zentrale), 10115 Berlin", {}},
      {strip_parenthetical_subaddress_raw, "Weg 5 (" + inner80 + "), 10115 Berlin",
       "Weg 5, 10115 Berlin"},
      {strip_parenthetical_subaddress_raw, "Weg 5 (" + inner80 + "x), 10115 Berlin", {}},
      {strip_parenthetical_subaddress_raw, "Weg 5 (\xc3\xa4" + inner80.substr(1) + "), 10115 B",
       "Weg 5, 10115 B"},
      {strip_delivery_tail_raw, "Hauptstr. 5, 10115 Berlin, 2 OG", "Hauptstr. 5, 10115 Berlin"},
      {strip_delivery_tail_raw, "Hauptstr. 5, 10115 Berlin, 3 OG", {}},
      {strip_delivery_tail_raw, "Hauptstr. 5, 10115 Berlin, Tel 030 1234567",
       "Hauptstr. 5, 10115 Berlin"},
      {strip_delivery_tail_raw, "Hauptstr. 5, 10115 Berlin, Tel 030-1234567", {}},
      {strip_delivery_tail_raw, "Hauptstr. 5, 10115 Berlin, Tel 1234", {}},
      {strip_delivery_tail_raw, "Hauptstr. 5, 10115 Berlin, Tel Buero 030 1234567", {}},
      {select_three_field_address_raw, "Firma Beispiel, Hauptstr. 5, 10115 Berlin",
       "Hauptstr. 5, 10115 Berlin"},
      {select_three_field_address_raw, "Haus 5, Campus Nord, 10115 Berlin", {}},
      // Longer than the small-string buffer, so its canonical words live on
      // the heap.
      {select_three_field_address_raw,
       "Campus Adlershof Forschungszentrum 12, Musterfirma GmbH, 12489 Berlin", {}},
      {select_three_field_address_raw, "Hinterhof, Haus Sonnenschein 5, 10115 Berlin", {}},
      {select_three_field_address_raw, "Hauptstr. 5, Nebenweg 7, 10115 Berlin", {}},
      {select_three_field_address_raw, "Firma, Hauptstr. 5, 10115  Berlin", {}},
      {reorder_locality_first_raw, "Berlin, Hauptstr. 5, 10115", "Hauptstr. 5, 10115 Berlin"},
      {reorder_locality_first_raw, "Berlin 2, Hauptstr. 5, 10115", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.run(c.in), c.out) << c.in;
}

TEST(RawCleanups, ParentheticalGivesCanonicalLocality) {
  const auto parsed = parenthetical_subaddress_raw("Hauptstr. 5 (Hinterhaus), 10115 Berlin");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->second, "berlin");
}

TEST(RawCleanups, ChainIsCumulativeAndNeverRevisitsAStep) {
  using enum Effect;
  EXPECT_EQ(raw_structural_cleanup_seeds("z Hd Empfang, Berlin, Hauptstr 5, 10115", {}),
            (std::vector<Seed>{{"Berlin, Hauptstr 5, 10115", {RecipientPrefix}},
                               {"Hauptstr 5, 10115 Berlin", {RecipientPrefix, LocalityFirst}}}));
  EXPECT_EQ(raw_structural_cleanup_seeds("z Hd Empfang, Hauptstr 5   10115 Berlin", {HouseRange}),
            (std::vector<Seed>{{"Hauptstr 5   10115 Berlin", {HouseRange, RecipientPrefix}}}));
  EXPECT_TRUE(raw_structural_cleanup_seeds("Hauptstr 5, 10115 Berlin", {}).empty());
}

}  // namespace
}  // namespace vorlane::de
