// Forward queries on one thread, in the engine alone (query_cascade), over
// the large shared benchmark sheet (bench/make_sheet.py; its path comes in
// $VORLANE_BENCH_SHEET). Mixes built from the sheet's records: clean
// addresses, the same with one edit in a street word, texts that match
// nothing, and a constructed worst case that walks every retry of the core
// stage (also with a POI layer). Each mix is checked before it is timed
// (clean answers must be "house" for at least 95% of the queries). Per mix:
// queries per second, p50/p99/max time, matching-core requests per query
// (mean and max), and how often a query reached the core's automaton pass
// (which builds its automata anew for every query).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "query_mix.h"
#include "vorlane/query/core_stats.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"

namespace {

using vorlane::query::Index;
using Clock = std::chrono::steady_clock;

constexpr size_t kQueries = 2000;
// The slow mixes are cut to this many queries.
constexpr size_t kSlowQueries = 300;
constexpr size_t kK = 5;

struct Mix {
  const char* name;
  std::vector<std::string> queries;
  double min_house_share = 0.0;  // checked before timing
  bool with_poi = false;          // the sheet again as its POI layer
};

std::vector<Mix> mixes(const Index& index) {
  std::mt19937_64 rng(17);
  const std::vector<SampledAddress> sample = sample_addresses(index, rng, kQueries);
  Mix clean{"clean", {}, 0.95}, typo{"typo", {}, 0.0}, none{"no answer", {}, 0.0},
      worst{"worst case", {}, 0.0};
  const char* junk[] = {"zqx", "blorf", "vintup", "krast", "omweb", "pliss", "durv", "snek"};
  for (const SampledAddress& a : sample) {
    const std::string number = std::to_string(a.number);
    clean.queries.push_back(number + " " + a.street + " " + a.commune);
    typo.queries.push_back(number + " " + with_typo(a.street, rng) + " " + a.commune);
    none.queries.push_back(std::string(junk[rng() % 8]) + " " + junk[rng() % 8] + " " +
                           std::to_string(rng() % 90 + 10) + " " + junk[rng() % 8]);
    // A leading affix, a glued number, Cyrillic and Latin, "j" and "dj",
    // a dozen words ending in two that are no numbers: every retry of the
    // core stage runs.
    worst.queries.push_back("rue d12 щ dj " + a.commune + " " + a.street + " zz yy");
  }
  for (Mix* slow : {&typo, &none, &worst}) slow->queries.resize(kSlowQueries);
  Mix worst_poi = worst;
  worst_poi.name = "worst+POI";
  worst_poi.with_poi = true;
  return {clean, typo, none, worst, worst_poi};
}

struct Stats {
  double seconds = 0;
  std::vector<double> times_us;
  uint64_t max_runs = 0, total_runs = 0;
  size_t houses = 0, answered = 0, automaton_passes = 0;
  std::string slowest;
};

Stats run(const Index& index, const Mix& mix) {
  Stats s;
  for (const std::string& q : mix.queries) {
    const uint64_t runs = vorlane::query::testing::core_runs();
    const uint64_t passes = vorlane::query::core_stats().automata;
    const auto t0 = Clock::now();
    const auto hits = vorlane::query::query_cascade(index, mix.with_poi ? &index : nullptr, q, kK);
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    const uint64_t used = vorlane::query::testing::core_runs() - runs;
    s.seconds += us / 1e6;
    if (s.times_us.empty() || us > *std::max_element(s.times_us.begin(), s.times_us.end())) {
      s.slowest = q;
    }
    s.times_us.push_back(us);
    s.total_runs += used;
    s.max_runs = std::max(s.max_runs, used);
    s.answered += !hits.empty();
    s.houses += !hits.empty() && hits[0].precision == vorlane::query::kPrecisionHouse;
    s.automaton_passes += vorlane::query::core_stats().automata > passes;
  }
  return s;
}

}  // namespace

int main() {
  const char* path = std::getenv("VORLANE_BENCH_SHEET");
  if (path == nullptr) {
    std::fprintf(stderr, "VORLANE_BENCH_SHEET is not set (bench/make_sheet.py prints the path)\n");
    return 1;
  }
  auto opened = Index::open(path);
  if (!opened) {
    std::fprintf(stderr, "%s\n", opened.error().message().c_str());
    return 1;
  }
  const Index& index = **opened;
  int failures = 0;
  for (const Mix& mix : mixes(index)) {
    Mix warm_up = mix;  // pages the mapping in
    warm_up.queries.resize(100);
    run(index, warm_up);
    const Stats s = run(index, mix);
    const double n = static_cast<double>(mix.queries.size());
    const double house_share = static_cast<double>(s.houses) / n;
    std::printf(
        "forward %-10s %8.0f q/s  p50 %7.1f us  p99 %8.1f us  max %8.1f us  core requests "
        "mean %.2f max %llu  answered %.1f%%  house %.1f%%  automaton pass %.1f%%\n",
        mix.name, n / s.seconds, percentile(s.times_us, 0.5), percentile(s.times_us, 0.99),
        percentile(s.times_us, 1.0), static_cast<double>(s.total_runs) / n,
        static_cast<unsigned long long>(s.max_runs), 100.0 * static_cast<double>(s.answered) / n,
        100.0 * house_share, 100.0 * static_cast<double>(s.automaton_passes) / n);
    std::printf("        slowest: %s\n", s.slowest.c_str());
    std::fflush(stdout);
    if (house_share < mix.min_house_share) {
      std::fprintf(stderr, "forward %s: only %.1f%% of the answers are houses\n", mix.name,
                   100.0 * house_share);
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
