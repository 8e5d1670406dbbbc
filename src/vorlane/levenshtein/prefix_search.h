// Fuzzy prefix search: the keys of an fst map that begin with something
// within an automaton's edit distance of its text, in ascending byte order,
// with dead branches of the map pruned. The street-key form splits each key
// of a street-key dictionary ("street key", byte 0x1F, commune code) into its
// parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "vorlane/fst/automaton.h"
#include "vorlane/fst/map.h"
#include "vorlane/fst/stream.h"
#include "vorlane/levenshtein/levenshtein.h"

namespace vorlane::levenshtein {

using PrefixStream = fst::Stream<fst::StartsWith<SharedLevenshtein>>;

// Every key of `map` that has a prefix (possibly empty, possibly the whole
// key) within `lev`'s distance of its text. The stream shares `lev` and
// reads the map's bytes, which must outlive it. Requires: `lev` not null.
PrefixStream fuzzy_prefix_search(const fst::Map& map, std::shared_ptr<const Levenshtein> lev);

// The same search over a street-key dictionary, yielding only keys that
// hold a 0x1F byte.
//
// Usage:
//   StreetKeyPrefixSearch s(street_keys, lev);
//   while (s.next()) use(s.street_key(), s.commune_code(), s.street_id());
class StreetKeyPrefixSearch {
 public:
  static constexpr char kSeparator = '\x1F';

  StreetKeyPrefixSearch(const fst::Map& street_keys, std::shared_ptr<const Levenshtein> lev)
      : stream_(fuzzy_prefix_search(street_keys, std::move(lev))) {}

  // Advances to the next key that holds the separator; false at the end.
  bool next();

  // The current key, and its parts before and after the first separator;
  // valid until the next call of next().
  std::string_view key() const { return stream_.key_string(); }
  std::string_view street_key() const { return key().substr(0, separator_); }
  std::string_view commune_code() const { return key().substr(separator_ + 1); }
  // The key's value, the street id, as stored: nothing bounds it when the
  // sheet is opened, so a caller checks it against the street table before
  // use (never by narrowing it to 32 bits first).
  uint64_t street_id() const { return stream_.value(); }

 private:
  PrefixStream stream_;
  size_t separator_ = 0;
};

}  // namespace vorlane::levenshtein
