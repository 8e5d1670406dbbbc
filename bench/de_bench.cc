// German text forms: the product form of short names on its path without
// composition (ASCII, Latin-1) and through ICU's normaliser, and the
// street-type variants of one street with four street-type words.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "vorlane/base/byte_view.h"
#include "vorlane/de/street_variants.h"
#include "vorlane/query/de_text.h"
#include "vorlane/rules/rules.h"

namespace {

const std::string kAsciiName = "Muehlenweg 14 Berlin";           // 20 bytes
const std::string kLatin1Name = "Gr\u00FCner Weg 5, K\u00F6ln";  // 20 bytes
const std::string kDecomposedName = "Mu\u0308hlenweg 5, Ko\u0308ln";  // 22 bytes, composes

void product_form(benchmark::State& state, const std::string& text) {
  for (auto _ : state) benchmark::DoNotOptimize(vorlane::query::de_product_normalize_text(text));
  state.SetLabel(std::to_string(text.size()) + " bytes");
}
BENCHMARK_CAPTURE(product_form, ascii, kAsciiName);
BENCHMARK_CAPTURE(product_form, latin1, kLatin1Name);
BENCHMARK_CAPTURE(product_form, icu_decomposed, kDecomposedName);

void product_form_icu_path(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(vorlane::query::detail::de_product_normalize_text_unicode(text));
  }
  state.SetLabel(std::to_string(text.size()) + " bytes");
}
BENCHMARK_CAPTURE(product_form_icu_path, latin1, kLatin1Name);

// Rules with the street-type words str, strasse, straße and weg (kind 20).
std::unique_ptr<vorlane::rules::Rules> four_street_types() {
  std::string section = {4, 0, 0, 0};
  for (const std::string word : {"str", "strasse", "stra\u00DFe", "weg"}) {
    section += static_cast<char>(20);
    section += static_cast<char>(word.size());
    section += '\0';
    section += word;
    section += std::string(2, '\0');
  }
  return vorlane::rules::from_section_owned(vorlane::ByteView(std::string_view(section)));
}

void street_variants(benchmark::State& state) {
  const std::unique_ptr<vorlane::rules::Rules> rules = four_street_types();
  const vorlane::rules::CurrentRulesScope scope(*rules);
  for (auto _ : state) benchmark::DoNotOptimize(vorlane::de::street_variants("hauptstr"));
}
BENCHMARK(street_variants);

}  // namespace

BENCHMARK_MAIN();
