#include "vorlane/de/seeds.h"

#include <gtest/gtest.h>

namespace vorlane::de {
namespace {

using enum Effect;
using Seeds = std::vector<Seed>;

TEST(CompactLetterHouseRange, FirstDashWithALetteredEndpoint) {
  using Forms = std::optional<std::pair<std::string, std::string>>;
  const std::pair<std::string, Forms> cases[] = {
      {"Hauptstr. 12a-14b, 12345 Berlin",
       Forms{{"Hauptstr. 12a, 12345 Berlin", "Hauptstr. 12a 14b, 12345 Berlin"}}},
      {"Weg 12\xe2\x80\x93" "14b", Forms{{"Weg 12", "Weg 12 14b"}}},  // en dash dropped whole
      {"Weg 1-2 3-4a", Forms{{"Weg 1-2 3", "Weg 1-2 3 4a"}}},
      {"12-14", {}}, {"A1-2b", {}}, {"12345a-7", {}}, {"12a-14bc", {}}, {"12a-14\xc3\xa4", {}},
      {"-1a", {}}, {"a-1", {}}, {"12a-12345", {}},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(compact_letter_house_range_variants(in), out) << in;
}

TEST(DerivedSeeds, ExactSeedLists) {
  const std::pair<std::string, Seeds> cases[] = {
      {"", {{"", {}}}},
      {"Hauptstr 12a-14b", {{"hauptstr 12a 14b", {HouseRange}}, {"hauptstr 12a", {HouseRange}}}},
      {"12-14", {{"12", {}}, {"12 14", {HouseRange}}}},
      {"Marktpl. 5", {{"marktpl 5", {}}, {"marktplatz 5", {Abbrev}}}},
      {"Am Marktpl. 5 und Xypl. 7", {{"am marktpl 5 und xypl 7", {}},
                                     {"am marktplatz 5 und xypl 7", {Abbrev}}}},
      {"MARKTPL. 5-7", {{"marktpl 5", {}}, {"marktplatz 5", {Abbrev}},
                        {"marktplatz 5 7", {Abbrev, HouseRange}}, {"marktpl 5 7", {HouseRange}}}},
      {"Hauptstr 12 bis 14", {{"hauptstr 12 bis 14", {}}, {"hauptstr 12 14", {HouseRange}}}},
      {"Hauptstr 1 bis 3/2", {{"hauptstr 1 bis 3 2", {}}, {"hauptstr 1 3 2", {HouseRange}}}},
      {"Hauptstr 12/2", {{"hauptstr 12 2", {}}, {"hauptstr 12 1 2", {HouseSlash}}}},
      {"Weg 1/2", {{"weg 1 2", {}}, {"weg 1 1 2", {HouseSlash}}}},
      {"Große Straße 5", {{"große straße 5", {}}, {"grosse strasse 5", {Umlaut}}}},
      {"z Hd Empfang, Berlin, Marktpl. 5, 10115",
       {{"z hd empfang berlin marktpl 5 10115", {}},
        {"berlin marktpl 5 10115", {RecipientPrefix}},
        {"marktpl 5 10115 berlin", {RecipientPrefix, LocalityFirst}},
        {"z hd empfang berlin marktplatz 5 10115", {Abbrev}},
        {"berlin marktplatz 5 10115", {RecipientPrefix, Abbrev}},
        {"marktplatz 5 10115 berlin", {RecipientPrefix, LocalityFirst, Abbrev}}}},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(derived_seeds(in), out) << in;
  for (const char* none : {"Pl. 5", "Xypl. 5", "Am Marktpl.", "Marktpl. Nord",
                           "Hauptstr 12 bis 14a",
                           "Hauptstr 12/23", "Hauptstr 12/3", "Hauptstr 12/2/4",
                           "Weg 12 1/2"}) {
    EXPECT_EQ(derived_seeds(none).size(), 1u) << none;
  }
}

}  // namespace
}  // namespace vorlane::de
