// How a sheet's rules say that street names vary: interchangeable
// street-type words (kind-24 pairs of single street-type words, read as
// classes with one canonical word), title words that one spelling carries
// and another leaves out ("street_titles", "street_title_aliases"), and
// street-type rewrites of a street text. With them, the two lazily built
// street maps of an Index and the known-street test over one of them.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/query/street_maps.h"

namespace vorlane::query {

class Index;

// Street-type word -> the bytewise smallest word of its class.
using StreetTypeAliases = std::map<std::string, std::string, std::less<>>;

// The classes of the current rules' kind-24 pairs whose sides are each one
// street-type word; other pairs are ignored.
StreetTypeAliases field_street_type_aliases();

// `field` with its first word (before the first U+0020) replaced by the
// canonical word of its class; unchanged when that word has none or there
// is no space.
std::string field_street_type_key(std::string_view field, const StreetTypeAliases& aliases);

// The title key of a street text: the words of its matching key with title
// abbreviations written out and title words after the first word left out,
// through the street-type classes. Nothing unless the index's own rules
// have both "street_titles" and "street_title_aliases", or when fewer than
// two words remain.
std::optional<std::string> title_street_key(const Index& index, std::string_view street,
                                            const StreetTypeAliases& aliases);

// Index::streets_by_field_key (field key of each street's matching key) and
// Index::streets_by_title_key (title key of each street name, streets
// without one left out), built with `aliases` and the current rules when
// this is the first use. Call only inside a query, under the index's rules.
const StreetKeyMap& streets_by_field_key_map(const Index& index, const StreetTypeAliases& aliases);
const StreetKeyMap& streets_by_title_key_map(const Index& index, const StreetTypeAliases& aliases);
// streets_by_field_key_map with the current rules' aliases.
const StreetKeyMap& field_street_projection(const Index& index);

// `street` and at most 8 rewrites of it by the current rules' kind-24
// pairs (numeric pairs anywhere word-bounded, then plain and nested pairs
// on the leading words), without repeats.
std::vector<std::string> street_data_variants(std::string_view street);

// The matching key of `text`, or one of its variants, or either with its
// leading street-type word replaced by another street-type word, is a key
// of `map` once passed through the classes.
bool comma_field_retry(const StreetKeyMap& map, const StreetTypeAliases& aliases,
                       std::string_view text);

}  // namespace vorlane::query
