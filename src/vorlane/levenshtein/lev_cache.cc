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

using LevCache =
    std::unordered_map<LevKey, std::shared_ptr<const levenshtein::Levenshtein>, LevKeyHash>;

thread_local LevCache LEV_CACHE;

}  // namespace

std::shared_ptr<const levenshtein::Levenshtein> cached_levenshtein(std::string_view text,
                                                                   uint32_t dist) {
  LevKey key{std::string(text), dist};
  if (const auto found = LEV_CACHE.find(key); found != LEV_CACHE.end()) return found->second;
  if (LEV_CACHE.size() >= kLevCacheCapacity) LEV_CACHE.clear();
  Result<levenshtein::Levenshtein> built = levenshtein::Levenshtein::build(text, dist);
  std::shared_ptr<const levenshtein::Levenshtein> lev;
  if (built) lev = std::make_shared<levenshtein::Levenshtein>(std::move(built).value());
  LEV_CACHE.emplace(std::move(key), lev);
  return lev;
}

void clear_lev_cache() { LEV_CACHE.clear(); }

namespace lev_cache_testing {
size_t size() { return LEV_CACHE.size(); }
}  // namespace lev_cache_testing

}  // namespace vorlane::query
