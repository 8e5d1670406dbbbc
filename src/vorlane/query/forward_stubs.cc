// Stand-in for the matching core until its own definition lands; deleted
// then.
#include "vorlane/query/core.h"

namespace vorlane::query {

std::vector<RankedHit> query_feats_prepared_internal(
    const Index&, std::string_view, size_t, const std::optional<Place>&,
    const std::optional<DeLocalityContext>&, bool, std::span<const uint32_t>, uint64_t&,
    SeenStreetVariants&, bool&, std::optional<std::string_view>) {
  return {};
}

}  // namespace vorlane::query
