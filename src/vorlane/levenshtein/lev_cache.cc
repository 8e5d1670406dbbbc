// The per-thread automaton cache.
//
// Each thread owns one map; nothing is shared, so nothing is locked. The
// map's values are shared pointers, so clearing the map never invalidates an
// automaton a caller still holds. A null value records a refused build.
#include "vorlane/levenshtein/lev_cache.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <utility>

namespace vorlane::query {
namespace {

struct LevKey {
  std::string text;
  uint32_t dist;
  bool operator==(const LevKey&) const = default;
};

struct LevKeyHash {
  size_t operator()(const LevKey& k) const {
    return std::hash<std::string>{}(k.text) ^ (size_t{k.dist} * 0x9E3779B97F4A7C15ULL);
  }
};

template <typename Automaton>
using Cache = std::unordered_map<LevKey, std::shared_ptr<const Automaton>, LevKeyHash>;

thread_local Cache<levenshtein::Levenshtein> LEV_CACHE;
thread_local Cache<levenshtein::RowAutomaton> ROW_CACHE;

template <typename Automaton>
std::shared_ptr<const Automaton> cached(Cache<Automaton>& cache, std::string_view text,
                                        uint32_t dist) {
  LevKey key{std::string(text), dist};
  if (const auto found = cache.find(key); found != cache.end()) return found->second;
  if (cache.size() >= kLevCacheCapacity) cache.clear();
  Result<Automaton> built = Automaton::build(text, dist);
  std::shared_ptr<const Automaton> automaton;
  if (built) automaton = std::make_shared<Automaton>(std::move(built).value());
  cache.emplace(std::move(key), automaton);
  return automaton;
}

}  // namespace

std::shared_ptr<const levenshtein::Levenshtein> cached_levenshtein(std::string_view text,
                                                                   uint32_t dist) {
  return cached(LEV_CACHE, text, dist);
}

std::shared_ptr<const levenshtein::RowAutomaton> cached_row_automaton(std::string_view text,
                                                                      uint32_t dist) {
  return cached(ROW_CACHE, text, dist);
}

void clear_lev_cache() {
  LEV_CACHE.clear();
  ROW_CACHE.clear();
}

namespace lev_cache_testing {
size_t size() { return LEV_CACHE.size(); }
}  // namespace lev_cache_testing

}  // namespace vorlane::query
