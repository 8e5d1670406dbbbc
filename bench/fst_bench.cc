// Exact lookups in a fst map of about a million street-like keys, beside a
// plain binary search over the same keys held as a sorted array, in the same
// run and in the same (shuffled) order; also the open-time validation and a
// full ordered stream.
//
// Data: keys.fst and keys.tsv written by bench/make_fst_keys.py (ducer) into
// $VORLANE_FST_BENCH_DATA, or else into a cache directory under $TMPDIR,
// generated on first use.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/fst/map.h"

namespace {

using vorlane::ByteView;
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

std::filesystem::path data_dir() {
  if (const char* dir = std::getenv("VORLANE_FST_BENCH_DATA")) return dir;
  return std::filesystem::temp_directory_path() / "vorlane-fst-bench-1000000";
}

bool ensure_data(const std::filesystem::path& dir) {
  if (std::filesystem::exists(dir / "keys.fst") && std::filesystem::exists(dir / "keys.tsv")) {
    return true;
  }
  const std::string command = std::string("\"") + VORLANE_BENCH_PYTHON + "\" \"" +
                              VORLANE_BENCH_SOURCE_DIR + "/make_fst_keys.py\" \"" + dir.string() +
                              "\"";
  std::cerr << "generating " << dir << " ...\n";
  return std::system(command.c_str()) == 0;
}

bool load(const std::filesystem::path& dir, Data& d) {
  std::ifstream fst(dir / "keys.fst", std::ios::binary);
  d.fst_bytes.assign(std::istreambuf_iterator<char>(fst), std::istreambuf_iterator<char>());
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

Map open_map() {
  vorlane::Result<Map> m = Map::open(ByteView(g_data->fst_bytes.data(), g_data->fst_bytes.size()));
  if (!m) {
    std::cerr << "cannot open the benchmark map: " << m.error().message() << '\n';
    std::exit(1);
  }
  return std::move(m).value();
}

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
  const std::filesystem::path dir = data_dir();
  static Data data;
  if (!ensure_data(dir) || !load(dir, data)) {
    std::cerr << "fst_bench: no benchmark data in " << dir << '\n';
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
