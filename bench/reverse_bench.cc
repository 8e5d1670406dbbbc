// Reverse queries per second on one thread, in the engine alone, over the
// large shared benchmark sheet (bench/make_sheet.py; its path comes in
// $VORLANE_BENCH_SHEET). Points are drawn near the sheet's streets, so every
// query finds houses within its first grid pass or two.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <random>
#include <vector>

#include "sheet_env.h"
#include "vorlane/query/index.h"

namespace {

using vorlane::query::Index;

std::unique_ptr<Index> g_index;
std::vector<std::pair<double, double>> g_points;

bool load() {
  g_index = open_sheet_from_env("VORLANE_BENCH_SHEET", "bench/make_sheet.py prints the path");
  if (!g_index) return false;
  std::mt19937_64 rng(11);
  std::uniform_int_distribution<uint64_t> street(0, g_index->street_count() - 1);
  std::uniform_real_distribution<double> jitter(-0.0005, 0.0005);
  for (int i = 0; i < 4096; ++i) {
    const auto rec = *g_index->street(street(rng));
    g_points.emplace_back(rec.lat / 10000000.0 + jitter(rng), rec.lon / 10000000.0 + jitter(rng));
  }
  return true;
}

void BM_Reverse(benchmark::State& state) {
  const size_t k = static_cast<size_t>(state.range(0));
  size_t i = 0, answers = 0;
  for (auto _ : state) {
    const auto& [lat, lon] = g_points[i++ & 4095];
    auto hits = g_index->try_reverse(lat, lon, k);
    answers += hits ? hits->size() : 0;
    benchmark::DoNotOptimize(hits);
  }
  state.counters["answers/query"] =
      benchmark::Counter(static_cast<double>(answers) / static_cast<double>(state.iterations()));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Reverse)->Arg(1)->Arg(3)->Arg(10);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!load()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
