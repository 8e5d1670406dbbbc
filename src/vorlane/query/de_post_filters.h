// The matching core's German locality post-filters, which act only when a
// German stage retried its request without the trailing words and passed
// what it kept. Each may move one of the four rows after the top to the top
// and flag it; neither changes a score, a confidence, a feature or the
// number of rows. Internal to the matching core.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "vorlane/query/core.h"
#include "vorlane/query/hit.h"

namespace vorlane::query {

class RowStreetKeys;

// When the top hit's commune does not agree with the kept locality: the one
// twin of the top (equal in everything but the commune) whose commune holds
// a word of the cut tail and agrees best with the locality goes first,
// flagged "de_retained_locality".
void promote_retained_locality(std::vector<RankedHit>& rows, const DeLocalityContext& context,
                               RowStreetKeys& keys);

// On a German sheet, when the top hit has the street but misses the query
// postcode: the one row equal to it in its other match features, street
// name and precision that carries exactly the query postcode goes first,
// flagged "de_postal_tail".
void promote_postal_tail(std::vector<RankedHit>& rows, const DeLocalityContext& context,
                         std::optional<uint32_t> postcode, bool german_sheet);

}  // namespace vorlane::query
