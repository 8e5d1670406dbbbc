// Fuzzy prefix search over fst maps.
//
// The automaton is wrapped in the prefix adapter, which turns "done" at the
// first byte where the automaton matches and then accepts the whole subtree;
// the map's stream prunes every branch whose automaton state is dead. Both
// search bounds are open.
#include "vorlane/levenshtein/prefix_search.h"

#include <utility>

namespace vorlane::levenshtein {

PrefixStream fuzzy_prefix_search(const fst::Map& map, std::shared_ptr<const Levenshtein> lev) {
  return map.search(fst::StartsWith<SharedLevenshtein>(SharedLevenshtein(std::move(lev))));
}

bool StreetKeyPrefixSearch::next() {
  while (stream_.next()) {
    const size_t at = key().find(kSeparator);
    if (at == std::string_view::npos) continue;
    separator_ = at;
    return true;
  }
  return false;
}

}  // namespace vorlane::levenshtein
