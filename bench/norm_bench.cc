// Canonical form and phonetic key on address-like texts: a typical 40-byte
// ASCII address, accented Latin, Cyrillic and German addresses, and a mixed
// batch of all of them, plus the Unicode path on ASCII input for comparison
// with the ASCII shortcut.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "vorlane/norm/normalize.h"
#include "vorlane/norm/phonetic.h"

namespace {

const std::string kAsciiAddress = "12-14 Rue de la Paix, 75002 Paris France";  // 40 bytes

const std::vector<std::string>& mixed_addresses() {
  static const std::vector<std::string> texts = {
      kAsciiAddress,
      "221B Baker Street, London NW1 6XE",
      "1600 Amphitheatre Pkwy, Mountain View, CA 94043",
      "Avenue des Champs-Élysées 101, 75008 Paris",
      "Calle de Alcalá 42, 28014 Madrid",
      "Ulica Łódzka 3-5a, Kraków",
      "Hauptstraße 5, 10115 Berlin",
      "Königsallee 92a, 40212 Düsseldorf",
      "Straße des 17. Juni 135, D-10623 Berlin",
      "ул. Тверская, д. 7, Москва 125009",
      "Кнеза Милоша 10, Београд",
      "проспект Победы 12-14, Київ",
  };
  return texts;
}

void BM_NormalizeAsciiAddress(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(vorlane::norm::normalize(kAsciiAddress));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kAsciiAddress.size()));
}
BENCHMARK(BM_NormalizeAsciiAddress);

void BM_NormalizeAsciiAddressUnicodePath(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(vorlane::norm::detail::normalize_unicode(kAsciiAddress));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kAsciiAddress.size()));
}
BENCHMARK(BM_NormalizeAsciiAddressUnicodePath);

// One address of the mix per run (arg = its index).
void BM_NormalizeOne(benchmark::State& state) {
  const std::string& text = mixed_addresses()[static_cast<size_t>(state.range(0))];
  state.SetLabel(text);
  for (auto _ : state) benchmark::DoNotOptimize(vorlane::norm::normalize(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_NormalizeOne)->DenseRange(0, 11);

void BM_NormalizeMix(benchmark::State& state) {
  const std::vector<std::string>& texts = mixed_addresses();
  size_t bytes = 0;
  for (const std::string& t : texts) bytes += t.size();
  for (auto _ : state) {
    for (const std::string& t : texts) benchmark::DoNotOptimize(vorlane::norm::normalize(t));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_NormalizeMix);

void BM_PhoneticKeyMix(benchmark::State& state) {
  const std::vector<std::string>& texts = mixed_addresses();
  for (auto _ : state) {
    for (const std::string& t : texts) benchmark::DoNotOptimize(vorlane::norm::phonetic_key(t));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
}
BENCHMARK(BM_PhoneticKeyMix);

}  // namespace

BENCHMARK_MAIN();
