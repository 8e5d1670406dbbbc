// Exact lookups in a fst map of about a million street-like keys, beside a
// plain binary search over the same keys held as a sorted array, in the same
// run and in the same (shuffled) order; also the open-time validation and a
// full ordered stream.
//
// Data: the shared benchmark map of bench_data.h.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench_data.h"
#include "vorlane/fst/map.h"

namespace {

using vorlane::fst::Map;

struct Data {
  std::vector<uint8_t> fst_bytes;
  std::string key_bytes;                // all keys back to back
  std::vector<std::string_view> keys;   // sorted, into key_bytes
  std::vector<uint64_t> values;
  // The lookups to time, in a shuffled order, laid out back to back so that
  // fetching the next key costs no cache miss of its own: the timings then
  // show the lookup structure, not the harness.
  std::vector<std::string_view> shuffled_hits;
  std::vector<std::string_view> shuffled_misses;  // absent keys
  std::string shuffled_bytes;
};

Data* g_data = nullptr;

bool load(const std::filesystem::path& dir, Data& d) {
  d.fst_bytes = vorlane::bench::read_bytes(dir / "keys.fst");
  std::ifstream tsv(dir / "keys.tsv", std::ios::binary);
  std::string line;
  std::vector<size_t> ends;
  while (std::getline(tsv, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) return false;
    d.key_bytes.append(line, 0, tab);
    ends.push_back(d.key_bytes.size());
    d.values.push_back(std::stoull(line.substr(tab + 1)));
  }
  size_t start = 0;
  for (size_t end : ends) {
    d.keys.emplace_back(d.key_bytes.data() + start, end - start);
    start = end;
  }
  std::vector<uint32_t> order(d.keys.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(42));
  std::vector<size_t> hit_at, miss_at;
  for (uint32_t k : order) {
    hit_at.push_back(d.shuffled_bytes.size());
    d.shuffled_bytes.append(d.keys[k]);
    miss_at.push_back(d.shuffled_bytes.size());
    d.shuffled_bytes.append(d.keys[k]);
    d.shuffled_bytes += '~';  // above every byte the keys use: never a key
  }
  for (size_t i = 0; i < order.size(); ++i) {
    const size_t n = d.keys[order[i]].size();
    d.shuffled_hits.emplace_back(d.shuffled_bytes.data() + hit_at[i], n);
    d.shuffled_misses.emplace_back(d.shuffled_bytes.data() + miss_at[i], n + 1);
  }
  return !d.keys.empty() && !d.fst_bytes.empty();
}

Map open_map() { return vorlane::bench::open_map_or_exit(g_data->fst_bytes); }

// Every key must be found with its value before anything is timed.
bool verify(const Map& map) {
  if (map.size() != g_data->keys.size()) return false;
  for (size_t i = 0; i < g_data->keys.size(); ++i) {
    if (map.get(g_data->keys[i]) != g_data->values[i]) return false;
  }
  for (std::string_view absent : g_data->shuffled_misses) {
    if (map.get(absent)) return false;
  }
  return true;
}

std::optional<uint64_t> binary_search(std::string_view key) {
  const auto& keys = g_data->keys;
  auto it = std::lower_bound(keys.begin(), keys.end(), key);
  if (it == keys.end() || *it != key) return std::nullopt;
  return g_data->values[static_cast<size_t>(it - keys.begin())];
}

template <typename Lookup>
void run_lookups(benchmark::State& state, const std::vector<std::string_view>& keys,
                 Lookup lookup) {
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lookup(keys[i]));
    if (++i == keys.size()) i = 0;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_FstGetHit(benchmark::State& state) {
  const Map map = open_map();
  run_lookups(state, g_data->shuffled_hits, [&map](std::string_view k) { return map.get(k); });
}
void BM_SortedArrayHit(benchmark::State& state) {
  run_lookups(state, g_data->shuffled_hits, binary_search);
}
// In key order consecutive lookups share most of their path, which then
// stays in cache: closer to the decoding cost alone.
void BM_FstGetHitKeyOrder(benchmark::State& state) {
  const Map map = open_map();
  run_lookups(state, g_data->keys, [&map](std::string_view k) { return map.get(k); });
}
void BM_SortedArrayHitKeyOrder(benchmark::State& state) {
  run_lookups(state, g_data->keys, binary_search);
}
void BM_FstGetMiss(benchmark::State& state) {
  const Map map = open_map();
  run_lookups(state, g_data->shuffled_misses, [&map](std::string_view k) { return map.get(k); });
}
void BM_SortedArrayMiss(benchmark::State& state) {
  run_lookups(state, g_data->shuffled_misses, binary_search);
}

void BM_FstOpen(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(open_map());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_data->fst_bytes.size()));
}

void BM_FstStreamAll(benchmark::State& state) {
  const Map map = open_map();
  for (auto _ : state) {
    auto s = map.stream();
    uint64_t sum = 0;
    while (s.next()) sum += s.value() + s.key().size();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * g_data->keys.size()));
}

BENCHMARK(BM_FstGetHit);
BENCHMARK(BM_SortedArrayHit);
BENCHMARK(BM_FstGetHitKeyOrder);
BENCHMARK(BM_SortedArrayHitKeyOrder);
BENCHMARK(BM_FstGetMiss);
BENCHMARK(BM_SortedArrayMiss);
BENCHMARK(BM_FstOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FstStreamAll)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::optional<std::filesystem::path> dir = vorlane::bench::bench_data_dir();
  static Data data;
  if (!dir || !load(*dir, data)) {
    std::cerr << "fst_bench: no benchmark data" << (dir ? " in " + dir->string() : "") << '\n';
    return 1;
  }
  g_data = &data;
  if (!verify(open_map())) {
    std::cerr << "fst_bench: the map does not hold the listed entries\n";
    return 1;
  }
  std::cout << "map: " << data.keys.size() << " keys, " << data.fst_bytes.size() << " bytes; key bytes "
            << data.key_bytes.size() << "\n";
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
