// A hit as a JSON object, the form in which diagnosis evidence carries hits.
// The Python result dicts are built elsewhere, with their own key order.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include "vorlane/query/hit.h"

namespace vorlane::query {

// Keys "lat", "lon", "precision", "score", "confidence", "street",
// "housenumber" (when present), "commune", "postcode", "flags" (when not
// empty), "region" (when present), "distance_m" (when present). Numbers are
// widened to double; one that is not finite becomes null. The object keeps
// its keys in key order.
nlohmann::json hit_json(const Hit& hit);

// Lets a hit appear directly inside a JSON value: json{{"top", hit}}.
void to_json(nlohmann::json& out, const Hit& hit);

}  // namespace vorlane::query
