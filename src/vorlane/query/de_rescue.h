// The German postcode-and-house rescue: the matching core re-run in its
// strict rescue mode over the German variants of a rescue text, keeping only
// candidates that agree exactly with the typed postcode, house number and
// locality, and answering only when exactly one street is left. Beside it
// the small tests the German branch uses to decide whether a typed postcode
// may override its best answer, and the locality agreement score they share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/de/effect.h"
#include "vorlane/query/de_parsers.h"
#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;
struct StreetRecord;

extern const std::array<uint32_t, 15> DE_BERLIN_RESCUE_POSTCODES;
extern const std::array<std::string_view, 13> DE_BERLIN_DISTRICT_CORES;
struct DeLocalityCorePair {
  std::string_view query_locality;  // canonical form
  std::string_view commune_core;
};
extern const std::array<DeLocalityCorePair, 6> DE_LOCALITY_CORE_PAIRS;

// The German street variants one rescue may try before it gives up.
inline constexpr uint64_t kDeRescueVariantBudget = 8192;

// Reruns the core over the variants of `rescue_text` in rescue mode and
// answers the one street whose house carries `postcode` and agrees with
// `locality`, as a one-row list flagged "de_postcode_house" (and
// "de_house_left_endpoint" with an `extra_effect`, "de_house_set_exact"
// with a `house_set`). `relaxed` drops the locality tests when the query
// names neither Frankfurt. Nothing when none or several streets remain, two
// rows disagree about one street, or the variant budget runs out.
std::optional<std::vector<ScoredHit>> de_postcode_house_rescue_parsed(
    const Index& index, std::string_view q, std::string_view rescue_text, uint32_t postcode,
    std::string_view locality, size_t k, std::optional<de::Effect> extra_effect,
    std::span<const uint32_t> house_set, bool relaxed);

// The rescue of a compact house pair ("Hauptstr 12-14 10115 Berlin") on its
// left number. A pair written with '/' needs both numbers to be at least 10.
std::optional<std::vector<ScoredHit>> de_compact_house_pair_left_rescue(const Index& index,
                                                                        std::string_view q,
                                                                        size_t k);
// The same for a pair already parsed from q.
std::optional<std::vector<ScoredHit>> de_compact_house_pair_left_rescue(
    const Index& index, std::string_view q, const DeCompactHousePairSpec& spec, size_t k);

// How well `commune` fits a typed locality and postcode: 4, 3, 1 or 0.
// With a Frankfurt `qualifier` only that Frankfurt scores.
uint8_t de_postcode_house_locality_score(std::string_view locality,
                                         std::optional<std::string_view> qualifier,
                                         uint32_t postcode, std::string_view commune);

// Whether a typed postcode may override the top of `rows`: a near or
// interpolated top in that postcode or on an exact street, or an exact house
// in another postcode.
bool de_strict_postcode_house_override_allowed(std::span<const ScoredHit> rows,
                                               uint32_t postcode);

// Whether a near or interpolated exact-street top lies in the typed postcode
// (or has none while the postcode's streets include the locality) and in a
// commune that fits the locality.
bool de_typed_postcode_near_has_locality_evidence(const Index& index,
                                                  std::span<const ScoredHit> rows,
                                                  uint32_t postcode, std::string_view locality);

// The postcode texts of the street's house records with exactly `number` and
// `suffix_id`, in list order. Each decoded record spends one unit of
// `budget`; nothing when it runs out first or the house data is unreadable.
std::optional<std::vector<std::string>> de_exact_house_record_postcodes(
    const Index& index, uint32_t street_id, const StreetRecord& street, uint32_t number,
    uint32_t suffix_id, uint64_t& budget);

// Work of the German rescue on the calling thread, for tests and benchmarks.
struct DeRescueStats {
  uint64_t rescues = 0;          // calls of the rescue that reached the core
  uint64_t core_calls = 0;       // matching-core runs of all rescues
  uint64_t most_core_calls = 0;  // the most runs one rescue made
};
// The calling thread's counters; reset them by assigning DeRescueStats{}.
DeRescueStats& de_rescue_stats();

}  // namespace vorlane::query
