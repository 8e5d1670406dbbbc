// The German variant generator, its seeds and the German query-shape
// parsers, one core, under a rules section of about fifty German entries
// (commune aliases, token replacements, street types, dropped and cut
// words) installed as a sheet's rules would be.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vorlane/base/byte_view.h"
#include "vorlane/de/seeds.h"
#include "vorlane/de/variants.h"
#include "vorlane/query/de_parsers.h"
#include "vorlane/rules/rules.h"

namespace {

using namespace vorlane;

const std::string kClean = "Hauptstraße 5, 10115 Berlin";
const std::string kMessy = "z. Hd. Empfang, Müllerstr. 12a-14b, D-10115 Berlin, Deutschland";
// A comma shape with four fields.
const std::string kRefused = "Am Alten Markt 5, Hinterhaus, 10115 Berlin Mitte, Deutschland";

void put_le(std::string& out, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

std::unique_ptr<rules::Rules> german_rules() {
  struct Entry {
    uint8_t kind;
    const char* a;
    const char* b;
  };
  static const Entry kEntries[] = {
      {18, "frankfurt", "frankfurt am main"}, {18, "ffm", "frankfurt am main"},
      {18, "muenchen", "munchen"}, {18, "koeln", "koln"}, {18, "halle saale", "halle"},
      {18, "offenbach", "offenbach am main"}, {18, "freiburg", "freiburg im breisgau"},
      {18, "muelheim", "mulheim an der ruhr"}, {18, "weil", "weil am rhein"},
      {18, "neustadt weinstrasse", "neustadt an der weinstraße"},
      {19, "str d", "straße der"}, {19, "str des", "straße des"}, {19, "bhf", "bahnhof"},
      {19, "hbf", "hauptbahnhof"}, {19, "st", "sankt"}, {19, "pl d", "platz der"},
      {19, "prof", "professor"}, {19, "dr", "doktor"}, {19, "ob", "oberer"},
      {19, "unt", "unterer"},
      {20, "str", ""}, {20, "strasse", ""}, {20, "straße", ""}, {20, "weg", ""},
      {20, "allee", ""}, {20, "gasse", ""}, {20, "platz", ""}, {20, "ring", ""},
      {20, "ufer", ""}, {20, "damm", ""},
      {21, "deutschland", ""}, {21, "germany", ""}, {21, "brd", ""}, {21, "de", ""},
      {21, "bundesrepublik", ""}, {21, "ger", ""}, {21, "deu", ""}, {21, "d", ""},
      {21, "allemagne", ""}, {21, "alemania", ""},
      {22, "kreis", ""}, {22, "landkreis", ""}, {22, "lk", ""}, {22, "kr", ""},
      {22, "ot", ""}, {22, "ortsteil", ""}, {22, "gemeinde", ""}, {22, "amt", ""},
      {22, "bezirk", ""}, {22, "stadtteil", ""},
  };
  std::string section;
  put_le(section, std::size(kEntries), 4);
  for (const Entry& e : kEntries) {
    const std::string a = e.a, b = e.b;
    section.push_back(static_cast<char>(e.kind));
    put_le(section, a.size(), 2);
    section += a;
    put_le(section, b.size(), 2);
    section += b;
  }
  return rules::from_section_owned(ByteView(std::string_view(section)));
}

// Installs the German rules for the whole benchmark run of one thread.
class GermanRulesInstalled {
 public:
  GermanRulesInstalled() : rules_(german_rules()), scope_(*rules_) {}

 private:
  std::unique_ptr<rules::Rules> rules_;
  rules::CurrentRulesScope scope_;
};

void BM_QueryVariants(benchmark::State& state, const std::string& query) {
  const GermanRulesInstalled installed;
  for (auto _ : state) benchmark::DoNotOptimize(de::query_variants(query));
}
BENCHMARK_CAPTURE(BM_QueryVariants, clean, kClean);
BENCHMARK_CAPTURE(BM_QueryVariants, messy, kMessy);

void BM_DerivedSeeds(benchmark::State& state, const std::string& query) {
  for (auto _ : state) benchmark::DoNotOptimize(de::derived_seeds(query));
}
BENCHMARK_CAPTURE(BM_DerivedSeeds, clean, kClean);
BENCHMARK_CAPTURE(BM_DerivedSeeds, messy, kMessy);

void BM_PostalTailEligible(benchmark::State& state, const std::string& query) {
  for (auto _ : state) benchmark::DoNotOptimize(de::postal_tail_eligible(query));
}
BENCHMARK_CAPTURE(BM_PostalTailEligible, clean, kClean);
BENCHMARK_CAPTURE(BM_PostalTailEligible, messy, kMessy);

// Each parser on a shape that it refuses late, after most of its tests.
void BM_CompactHousePairRefusing(benchmark::State& state) {
  const std::string query = "Hauptstraße 12 - 14 10115 Berlin";
  for (auto _ : state) benchmark::DoNotOptimize(query::de_compact_house_pair_spec(query));
}
BENCHMARK(BM_CompactHousePairRefusing);

void BM_StreetLocalityQualifierRefusing(benchmark::State& state) {
  const std::string query = "Hauptstr 12-14, 10115 Berlin";
  for (auto _ : state) benchmark::DoNotOptimize(query::de_street_locality_qualifier_spec(query));
}
BENCHMARK(BM_StreetLocalityQualifierRefusing);

void BM_StrictSourceStreetTypoRefusing(benchmark::State& state) {
  const std::string query = "Hauptstr 5a, 10115 Berlin";
  for (auto _ : state) benchmark::DoNotOptimize(query::de_strict_source_street_typo_spec(query));
}
BENCHMARK(BM_StrictSourceStreetTypoRefusing);

// Arg 0: refused by its shape tests (four fields); arg 1: refused only by the
// house-range test on its seeds.
void BM_CommaPostcodeHouseRescueRefusing(benchmark::State& state) {
  const std::string query = state.range(0) == 0 ? kRefused : "Hauptstr 12 bis 14, 10115 Berlin";
  for (auto _ : state) {
    benchmark::DoNotOptimize(query::de_comma_postcode_house_rescue_query(query));
  }
}
BENCHMARK(BM_CommaPostcodeHouseRescueRefusing)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
