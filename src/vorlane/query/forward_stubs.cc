// Stand-ins for the matching core and the German locality score until their
// own definitions land; deleted then.
#include "vorlane/query/core.h"
#include "vorlane/query/de_text.h"

namespace vorlane::query {

std::vector<RankedHit> query_feats_prepared_internal(
    const Index&, std::string_view, size_t, const std::optional<Place>&,
    const std::optional<DeLocalityContext>&, bool, std::span<const uint32_t>, uint64_t&,
    SeenStreetVariants&, bool&, std::optional<std::string_view>) {
  return {};
}

uint8_t de_retained_locality_score(std::string_view, std::string_view) { return 0; }

}  // namespace vorlane::query
