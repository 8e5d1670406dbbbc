// Levenshtein automata: building them for typical street words at distances
// 1 and 2, a hit in the per-thread cache, and fuzzy prefix searches over a
// street-key map of about a million keys, with the automaton taken from the
// cache (as the matching core does) and, separately, built for each search.
//
// Search texts are street parts of keys drawn from the map, 8 to 11
// characters long for distance 1 and 12 to 20 for distance 2 (the matching
// core's choice of distance), with one letter replaced: the misspelt street
// names the fuzzy search exists for. The "prefix" runs cut longer street
// parts to those lengths instead, which matches far more keys.
//
// Data: the benchmark map of bench_data.h, shared with fst_bench.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_data.h"
#include "vorlane/fst/map.h"
#include "vorlane/levenshtein/lev_cache.h"
#include "vorlane/levenshtein/levenshtein.h"
#include "vorlane/levenshtein/prefix_search.h"

namespace {

using vorlane::fst::Map;
using vorlane::levenshtein::Levenshtein;
using vorlane::levenshtein::StreetKeyPrefixSearch;

struct Data {
  std::vector<uint8_t> fst_bytes;
  std::vector<std::string> streets;  // street parts of the keys, in key order
};

Data* g_data = nullptr;

bool load(const std::filesystem::path& dir, Data& d) {
  d.fst_bytes = vorlane::bench::read_bytes(dir / "keys.fst");
  std::ifstream tsv(dir / "keys.tsv", std::ios::binary);
  std::string line;
  while (std::getline(tsv, line)) {
    const size_t sep = line.find('\x1F');
    if (sep != std::string::npos) d.streets.push_back(line.substr(0, sep));
  }
  return !d.streets.empty() && !d.fst_bytes.empty();
}

Map open_map() { return vorlane::bench::open_map_or_exit(g_data->fst_bytes); }

// Misspelt street texts (pure ASCII) of min_len..max_len characters: whole
// street parts of keys, or (`cut`) the first characters of longer ones.
std::vector<std::string> search_texts(size_t min_len, size_t max_len, bool cut, size_t count) {
  std::mt19937 rng(7);
  std::vector<std::string> out;
  while (out.size() < count) {
    const std::string& street = g_data->streets[rng() % g_data->streets.size()];
    const size_t len = cut ? min_len + rng() % (max_len - min_len + 1) : street.size();
    if (street.size() < len || len < min_len || len > max_len) continue;
    std::string text = street.substr(0, len);
    const size_t at = 1 + rng() % (len - 1);
    if (text[at] == ' ') continue;
    text[at] = static_cast<char>(text[at] == 'q' ? 'x' : 'q');
    out.push_back(text);
  }
  return out;
}

void BM_Build(benchmark::State& state, const char* word, uint32_t dist) {
  size_t states = 0;
  for (auto _ : state) {
    vorlane::Result<Levenshtein> lev = Levenshtein::build(word, dist);
    states = lev ? lev->state_count() : 0;
    benchmark::DoNotOptimize(states);
  }
  state.counters["states"] = static_cast<double>(states);
}

void BM_CacheHit(benchmark::State& state) {
  vorlane::query::clear_lev_cache();
  vorlane::query::cached_levenshtein("hauptstrasse", 2);
  for (auto _ : state) benchmark::DoNotOptimize(vorlane::query::cached_levenshtein("hauptstrasse", 2));
}

enum class Texts { whole_streets, street_prefixes };

// Each iteration searches with every text once, so the reported time is
// for the whole set; `per_search` is the mean time of one search. With
// `build` each search also constructs its automaton instead of taking it
// from the cache.
void BM_FuzzyPrefixSearch(benchmark::State& state, uint32_t dist, Texts kind, bool build) {
  constexpr size_t kTexts = 64;
  const Map map = open_map();
  const bool cut = kind == Texts::street_prefixes;
  const std::vector<std::string> texts =
      dist == 1 ? search_texts(8, 11, cut, kTexts) : search_texts(12, 20, cut, kTexts);
  vorlane::query::clear_lev_cache();
  uint64_t hits = 0;
  for (auto _ : state) {
    for (const std::string& text : texts) {
      std::shared_ptr<const Levenshtein> lev;
      if (build) {
        lev = std::make_shared<Levenshtein>(std::move(Levenshtein::build(text, dist)).value());
      } else {
        lev = vorlane::query::cached_levenshtein(text, dist);
      }
      StreetKeyPrefixSearch search(map, std::move(lev));
      while (search.next()) {
        ++hits;
        benchmark::DoNotOptimize(search.street_id());
      }
    }
  }
  const auto searches = static_cast<double>(state.iterations() * kTexts);
  state.counters["keys_per_search"] = static_cast<double>(hits) / searches;
  state.counters["per_search"] = benchmark::Counter(
      searches, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(BM_Build, kirchweg_d1, "kirchweg", 1);
BENCHMARK_CAPTURE(BM_Build, hauptstr_d1, "hauptstr", 1);
BENCHMARK_CAPTURE(BM_Build, hauptstr_d2, "hauptstr", 2);
BENCHMARK_CAPTURE(BM_Build, bahnhofstrasse_d1, "bahnhofstrasse", 1);
BENCHMARK_CAPTURE(BM_Build, bahnhofstrasse_d2, "bahnhofstrasse", 2);
BENCHMARK_CAPTURE(BM_Build, rue_de_la_republique_d2, "rue de la republique", 2);
BENCHMARK(BM_CacheHit);
BENCHMARK_CAPTURE(BM_FuzzyPrefixSearch, d1_street, 1, Texts::whole_streets, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FuzzyPrefixSearch, d1_street_with_build, 1, Texts::whole_streets, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FuzzyPrefixSearch, d2_street, 2, Texts::whole_streets, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FuzzyPrefixSearch, d2_street_with_build, 2, Texts::whole_streets, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FuzzyPrefixSearch, d1_prefix, 1, Texts::street_prefixes, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FuzzyPrefixSearch, d2_prefix, 2, Texts::street_prefixes, false)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::optional<std::filesystem::path> dir = vorlane::bench::bench_data_dir();
  static Data data;
  if (!dir || !load(*dir, data)) {
    std::cerr << "lev_bench: no benchmark data" << (dir ? " in " + dir->string() : "") << '\n';
    return 1;
  }
  g_data = &data;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
