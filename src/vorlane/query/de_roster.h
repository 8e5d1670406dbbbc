// What a German sheet precomputes when it is opened: the postcode roster
// (every (postcode, street id) pair, sorted) and the blank-postcode display
// projection (streets without any postcode whose name and locality also
// belong to a street with one). Plus the lookups built on them and the
// memoised exact-house-with-postcode test the matching core calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vorlane/base/result.h"

namespace vorlane::query {

class Index;
struct StreetRecord;

// (postcode, street id), ascending, no repeats.
using DePostcodeRoster = std::vector<std::pair<uint32_t, uint32_t>>;

// Lists longer than this are not scanned; a projection list that reached
// kDeRosterScanLimit + 1 ids stands for "too many".
inline constexpr size_t kDeRosterScanLimit = 8192;

class DeBlankPostcodeDisplayProjection {
 public:
  struct Key {
    std::string street;    // de_product_normalize_street of the name
    std::string locality;  // de_product_normalize_text of the commune name
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const;
  };
  struct Range {
    size_t start = 0;
    size_t count = 0;
  };

  // The ids listed under (street, locality), both in product form; nothing
  // for an absent key.
  std::optional<std::span<const uint32_t>> get(std::string_view street,
                                               std::string_view locality) const;
  bool empty() const { return by_key.empty(); }

  std::unordered_map<Key, Range, KeyHash> by_key;
  std::vector<uint32_t> street_ids;
};

// The parsed query of the blank-postcode house override.
struct DeBlankPostcodeHouseSpec {
  std::string street;         // product form
  std::string locality;       // product form
  std::string suffix;         // one ASCII letter after the digits, or empty
  std::string postcode_text;  // five digits
  uint32_t house = 0;
  uint32_t postcode = 0;
};

// Built at open for a "de" sheet. Errors carry the bare messages of a
// damaged postcode dictionary or an id space beyond 32 bits.
Result<DePostcodeRoster> build_de_postcode_streets(const Index& index);
// Requires: index.de_postcode_streets already holds the roster.
Result<DeBlankPostcodeDisplayProjection> build_de_blank_postcode_display_streets(
    const Index& index);

// The contiguous run of roster pairs with postcode `postcode`.
std::span<const std::pair<uint32_t, uint32_t>> de_roster_range(const DePostcodeRoster& roster,
                                                               uint32_t postcode);

// The one commune in which the parsed street lies under the parsed
// postcode; nothing when none or several, or the postcode's range is empty
// or longer than kDeRosterScanLimit.
std::optional<uint32_t> de_blank_postcode_anchor_commune_id(const Index& index,
                                                            const DeBlankPostcodeHouseSpec& spec);

// Memo of exact-house tests, owned by the caller for one query.
struct ExactHouseKey {
  uint32_t street_id;
  uint32_t number;
  uint32_t suffix_id;
  uint32_t postcode;
  bool operator==(const ExactHouseKey&) const = default;
};
struct ExactHouseKeyHash {
  size_t operator()(const ExactHouseKey& k) const;
};
using ExactHouseCache = std::unordered_map<ExactHouseKey, bool, ExactHouseKeyHash>;

// Whether the street has a house with exactly `number` and `suffix_id`
// whose postcode is `postcode`. Answers from and into `cache`.
bool exact_house_postcode_candidate_cached(const Index& index, ExactHouseCache& cache,
                                           uint32_t street_id, const StreetRecord& street,
                                           uint32_t number, uint32_t suffix_id,
                                           uint32_t postcode);
// The test above for `number` and then every alternative number, stopping
// at the first failure.
bool exact_house_postcode_set_candidate_cached(const Index& index, ExactHouseCache& cache,
                                               uint32_t street_id, const StreetRecord& street,
                                               uint32_t number, uint32_t suffix_id,
                                               std::span<const uint32_t> alternatives,
                                               uint32_t postcode);

}  // namespace vorlane::query
