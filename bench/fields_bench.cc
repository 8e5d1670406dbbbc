// The structured-field stages on the large shared benchmark sheet
// ($VORLANE_BENCH_SHEET, bench/make_sheet.py) and on the same sheet with a
// rules section that switches them on (kinds 16, 23, 24 and 25, appended
// here in memory). One thread, engine only (query_cascade). Per sheet and
// mix: queries per second, matching-core requests and runs per query (mean
// and max); the added cost of the outer stages on the sheet without the
// rules; the first-use build time and size of each lazy street map; and the
// answers with the per-query memo off, which must equal those with it on.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "query_mix.h"
#include "vorlane/base/mapped_file.h"
#include "vorlane/levenshtein/lev_cache.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"
#include "vorlane/query/stages.h"
#include "vorlane/query/street_types.h"
#include "vorlane/rules/rules.h"

namespace {

using vorlane::query::Hit;
using vorlane::query::Index;
using Clock = std::chrono::steady_clock;

constexpr size_t kQueries = 2000;
constexpr size_t kTypos = 300;  // each costs the core's fuzzy search
constexpr size_t kFailing = 200;
constexpr size_t kK = 5;
constexpr uint8_t kRulesSection = 15;
constexpr size_t kTocOffset = 6;
constexpr size_t kTocEntrySize = 17;

struct RulesEntry {
  uint8_t kind;
  std::string a, b;
};

const std::vector<RulesEntry> kFieldRules = {
    {23, "enabled", "1"}, {23, "postal_digits", "5"}, {23, "postal_split", "2"},
    {23, "regions", "idf paca bretagne"}, {23, "forms", "comma hyphen"},
    {23, "street_titles", "general docteur saint"},
    {23, "street_title_aliases", "gal:general dr:docteur st:saint"},
    {16, "av", ""}, {16, "bd", ""}, {16, "imp", ""}, {16, "rte", ""},
    {24, "av", "avenue"}, {24, "bd", "boulevard"}, {24, "imp", "impasse"}, {24, "rte", "route"},
    {25, "residence les pins", ""}, {25, "batiment a", ""},
};

void put_le(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

// The sheet's bytes with a rules section appended and filed in its table of
// contents (the sheet must have none yet).
std::string with_rules(std::string sheet) {
  std::string section;
  put_le(section, kFieldRules.size(), 4);
  for (const RulesEntry& e : kFieldRules) {
    section.push_back(static_cast<char>(e.kind));
    for (const std::string* text : {&e.a, &e.b}) {
      put_le(section, text->size(), 2);
      section += *text;
    }
  }
  const auto count = static_cast<uint8_t>(sheet[5]);
  std::string entry(1, static_cast<char>(kRulesSection));
  put_le(entry, sheet.size(), 8);
  put_le(entry, section.size(), 8);
  sheet.replace(kTocOffset + count * kTocEntrySize, kTocEntrySize, entry);
  sheet[5] = static_cast<char>(count + 1);
  return sheet + section;
}

// A substitution in the second or third letter of the second word.
std::string with_second_word_typo(std::string street, std::mt19937_64& rng) {
  const size_t space = street.find(' ');
  if (space == std::string::npos || space + 3 >= street.size()) return street;
  const size_t at = space + 2 + rng() % 2;
  street[at] = street[at] == 'q' ? 'x' : 'q';
  return street;
}

struct Mix {
  const char* name;
  std::vector<std::string> queries;
};

std::vector<Mix> mixes(const Index& index) {
  std::mt19937_64 sample_rng(17);
  std::mt19937_64 rng(23);
  Mix clean{"clean", {}}, typo{"typo", {}}, failing{"failing", {}};
  for (const SampledAddress& a : sample_addresses(index, sample_rng, kQueries)) {
    const std::string n = std::to_string(a.number);
    clean.queries.push_back(n + " " + a.street + " " + a.commune);
    if (typo.queries.size() < kTypos) {
      typo.queries.push_back(n + " " + with_second_word_typo(a.street, rng) + " " + a.commune);
    }
  }
  // Structured shapes that no stage can answer: every retry runs.
  const char* junk[] = {"Zqx", "Blorf", "Vintup", "Krast", "Omweb", "Pliss", "Durv", "Snek"};
  const char* shapes[] = {
      "Residence Les Pins, {0} {1} {n}, {2}, {3}ville, IDF",
      "{0} {1}, {n}, {2}, {3}ville, IDF, 75{n}",
      "{0} {1} {n}, {2}ville - PACA",
      "Batiment A, {0} {1}, n\u00BA {n}, {2}ville, Bretagne",
      "{0} {1} {n} {2} {3}ville idf 75{n}",
      "Av {0} {1} {n}, {2}ville",
      // Every retry at once: 12 field retries, a district to drop and a
      // bare postcode to hyphenate, behind a droppable leading field.
      "{0} {1} {n}, Bloc 3, {2}, {3}ville, IDF, 75{n}",
      "Residence Les Pins, {0} {1} {n}, Bloc 3, {2}, {3}ville, IDF, 75{n}",
  };
  for (size_t i = 0; i < kFailing; ++i) {
    std::string q = shapes[i % std::size(shapes)];
    const std::string n = std::to_string(100 + rng() % 800);
    for (const auto& [mark, text] :
         {std::pair<std::string, std::string>{"{n}", n}, {"{0}", junk[rng() % 8]},
          {"{1}", junk[rng() % 8]}, {"{2}", junk[rng() % 8]}, {"{3}", junk[rng() % 8]}}) {
      for (size_t at; (at = q.find(mark)) != std::string::npos;) q.replace(at, mark.size(), text);
    }
    failing.queries.push_back(q);
  }
  return {clean, typo, failing};
}

struct Stats {
  double seconds = 0;
  uint64_t requests = 0, max_requests = 0, runs = 0, max_runs = 0;
  std::vector<std::vector<Hit>> answers;
};

Stats run(const Index& index, const std::vector<std::string>& queries) {
  namespace t = vorlane::query::testing;
  Stats s;
  for (const std::string& q : queries) {
    const uint64_t requests = t::core_requests(), runs = t::core_runs();
    const auto t0 = Clock::now();
    s.answers.push_back(vorlane::query::query_cascade(index, nullptr, q, kK));
    s.seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    const uint64_t used_requests = t::core_requests() - requests, used_runs = t::core_runs() - runs;
    s.requests += used_requests;
    s.runs += used_runs;
    s.max_requests = std::max(s.max_requests, used_requests);
    s.max_runs = std::max(s.max_runs, used_runs);
  }
  return s;
}

bool same_answers(const std::vector<std::vector<Hit>>& a, const std::vector<std::vector<Hit>>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](const Hit& p, const Hit& q) {
      return p.street == q.street && p.housenumber == q.housenumber && p.commune == q.commune &&
             p.precision == q.precision && p.confidence == q.confidence && p.flags == q.flags;
    });
  });
}

