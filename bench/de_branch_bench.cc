// Forward queries through the German branch, one thread, engine alone
// (query_cascade), on the German branch sheet (bench/make_de_branch_sheet.py;
// path in $VORLANE_BENCH_DE_BRANCH_SHEET). Mixes: clean addresses (and those
// of them without ß or umlauts, which make no respelled rows), messy
// ones (missing comma, abbreviations, other spellings, house ranges,
// typos) and failing ones, each also with the sheet as its own "de" POI
// layer. Per mix: queries per second of thread CPU time, p50/p99/max, the
// matching-core runs per query (stage runs plus rescue runs; mean and max),
// the row loop's core-stage calls and rescues per query, and the share of
// answers that pass the mix's check.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "query_mix.h"
#include "sheet_env.h"
#include "vorlane/query/de_branch.h"
#include "vorlane/query/de_rescue.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"

namespace {

using vorlane::query::Hit;
using vorlane::query::Index;

constexpr size_t kQueries = 1000;
constexpr size_t kK = 5;

double thread_cpu_us() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

struct Mix {
  std::string name;
  std::vector<std::string> queries;
  std::function<bool(const std::vector<Hit>&)> check;
  double min_share = 0.0;
  bool with_poi = false;
};

struct Address {
  std::string street;
  std::string commune;
  std::string postcode;
  uint32_t number;
};

// Random addresses on streets with a postcode of their own.
std::vector<Address> addresses(const Index& index, std::mt19937_64& rng) {
  std::uniform_int_distribution<uint64_t> pick(0, index.street_count() - 1);
  std::vector<Address> out;
  while (out.size() < kQueries) {
    const auto record = index.street(pick(rng));
    if (!record || record->postcode == 0) continue;
    // make_de_branch_sheet numbers a street's houses 1, 3, 5, ...
    const uint32_t number = 1 + 2 * static_cast<uint32_t>(rng() % record->house_count);
    char postcode[12];
    std::snprintf(postcode, sizeof postcode, "%05u", record->postcode);
    out.push_back({std::string(index.name(record->name_offset)),
                   std::string(index.commune_name(record->commune)), postcode, number});
  }
  return out;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  if (const size_t at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// ß, umlauts and "straße"/"str." written the other way.
std::string respelled(const std::string& street) {
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"straße", "strasse"},
                                 {"str.", "straße"}, {"ß", "ss"}, {"ü", "ue"}, {"ö", "oe"},
                                 {"ä", "ae"}, {"Ü", "Ue"}, {"Ä", "Ae"}}) {
    if (street.find(from) != std::string::npos) return replaced(street, from, to);
  }
  return street;
}

// One ASCII letter of the longest word changed, never its first.
std::string with_ascii_typo(std::string street, std::mt19937_64& rng) {
  size_t best_start = 0, best_len = 0;
  for (size_t i = 0; i < street.size();) {
    size_t j = street.find(' ', i);
    if (j == std::string::npos) j = street.size();
    if (j - i > best_len) best_start = i, best_len = j - i;
    i = j + 1;
  }
  for (int attempt = 0; attempt < 8 && best_len >= 5; ++attempt) {
    const size_t at = best_start + 1 + rng() % (best_len - 1);
    const char c = street[at];
    if (c < 'a' || c > 'z') continue;
    street[at] = c == 'q' ? 'x' : 'q';
    break;
  }
  return street;
}

std::string messy(const Address& a, size_t kind, std::mt19937_64& rng) {
  const std::string n = std::to_string(a.number);
  const std::string tail = a.postcode + " " + a.commune;
  switch (kind % 5) {
    case 0:
      return a.street + " " + n + "   " + tail;
    case 1:
      return replaced(replaced(a.street, "straße", "str."), "Hauptstr.", "Hptstr") + " " + n +
             ", " + tail;
    case 2:
      return respelled(a.street) + " " + n + ", " + tail;
    case 3:
      return a.street + " " + n + "-" + std::to_string(a.number + 2) + ", " + tail;
    default:
      return with_ascii_typo(a.street, rng) + " " + n + ", " + tail;
  }
}

std::string junk(std::mt19937_64& rng) {
  const char* words[] = {"Zqxweg", "Blorfstraße", "Vintupallee", "Krastgasse", "Omwebring",
                         "Plissufer", "Durvplatz", "Snekstr."};
  return words[rng() % 8];
}

