#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "vorlane/query/de_audited.h"

namespace vorlane::query {
namespace {

using Spec = DeAuditedCompoundSpec;

Spec spec(std::string street, std::string product, std::vector<uint32_t> extra, uint32_t house,
          uint8_t shape, std::string locality = "berlin") {
  return Spec{std::move(street), std::move(product), std::move(extra), "10115",
              std::move(locality), house, 10115, shape};
}

TEST(DeAudited, ShapeParser) {
  const struct {
    const char* q;
    std::optional<Spec> parsed;
  } cases[] = {
      {"Hauptstr. 12/14 (Aufgang B), 10115 Berlin",
       spec("Hauptstr.", "hauptstrasse", {14}, 12, Spec::kEntrancePair)},
      {"Hauptstr. 12 (Hinterhaus), 10115 Berlin",
       spec("Hauptstr.", "hauptstrasse", {}, 12, Spec::kSingleHouse)},
      {"Hauptstr. +12/14 (Aufgang B), 10115 Berlin",
       spec("Hauptstr.", "hauptstrasse", {14}, 12, Spec::kEntrancePair)},
      {"Lindenweg 7 (Hof), 10115 Weilheim/Teck",
       spec("Lindenweg", "lindenweg", {}, 7, Spec::kSingleHouse, "weilheim an der teck")},
      {"Firma, 5, Hauptstraße, Mitte, Kreis, Berlin, Land, 10115",
       spec("Hauptstraße", "hauptstrasse", {}, 5, Spec::kFieldList)},
      {"c/o Meier Lindenallee 5 Berlin, 10115 Berlin",
       spec("lindenallee", "linden allee", {}, 5, Spec::kCareOf)},
      {"C/O Frau Meier Lindenallee 5 Berlin, 10115 Berlin",
       spec("lindenallee", "linden allee", {}, 5, Spec::kCareOf)},
      // Refused.
      {"Hauptstr. 14/12 (Aufgang B), 10115 Berlin", std::nullopt},
      {"Hauptstr. 12/14 (Hof B), 10115 Berlin", std::nullopt},
      {"Hauptstr. 12/014 (Aufgang B), 10115 Berlin", std::nullopt},
      {"Hauptstr. 0 (Hof), 10115 Berlin", std::nullopt},
      {"Hauptstr. 012 (Hof), 10115 Berlin", std::nullopt},
      {"Hauptstr. 12345 (Hof), 10115 Berlin", std::nullopt},
      {"B96 12 (Hof), 10115 Berlin", std::nullopt},
      {"Hauptstr. 12(Hof), 10115 Berlin", std::nullopt},
      {"Hauptstr. 12 (Hof),10115 Berlin", std::nullopt},
      {" Hauptstr. 12 (Hof), 10115 Berlin", std::nullopt},
      {"Hauptstr. 12 (Hof), 10115 Berlin; 2. OG", std::nullopt},
      {"c/o Meier Lindenallee 5, 10115 Berlin", std::nullopt},
      {"c/o Meier 3 Lindenallee 5 Berlin, 10115 Berlin", std::nullopt},
      {"Firma, 05, Hauptstraße, Mitte, Kreis, Berlin, Land, 10115", std::nullopt},
      {"Firma, 5, Hauptstraße, Mitte, Kreis, Berlin, 10115", std::nullopt},
      // Both the entrance and the c/o shape: no answer.
      {"c/o Meier Lindenallee 5 (Berlin), 10115 Berlin", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(de_audited_compound_spec(c.q), c.parsed) << c.q;
}

}  // namespace
}  // namespace vorlane::query