// Seconds per query spent above the country stage: the outer stages and
// the country stage alone, each over all queries, under the sheet's rules
// and with a matching core that answers every request at once with one
// house (the core's own time would drown the difference); the best of five
// rounds of each.
double outer_stage_cost(const Index& index, const std::vector<std::string>& queries) {
  vorlane::rules::CurrentRulesScope scope(index.active_rules());
  vorlane::query::ScoredHit house;
  house.first.precision = vorlane::query::kPrecisionHouse;
  house.first.housenumber = "1";
  vorlane::query::testing::ScopedCoreScript core(
      [&](const vorlane::query::testing::CoreRequest&) { return std::vector{house}; });
  const auto timed = [&](auto&& stage) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
      const auto t0 = Clock::now();
      for (const std::string& q : queries) stage(q);
      best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
  };
  const double outer = timed([&](const std::string& q) {
    return vorlane::query::query_feats_street_data(index, q, kK);
  });
  const double inner = timed([&](const std::string& q) {
    vorlane::query::clear_lev_cache();
    return vorlane::query::query_feats_country_variants(index, q, kK);
  });
  return (outer - inner) / static_cast<double>(queries.size());
}

double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void report_lazy_maps(const Index& index) {
  vorlane::rules::CurrentRulesScope scope(index.active_rules());
  const auto aliases = vorlane::query::field_street_type_aliases();
  const auto report = [&](const char* name, auto&& build) {
    const double cpu0 = thread_cpu_seconds();
    const auto t0 = Clock::now();
    const vorlane::query::StreetKeyMap& map = build();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("lazy map %s: %.3f s (thread CPU %.3f s), %.1f MB, %zu keys\n", name, wall,
                thread_cpu_seconds() - cpu0, static_cast<double>(map.memory_bytes()) / 1e6,
                map.key_count());
  };
  report("streets_by_field_key", [&]() -> const auto& {
    return vorlane::query::streets_by_field_key_map(index, aliases);
  });
  report("streets_by_title_key", [&]() -> const auto& {
    return vorlane::query::streets_by_title_key_map(index, aliases);
  });
}

}  // namespace

