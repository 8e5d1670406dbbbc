// Matching-core calls on one thread over the core benchmark sheet
// ($VORLANE_BENCH_CORE_SHEET, written by bench/make_core_sheet.py): three
// mixes of keys built from the sheet's own streets (clean, one typo in a
// street word, no answer), prepared untimed, each call timed alone after the
// per-query automaton cache is emptied. Prints calls per second, p50, p99
// and the slowest call, and the mean work per call. Calls are timed in the
// thread's CPU time, so that other work on a shared machine does not count.
#include <algorithm>
#include <atomic>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "sheet_env.h"
#include "vorlane/base/utf8.h"
#include "vorlane/levenshtein/lev_cache.h"
#include "vorlane/query/core.h"
#include "vorlane/query/core_stats.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace {

std::atomic<uint64_t> g_allocations{0};

}  // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using vorlane::query::Index;
using vorlane::query::RankedHit;

struct Query {
  std::string key;
  uint32_t street_id;
};

std::string commune_name(const Index& idx, const vorlane::query::StreetRecord& s) {
  return std::string(idx.commune_name(s.commune));
}

// One substitution inside the longest word of the street name (not its
// first character), with a letter of the word's own script.
std::string with_typo(const std::string& street, std::mt19937_64& rng) {
  std::vector<std::string_view> words = vorlane::query::split_words(street);
  size_t longest = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i].size() > words[longest].size()) longest = i;
  }
  std::u32string chars = vorlane::utf8::decode_scalars(words[longest]);
  if (chars.size() < 3) return street;
  const size_t at = 1 + rng() % (chars.size() - 1);
  const bool cyrillic = chars[at] >= 0x0400;
  const char32_t base = cyrillic ? U'а' : U'a';
  char32_t c = chars[at];
  while (c == chars[at]) c = base + static_cast<char32_t>(rng() % 26);
  chars[at] = c;
  std::string out;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += ' ';
    if (i != longest) {
      out += words[i];
      continue;
    }
    for (char32_t ch : chars) vorlane::utf8::append(out, ch);
  }
  return out;
}

std::vector<Query> make_mix(const Index& idx, const std::string& kind, size_t n, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<Query> out;
  while (out.size() < n) {
    const uint32_t id = static_cast<uint32_t>(rng() % idx.street_count());
    const auto s = *idx.street(id);
    const std::string street(idx.name(s.name_offset));
    const std::string number = std::to_string(1 + 2 * (rng() % 6));
    std::string text;
    if (kind == "clean") {
      text = number + " " + street + (rng() % 4 == 0 ? " " + std::to_string(s.postcode) : "") +
             " " + commune_name(idx, s);
    } else if (kind == "typo") {
      text = number + " " + with_typo(street, rng) + " " + commune_name(idx, s);
    } else {
      static const char* kNonsense[] = {"zqvorblat", "xuqiplenk", "wyzzatrop", "kjelqvaxt"};
      text = number + " rue " + kNonsense[rng() % 4] + (rng() % 2 ? " " + commune_name(idx, s) : "");
      // A quarter are long: another street's name and two communes after it.
      if (rng() % 4 == 0) {
        const auto other = *idx.street(rng() % idx.street_count());
        text += " " + std::string(idx.name(other.name_offset)) + " " + commune_name(idx, other) +
                " " + commune_name(idx, s);
      }
    }
    out.push_back({vorlane::query::prepared_query_key(text), id});
  }
  return out;
}

double cpu_micros() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

void run_mix(const Index& idx, const std::string& kind, const std::vector<Query>& queries) {
  std::vector<double> micros;
  micros.reserve(queries.size());
  vorlane::query::CoreStats total;
  uint64_t allocations = 0, answered = 0, right_house = 0;
  double seconds = 0;
  for (const Query& q : queries) {
    vorlane::query::clear_lev_cache();
    vorlane::query::core_stats() = {};
    uint64_t budget = 0;
    vorlane::query::SeenStreetVariants seen;
    bool abort = false;
    const uint64_t allocs_before = g_allocations.load(std::memory_order_relaxed);
    const double t0 = cpu_micros();
    const std::vector<RankedHit> rows = vorlane::query::query_feats_prepared_internal(
        idx, q.key, 10, std::nullopt, std::nullopt, false, {}, budget, seen, abort, std::nullopt);
    const double us = cpu_micros() - t0;
    allocations += g_allocations.load(std::memory_order_relaxed) - allocs_before;
    micros.push_back(us);
    seconds += us / 1e6;
    const vorlane::query::CoreStats& s = vorlane::query::core_stats();
    total.collections += s.collections;
    total.splits += s.splits;
    total.descents += s.descents;
    total.automata += s.automata;
    total.postings += s.postings;
    total.hits += s.hits;
    answered += !rows.empty();
    right_house += !rows.empty() && rows[0].street_id == q.street_id &&
                   rows[0].hit.precision == vorlane::query::kPrecisionHouse;
  }
  std::sort(micros.begin(), micros.end());
  const double n = static_cast<double>(queries.size());
  const auto pct = [&](double p) { return micros[static_cast<size_t>(p * (n - 1))]; };
  std::printf(
      "%-6s %6zu calls  %9.0f calls/s  p50 %8.1f us  p99 %8.1f us  max %8.1f us  answered %5.1f%%"
      "  right house %5.1f%%\n",
      kind.c_str(), queries.size(), n / seconds, pct(0.5), pct(0.99), micros.back(),
      100.0 * static_cast<double>(answered) / n, 100.0 * static_cast<double>(right_house) / n);
  std::printf(
      "       per call: %.1f hypotheses, %.1f splits, %.1f fst descents, %.2f automata, %.2f "
      "postings, %.1f hits, %.0f allocations\n",
      static_cast<double>(total.collections) / n, static_cast<double>(total.splits) / n,
      static_cast<double>(total.descents) / n, static_cast<double>(total.automata) / n,
      static_cast<double>(total.postings) / n, static_cast<double>(total.hits) / n,
      static_cast<double>(allocations) / n);
}

}  // namespace

int main() {
  const std::unique_ptr<Index> opened =
      open_sheet_from_env("VORLANE_BENCH_CORE_SHEET", "bench/make_core_sheet.py prints it");
  if (!opened) return 1;
  const Index& idx = *opened;
  const vorlane::rules::CurrentRulesScope scope(idx.active_rules());
  std::printf("core: %zu streets, %zu communes, one thread\n", idx.street_count(), idx.commune_count());
  // $VORLANE_CORE_BENCH_MIX picks one mix (for profiling).
  const char* only = std::getenv("VORLANE_CORE_BENCH_MIX");
  for (const auto& [kind, n] : {std::pair<std::string, size_t>{"clean", 4000}, {"typo", 2000},
                                {"none", 1000}}) {
    if (only == nullptr || kind == only) run_mix(idx, kind, make_mix(idx, kind, n, 17));
  }
  return 0;
}
