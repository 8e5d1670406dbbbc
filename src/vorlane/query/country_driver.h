// The country driver (the stage query_feats_country_variants, stages.h)
// reads the sheet's "country" and picks a branch: Spanish sheets check that
// the direct answer is the street and commune asked for and otherwise retry
// the street's particles ("calle de la paz" as "calle del paz", ...) under
// the matching-core memo; Italian sheets lose their two-letter province
// codes after a commune; German sheets take the German branch; every other
// sheet a single call of the core stage. The helpers below are its parts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

// The body of query_feats_country_variants: the branch of the sheet's
// country, answered as a stage.
std::vector<ScoredHit> drive_country_branches(const Index& index, std::string_view q, size_t k);

// The canonical commune a Spanish query asks for: its last comma field that
// is not a phone field, without country words and numbers; or, without
// commas, the words after its last number. Empty when there is none.
std::string es_requested_commune(std::string_view q);

// The canonical street name of a Spanish text without its street-type word
// and the particles after it ("calle de los reyes" -> "reyes"); with `cut`,
// only the first comma field up to its first number counts.
std::string es_particle_street_key(std::string_view q, bool cut);

// Whether one of the sheet's own city aliases or phrase replacements can
// put a digit or an arrondissement city into a query: then a Spanish query
// without either may still need its particle rewrite. Computed once per
// sheet.
bool rewrite_target_flag(const Index& index);

// The query with each two-capital province code ("MI", "(MI)") cut out
// where the words before it end in a commune name, one space left per cut;
// none when nothing was cut.
std::optional<std::string> it_cut_province_codes(const Index& index, std::string_view q);

}  // namespace vorlane::query
