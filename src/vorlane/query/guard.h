// The foreign-city guard: the last filter on a forward answer. In sheets
// whose rules carry a gazetteer of cities, city aliases and states (rules
// kind 26), an answer whose best hit lies in another city than the one the
// query names is withdrawn whole.
#pragma once

#include <string_view>
#include <vector>

#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

// `rows` unchanged, or empty when the query names a gazetteer city (or a
// city in a named state) and the top hit's commune is another. Only answers
// at street level or finer are judged. Never fails.
std::vector<ScoredHit> foreign_city_guard(const Index& index, std::string_view q,
                                          std::vector<ScoredHit> rows);

// Whether `x` occurs in `text` as whole words: " x " inside " text ".
bool contains_word_bounded(std::string_view text, std::string_view x);

}  // namespace vorlane::query
