// The seeds of the German variant generator: the canonical query and the
// forms in which its structure or spelling has been repaired (raw
// clean-ups, a written-out "...pl.", compact letter house ranges, umlauts
// spelled out, digit ranges opened, "bis"/"und" ranges, 'N/2' halves), each
// tagged with the rewrite steps that made it. Pure; reads no rules.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorlane/de/seed.h"

namespace vorlane::de {

// The first compact house range with a letter on at least one endpoint
// ('12a-14b', '12-14b'): (the text cut to the left endpoint, the text with
// the dash replaced by a space).
std::optional<std::pair<std::string, std::string>> compact_letter_house_range_variants(
    std::string_view text);

// The seeds of a raw query, in push order, not de-duplicated; the first is
// always the canonical query.
std::vector<Seed> derived_seeds(std::string_view query);

// What the seeds are built from, computed once per query so that the
// variant generator shares it instead of computing it again.
struct QueryBasis {
  std::string canonical;  // norm::normalize of the query
  std::optional<std::pair<std::string, std::string>> letter_range;
  // raw_structural_cleanup_seeds of the query, started with HouseRange when
  // it holds a letter range.
  std::vector<Seed> cleanups;

  Effects start_effects() const {
    return letter_range ? Effects{Effect::HouseRange} : Effects{};
  }
};
QueryBasis query_basis(std::string_view query);
// derived_seeds over a basis made by query_basis of the same query.
std::vector<Seed> derived_seeds(std::string_view query, const QueryBasis& basis);

}  // namespace vorlane::de