int main() {
  const char* path = std::getenv("VORLANE_BENCH_SHEET");
  if (path == nullptr) {
    std::fprintf(stderr, "VORLANE_BENCH_SHEET is not set (bench/make_sheet.py prints the path)\n");
    return 1;
  }
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto plain = Index::open_mapped(path, vorlane::MappedFile::from_bytes(bytes));
  auto ruled = Index::open_mapped(path, vorlane::MappedFile::from_bytes(with_rules(bytes)));
  if (!plain || !ruled) {
    std::fprintf(stderr, "%s\n", (!plain ? plain : ruled).error().message().c_str());
    return 1;
  }
  report_lazy_maps(**ruled);

  int failures = 0;
  const std::vector<Mix> sets = mixes(**plain);
  std::vector<double> failing_seconds;
  for (const auto& [label, index] : {std::pair<const char*, const Index*>{"without rules", plain->get()},
                                     {"with rules", ruled->get()}}) {
    for (const Mix& mix : sets) {
      run(*index, mix.queries);  // warm-up
      const Stats s = run(*index, mix.queries);
      const double n = static_cast<double>(mix.queries.size());
      std::printf(
          "fields %-13s %-8s %8.0f q/s  %8.1f us/q  core requests mean %.1f max %llu  "
          "runs mean %.1f max %llu\n",
          label, mix.name, n / s.seconds, 1e6 * s.seconds / n, s.requests / n,
          static_cast<unsigned long long>(s.max_requests), s.runs / n,
          static_cast<unsigned long long>(s.max_runs));
      if (std::strcmp(mix.name, "failing") == 0) {
        failing_seconds.push_back(s.seconds);
        const bool all_empty = std::all_of(s.answers.begin(), s.answers.end(),
                                           [](const auto& a) { return a.empty(); });
        if (!all_empty) std::fprintf(stderr, "fields: a failing query was answered\n");
        failures += !all_empty;
      }
      const bool was = vorlane::query::testing::set_street_data_memo(false);
      const Stats off = run(*index, mix.queries);
      vorlane::query::testing::set_street_data_memo(was);
      if (!same_answers(s.answers, off.answers)) {
        std::fprintf(stderr, "fields %s %s: the memo changed an answer\n", label, mix.name);
        ++failures;
      }
      std::printf("        memo off: %8.1f us/q  runs mean %.1f max %llu\n",
                  1e6 * off.seconds / n, off.runs / n,
                  static_cast<unsigned long long>(off.max_runs));
    }
  }
  std::printf("failing queries, with rules / without: %.1f x\n",
              failing_seconds[1] / failing_seconds[0]);
  std::printf("outer stages without rules: %.3f us per clean query (instant core)\n",
              1e6 * outer_stage_cost(**plain, sets[0].queries));
  return failures == 0 ? 0 : 1;
}