std::vector<Mix> mixes(const Index& index) {
  std::mt19937_64 rng(29);
  Mix clean{"clean", {}, top_is_house, 0.95};
  Mix mess{"messy", {}, top_is_house, 0.6};
  // Clean addresses without ß or umlauts get no respelled rows.
  Mix ascii{"clean ascii", {}, top_is_house, 0.95};
  Mix failing{"failing", {}, any_answer};
  size_t kind = 0;
  const auto is_ascii = [](const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  for (const Address& a : addresses(index, rng)) {
    clean.queries.push_back(a.street + " " + std::to_string(a.number) + ", " + a.postcode + " " +
                            a.commune);
    if (is_ascii(clean.queries.back())) ascii.queries.push_back(clean.queries.back());
    mess.queries.push_back(messy(a, kind++, rng));
    const std::string n = std::to_string(rng() % 90 + 10);
    failing.queries.push_back(kind % 2 == 0 ? junk(rng) + " " + n + ", " + a.postcode + " " +
                                                  a.commune
                                            : junk(rng) + " " + n + "-" + n + "2   " +
                                                  a.postcode + " Nirgendwo");
  }
  std::vector<Mix> out = {clean, ascii, mess, failing};
  for (Mix mix : {clean, mess, failing}) {
    mix.name += "+POI";
    mix.with_poi = true;
    out.push_back(std::move(mix));
  }
  return out;
}

struct Stats {
  double seconds = 0;
  std::vector<double> times_us;
  uint64_t core_calls = 0, max_core_calls = 0, stage_calls = 0, rescues = 0;
  size_t passed = 0;
  std::string slowest;
};

Stats run(const Index& index, const Mix& mix) {
  namespace q = vorlane::query;
  Stats s;
  double slowest_us = 0;
  for (const std::string& text : mix.queries) {
    const uint64_t runs = q::testing::core_runs();
    const q::DeRescueStats rescue = q::de_rescue_stats();
    const q::DeBranchStats branch = q::de_branch_stats();
    const double t0 = thread_cpu_us();
    const std::vector<Hit> hits =
        q::query_cascade(index, mix.with_poi ? &index : nullptr, text, kK);
    const double us = thread_cpu_us() - t0;
    const uint64_t calls = q::testing::core_runs() - runs +
                           q::de_rescue_stats().core_calls - rescue.core_calls;
    s.seconds += us / 1e6;
    if (us > slowest_us) slowest_us = us, s.slowest = text;
    s.times_us.push_back(us);
    s.core_calls += calls;
    s.max_core_calls = std::max(s.max_core_calls, calls);
    s.stage_calls += q::de_branch_stats().core_stage_calls - branch.core_stage_calls;
    s.rescues += q::de_rescue_stats().rescues - rescue.rescues;
    s.passed += mix.check(hits);
  }
  return s;
}

}  // namespace

// An argument names the one mix to run (for profiling).
int main(int argc, char** argv) {
  const auto index = open_sheet_from_env("VORLANE_BENCH_DE_BRANCH_SHEET",
                                         "bench/make_de_branch_sheet.py prints the path");
  if (!index) return 1;
  bool ok = true;
  for (const Mix& mix : mixes(*index)) {
    if (argc > 1 && mix.name != argv[1]) continue;
    run(*index, mix);  // warm-up: page in the mapping
    const Stats s = run(*index, mix);
    const double n = static_cast<double>(mix.queries.size());
    const double share = static_cast<double>(s.passed) / n;
    std::printf(
        "%-12s %7.0f q/s  p50 %8.1f us  p99 %8.1f us  max %8.1f us  core runs mean %6.1f max "
        "%4llu  stage calls %4.1f  rescues %4.1f  houses %5.1f%%\n",
        mix.name.c_str(), n / s.seconds, percentile(s.times_us, 0.5),
        percentile(s.times_us, 0.99), percentile(s.times_us, 1.0),
        static_cast<double>(s.core_calls) / n, static_cast<unsigned long long>(s.max_core_calls),
        static_cast<double>(s.stage_calls) / n, static_cast<double>(s.rescues) / n,
        100.0 * share);
    std::printf("        slowest: %s\n", s.slowest.c_str());
    std::fflush(stdout);
    if (share < mix.min_share) {
      std::fprintf(stderr, "%s: only %.1f%% of the answers pass the check\n", mix.name.c_str(),
                   100.0 * share);
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
