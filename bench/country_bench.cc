// Forward queries through the country branches, one thread, engine alone
// (query_cascade), over the French, Italian and Spanish variants of the
// large benchmark sheet (bench/make_sheet.py --country; paths in
// $VORLANE_BENCH_FR_SHEET, $VORLANE_BENCH_IT_SHEET, $VORLANE_BENCH_ES_SHEET).
// Per mix: queries per second of thread CPU time (and of wall time),
// p50/p99/max CPU time, matching-core requests and runs per query (mean and
// max; a request the memo answers is no run), and the share of answers that
// pass the mix's check, which is verified before the figures count.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "query_mix.h"
#include "sheet_env.h"
#include "vorlane/query/country_driver.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/fr_arrondissement.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"
#include "vorlane/rules/rules.h"

namespace {

using vorlane::query::Hit;
using vorlane::query::Index;
using Clock = std::chrono::steady_clock;

// The calling thread's CPU time: other processes on a busy machine do not
// count, so queries per second are per core.
double thread_cpu_us() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

constexpr size_t kQueries = 2000;
constexpr size_t kK = 5;
constexpr uint32_t kParisArrondissements = 20;

struct Mix {
  std::string name;
  std::vector<std::string> queries;
  std::function<bool(const std::vector<Hit>&)> check;
  double min_share = 0.0;
  // The country steps a clean query of the mix pays for besides its core
  // stage, timed on their own.
  std::function<void(const Index&, const std::string&)> own_steps = nullptr;
  bool steps_take_keys = false;  // the steps read prepared keys, not queries
};

// F1 to F3 on the query's prepared key, which the core stage forms anyway.
void french_steps(const Index& index, const std::string& q) {
  static thread_local std::string key;
  key = q;
  vorlane::query::fr_rewrite_arrondissement_words(key);
  (void)vorlane::query::fr_postcode_area_answer(index, key);
  (void)vorlane::query::fr_commune_constraint(key);
}

void italian_steps(const Index& index, const std::string& q) {
  (void)vorlane::query::it_cut_province_codes(index, q);
}

void spanish_steps(const Index&, const std::string& q) {
  (void)vorlane::query::es_requested_commune(q);
  (void)vorlane::query::es_particle_street_key(q, true);
}

struct Address {
  uint32_t street_id;
  std::string street;
  uint32_t commune_id;
  std::string commune;
  uint32_t number;
};

// Random addresses among the streets [first, end).
std::vector<Address> addresses(const Index& index, std::mt19937_64& rng, uint64_t first,
                               uint64_t end) {
  std::uniform_int_distribution<uint64_t> pick(first, end - 1);
  std::vector<Address> out;
  while (out.size() < kQueries) {
    const uint64_t id = pick(rng);
    const auto record = index.street(id);
    if (!record || record->house_count == 0) continue;
    // make_sheet numbers a street's houses 1, 3, 5, ...
    const uint32_t number = 1 + 2 * static_cast<uint32_t>(rng() % record->house_count);
    out.push_back({static_cast<uint32_t>(id), std::string(index.name(record->name_offset)),
                   record->commune, std::string(index.commune_name(record->commune)), number});
  }
  return out;
}

// make_sheet's letter tags: 0 "a", 25 "z", 26 "ba".
std::string letters(uint32_t n) {
  std::string out;
  do {
    out.insert(out.begin(), static_cast<char>('a' + n % 26));
    n /= 26;
  } while (n != 0);
  return out;
}

// "calle de la paz" as "calle del paz", and so on; empty for a street
// without a particle.
std::string with_other_particle(const std::string& street) {
  const std::pair<const char*, const char*> swaps[] = {
      {" de la ", " del "}, {" del ", " de la "}, {" de los ", " del "},
      {" de las ", " de la "}, {" de ", " del "}};
  for (const auto& [from, to] : swaps) {
    if (const size_t at = street.find(from); at != std::string::npos) {
      return street.substr(0, at) + to + street.substr(at + std::string(from).size());
    }
  }
  return {};
}

std::string junk(std::mt19937_64& rng) {
  const char* words[] = {"zqx", "blorf", "vintup", "krast", "omweb", "pliss", "durv", "snek"};
  return words[rng() % 8];
}

std::vector<Mix> french_mixes(const Index& index) {
  std::mt19937_64 rng(17);
  Mix clean{"fr clean", {}, top_is_house, 0.95, french_steps, true};
  Mix constrained{"fr constrained", {}, top_is_house, 0.95, french_steps, true};
  Mix failing{"fr failing", {}, any_answer};
  for (const Address& a : addresses(index, rng, 0, index.street_count())) {
    clean.queries.push_back(std::to_string(a.number) + " " + a.street + " " + a.commune);
    failing.queries.push_back(junk(rng) + " " + junk(rng) + " " +
                              std::to_string(rng() % 90 + 10) + " " + junk(rng));
  }
  // Streets of the arrondissements (communes 0..19, 100 streets each), named
  // by postcode and city.
  for (const Address& a : addresses(index, rng, 0, kParisArrondissements * 100)) {
    constrained.queries.push_back(a.street + " " + std::to_string(a.number) + " " +
                                  std::to_string(75001 + a.commune_id) + " paris");
  }
  return {clean, constrained, failing};
}

std::vector<Mix> italian_mixes(const Index& index) {
  std::mt19937_64 rng(19);
  Mix clean{"it clean", {}, top_is_house, 0.95, italian_steps};
  Mix province{"it province", {}, top_is_house, 0.95, italian_steps};
  Mix probe{"it probe", {}, [](const std::vector<Hit>& hits) {
              return !hits.empty() && hits[0].flags.back() == "geo_qualifier";
            }, 0.5};
  Mix failing{"it failing", {}, any_answer};
  for (const Address& a : addresses(index, rng, 0, index.street_count())) {
    const std::string number = std::to_string(a.number);
    clean.queries.push_back(a.street + " " + number + " " + a.commune);
    province.queries.push_back(a.street + " " + number + " " + a.commune + " MI");
    probe.queries.push_back(with_typo(a.street, rng) + " " + number + " " + a.commune +
                            " citta " + letters(a.commune_id));
    failing.queries.push_back("via " + junk(rng) + " " + std::to_string(rng() % 90 + 10) + " " +
                              junk(rng) + " " + junk(rng));
  }
  return {clean, province, probe, failing};
}

std::vector<Mix> spanish_mixes(const Index& index) {
  std::mt19937_64 rng(23);
  Mix clean{"es clean", {}, top_is_house, 0.95, spanish_steps};
  Mix particle{"es particle", {}, top_is_house, 0.95};
  Mix failing{"es failing", {}, any_answer};
  for (const Address& a : addresses(index, rng, 0, index.street_count())) {
    const std::string number = std::to_string(a.number);
    clean.queries.push_back(a.street + " " + number + ", " + a.commune);
    failing.queries.push_back(rng() % 2 == 0
                                  ? "calle de la " + junk(rng) + " " + number + ", " + junk(rng)
                                  : a.street + " " + number + ", " + junk(rng));
  }
  while (particle.queries.size() < kQueries) {
    for (const Address& a : addresses(index, rng, 0, index.street_count())) {
      const std::string other = with_other_particle(a.street);
      if (other.empty() || particle.queries.size() == kQueries) continue;
      particle.queries.push_back(other + " " + std::to_string(a.number) + ", " + a.commune);
    }
  }
  return {clean, particle, failing};
}

struct Stats {
  double seconds = 0;       // thread CPU time
  double wall_seconds = 0;
  std::vector<double> times_us;
  uint64_t requests = 0, max_requests = 0, runs = 0, max_runs = 0;
  size_t passed = 0;
  std::string slowest;
};

Stats run(const Index& index, const Mix& mix) {
  namespace t = vorlane::query::testing;
  Stats s;
  double slowest_us = 0;
  for (const std::string& q : mix.queries) {
    const uint64_t requests = t::core_requests();
    const uint64_t runs = t::core_runs();
    const auto t0 = Clock::now();
    const double cpu0 = thread_cpu_us();
    const std::vector<Hit> hits = vorlane::query::query_cascade(index, nullptr, q, kK);
    const double us = thread_cpu_us() - cpu0;
    s.wall_seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    const uint64_t asked = t::core_requests() - requests;
    const uint64_t ran = t::core_runs() - runs;
    s.seconds += us / 1e6;
    if (us > slowest_us) slowest_us = us, s.slowest = q;
    s.times_us.push_back(us);
    s.requests += asked;
    s.max_requests = std::max(s.max_requests, asked);
    s.runs += ran;
    s.max_runs = std::max(s.max_runs, ran);
    s.passed += mix.check(hits);
  }
  return s;
}

// CPU time per query of the mix's own country steps, under the sheet's rules.
double own_steps_us(const Index& index, const Mix& mix) {
  const vorlane::rules::CurrentRulesScope rules(index.active_rules());
  std::vector<std::string> inputs = mix.queries;
  if (mix.steps_take_keys) {
    for (std::string& q : inputs) {
      q = index.expand_city_aliases(vorlane::query::prepared_query_key(q));
    }
  }
  const double t0 = thread_cpu_us();
  for (const std::string& input : inputs) mix.own_steps(index, input);
  return (thread_cpu_us() - t0) / static_cast<double>(mix.queries.size());
}

// Runs the mixes; false when a mix fails its check.
bool report(const Index& index, const std::vector<Mix>& mixes) {
  bool ok = true;
  for (const Mix& mix : mixes) {
    run(index, mix);  // warm-up: page in the mapping
    const Stats s = run(index, mix);
    const double n = static_cast<double>(mix.queries.size());
    const double share = static_cast<double>(s.passed) / n;
    std::printf(
        "%-15s %7.0f q/s (wall %7.0f)  p50 %6.1f us  p99 %7.1f us  max %8.1f us  core requests "
        "mean %.2f max %llu  runs mean %.2f max %llu  memo hits %llu  checked %.1f%%\n",
        mix.name.c_str(), n / s.seconds, n / s.wall_seconds, percentile(s.times_us, 0.5),
        percentile(s.times_us, 0.99), percentile(s.times_us, 1.0),
        static_cast<double>(s.requests) / n, static_cast<unsigned long long>(s.max_requests),
        static_cast<double>(s.runs) / n, static_cast<unsigned long long>(s.max_runs),
        static_cast<unsigned long long>(s.requests - s.runs), 100.0 * share);
    std::printf("        slowest: %s\n", s.slowest.c_str());
    if (mix.own_steps) {
      std::printf("        country steps alone: %.2f us per query\n", own_steps_us(index, mix));
    }
    if (share < mix.min_share) {
      std::fprintf(stderr, "%s: only %.1f%% of the answers pass the check\n", mix.name.c_str(),
                   100.0 * share);
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int main() {
  const char* hint = "bench/make_sheet.py --country fr|it|es prints the path";
  const auto fr = open_sheet_from_env("VORLANE_BENCH_FR_SHEET", hint);
  const auto it = open_sheet_from_env("VORLANE_BENCH_IT_SHEET", hint);
  const auto es = open_sheet_from_env("VORLANE_BENCH_ES_SHEET", hint);
  if (!fr || !it || !es) return 1;
  const bool ok = report(*fr, french_mixes(*fr)) & report(*it, italian_mixes(*it)) &
                  report(*es, spanish_mixes(*es));
  return ok ? 0 : 1;
}
