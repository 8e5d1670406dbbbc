// What a German sheet adds to its open, on the German benchmark sheet
// (bench/make_sheet.py --de; its path comes in $VORLANE_BENCH_DE_SHEET):
// the whole open, the postcode roster and blank-postcode projection alone
// with the heap they keep, and a cache hit of the exact-house test, which
// must not allocate.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "sheet_env.h"
#include "support/alloc_counter.h"
#include "vorlane/query/index.h"

namespace {

using vorlane::query::Index;

const char* g_path = nullptr;
std::unique_ptr<Index> g_index;

bool load() {
  g_path = std::getenv("VORLANE_BENCH_DE_SHEET");
  g_index =
      open_sheet_from_env("VORLANE_BENCH_DE_SHEET", "bench/make_sheet.py --de prints the path");
  return g_index != nullptr;
}

size_t heap_in_use() { return mallinfo2().uordblks; }

void BM_OpenGermanSheet(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Index::open(g_path));
}
BENCHMARK(BM_OpenGermanSheet)->Unit(benchmark::kMillisecond);

// Both builders, as the opener runs them; "kept_bytes" is the heap still in
// use afterwards with their results alive, "design_bytes" what the flat
// roster and id array need.
void BM_BuildGermanRosters(benchmark::State& state) {
  size_t kept = 0, design = 0, keys = 0;
  for (auto _ : state) {
    const size_t before = heap_in_use();
    auto roster = vorlane::query::build_de_postcode_streets(*g_index);
    auto projection = vorlane::query::build_de_blank_postcode_display_streets(*g_index);
    state.PauseTiming();  // dropping the results is not part of an open
    kept = heap_in_use() - before;
    design = roster->size() * 8 + projection->street_ids.size() * 4;
    keys = projection->by_key.size();
    roster = vorlane::query::DePostcodeRoster();
    projection = vorlane::query::DeBlankPostcodeDisplayProjection();
    state.ResumeTiming();
  }
  state.counters["kept_bytes"] = static_cast<double>(kept);
  state.counters["design_bytes"] = static_cast<double>(design);
  state.counters["roster_pairs"] = static_cast<double>(g_index->de_postcode_streets.size());
  state.counters["projected_keys"] = static_cast<double>(keys);
}
BENCHMARK(BM_BuildGermanRosters)->Unit(benchmark::kMillisecond);

void BM_ExactHouseCacheHit(benchmark::State& state) {
  vorlane::query::ExactHouseCache cache;
  struct Probe {
    uint32_t street_id;
    vorlane::query::StreetRecord street;
    uint32_t postcode;
  };
  std::vector<Probe> probes;
  const auto& roster = g_index->de_postcode_streets;
  for (size_t i = 0; i < roster.size() && probes.size() < 256; i += roster.size() / 256 + 1) {
    const auto [postcode, id] = roster[i];
    probes.push_back({id, *g_index->street(id), postcode});
    const vorlane::query::StreetRecord& street = probes.back().street;
    (void)vorlane::query::exact_house_postcode_candidate_cached(*g_index, cache, id, street, 3, 0,
                                                                postcode);
  }
  const size_t allocations_before = vorlane::testing::allocation_count.load();
  size_t i = 0;
  for (auto _ : state) {
    const Probe& p = probes[i];
    if (++i == probes.size()) i = 0;
    benchmark::DoNotOptimize(vorlane::query::exact_house_postcode_candidate_cached(
        *g_index, cache, p.street_id, p.street, 3, 0, p.postcode));
  }
  state.counters["allocations"] =
      static_cast<double>(vorlane::testing::allocation_count.load() - allocations_before);
}
BENCHMARK(BM_ExactHouseCacheHit);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!load()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
