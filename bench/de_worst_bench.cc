// The German branch's worst case: junk queries (German, French and Cyrillic
// words, house numbers, postcodes, street-type words, roman numerals in
// random order) through query_cascade, one thread, on the four-street
// German sheet ($VORLANE_BENCH_DE_SMALL_SHEET, make_de_branch_sheet.py
// --small) and the German branch sheet ($VORLANE_BENCH_DE_BRANCH_SHEET).
// Per sheet: one fixed 100-byte junk query (best of three runs), then the
// generated queries' p50, p99 and max in thread CPU time and the slowest
// ten with their times. Arguments: the number of generated queries
// (default 300) and a seed (default 41).
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "query_mix.h"
#include "sheet_env.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"

namespace {

using vorlane::query::Index;

constexpr size_t kK = 5;
constexpr int kJunkRuns = 3;
constexpr size_t kSlowestShown = 10;

constexpr const char* kJunkQuery =
    "rue y-l djor o т b- xii b- xii 3g str djor st straße o ia 1533f 2e o 5 b-l la д 1533f str "
    "1er e7771133f2";

double thread_cpu_ms() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double time_query_ms(const Index& index, const std::string& q) {
  const double t0 = thread_cpu_ms();
  const auto hits = vorlane::query::query_cascade(index, nullptr, q, kK);
  const double ms = thread_cpu_ms() - t0;
  if (hits.size() > kK) std::abort();
  return ms;
}

constexpr const char* kWords[] = {
    // German street words, abbreviations and sheet names.
    "str", "str.", "straße", "strasse", "weg", "allee", "platz", "gasse", "hauptstraße",
    "bahnhofstr", "hptstr", "bhf", "schl", "am", "an", "der", "brühl", "schloßallee", "alte",
    "neue", "c/o", "deutschland", "kreis", "landkreis", "oberlörbach", "neu", "mühldorf", "b-",
    "b-l", "y-l", "djor", "o", "ia", "st",
    // French words, number words among them.
    "rue", "avenue", "bd", "de", "la", "le", "du", "bis", "ter", "1er", "premier", "un", "deux",
    "dix", "sept", "huit", "vingt", "cinq", "quatre",
    // Cyrillic.
    "т", "д", "ул", "улица", "пр", "дом", "корп", "москва",
    // Roman numerals.
    "i", "ii", "iv", "xii", "xiv"};

std::string number_word(std::mt19937_64& rng) {
  switch (rng() % 5) {
    case 0:
      return std::to_string(rng() % 200 + 1);
    case 1:
      return std::to_string(rng() % 2000 + 1) + static_cast<char>('a' + rng() % 6);
    case 2:
      return std::to_string(rng() % 90000 + 10000);
    case 3:
      return std::to_string(rng() % 90 + 1) + "-" + std::to_string(rng() % 90 + 1);
    default:
      return static_cast<char>('a' + rng() % 26) + std::to_string(rng() % 9000000 + 1) +
             static_cast<char>('a' + rng() % 6) + std::to_string(rng() % 9);
  }
}

// 8 to 28 words, about one in four a number, with a comma now and then.
std::string junk_query(std::mt19937_64& rng) {
  const size_t n = 8 + rng() % 21;
  std::string q;
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) q += rng() % 12 == 0 ? ", " : " ";
    if (rng() % 4 == 0) {
      q += number_word(rng);
    } else {
      q += kWords[rng() % std::size(kWords)];
    }
  }
  return q;
}

void report(const char* name, const Index& index, const std::vector<std::string>& queries) {
  double junk = 1e300;
  for (int r = 0; r < kJunkRuns; ++r) junk = std::min(junk, time_query_ms(index, kJunkQuery));
  std::vector<std::pair<double, const std::string*>> timed;
  std::vector<double> times;
  for (const std::string& q : queries) {
    const double ms = time_query_ms(index, q);
    timed.emplace_back(ms, &q);
    times.push_back(ms);
  }
  std::sort(timed.begin(), timed.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  std::printf("%s: junk query %.1f ms; %zu generated: p50 %.2f ms  p99 %.1f ms  max %.1f ms\n",
              name, junk, queries.size(), percentile(times, 0.5), percentile(times, 0.99),
              percentile(times, 1.0));
  for (size_t i = 0; i < std::min(kSlowestShown, timed.size()); ++i) {
    std::printf("  %8.1f ms  %s\n", timed[i].first, timed[i].second->c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 300;
  std::mt19937_64 rng(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 41);
  std::vector<std::string> queries;
  for (size_t i = 0; i < count; ++i) queries.push_back(junk_query(rng));

  const auto small = open_sheet_from_env("VORLANE_BENCH_DE_SMALL_SHEET",
                                         "bench/make_de_branch_sheet.py --small prints the path");
  const auto large = open_sheet_from_env("VORLANE_BENCH_DE_BRANCH_SHEET",
                                         "bench/make_de_branch_sheet.py prints the path");
  if (!small || !large) return 1;
  report("4-street sheet", *small, queries);
  report("branch sheet", *large, queries);
  return 0;
}
