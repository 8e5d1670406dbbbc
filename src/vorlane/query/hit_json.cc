// Serialises a hit for diagnosis evidence. Optional parts are left out when
// absent rather than written as null, and non-finite numbers become null, so
// every object is valid JSON.
#include "vorlane/query/hit_json.h"

#include <string>

#include <nlohmann/json.hpp>

#include "vorlane/diagnosis/json_number.h"

namespace vorlane::query {

nlohmann::json hit_json(const Hit& hit) {
  using diagnosis::number_or_null;
  nlohmann::json out = nlohmann::json::object();
  out["lat"] = number_or_null(hit.lat);
  out["lon"] = number_or_null(hit.lon);
  out["precision"] = std::string(hit.precision);
  out["score"] = number_or_null(hit.score);
  out["confidence"] = number_or_null(hit.confidence);
  out["street"] = hit.street;
  if (hit.housenumber) out["housenumber"] = *hit.housenumber;
  out["commune"] = hit.commune;
  out["postcode"] = hit.postcode;
  if (!hit.flags.empty()) {
    nlohmann::json& flags = out["flags"] = nlohmann::json::array();
    for (std::string_view flag : hit.flags) flags.push_back(std::string(flag));
  }
  if (hit.region) out["region"] = *hit.region;
  if (hit.distance_m) out["distance_m"] = number_or_null(*hit.distance_m);
  return out;
}

void to_json(nlohmann::json& out, const Hit& hit) { out = hit_json(hit); }

}  // namespace vorlane::query
