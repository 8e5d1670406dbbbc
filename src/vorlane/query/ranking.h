// The second half of the matching core: the kept candidates ordered and
// cut, one hit built per candidate, an anchor point chosen, the hits ranked
// with a fixed comparator, and the post-filters that may reorder the top or
// lower its confidence. Internal to the matching core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vorlane/base/temporary_string.h"
#include "vorlane/query/candidates.h"
#include "vorlane/query/core.h"
#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

struct CandidateEntry {
  uint32_t street_id = 0;
  CandidateFlags flags;
  uint32_t commune_weight = 0;
};

// The entries with their commune weights, best first: flag score, then
// commune weight (both higher first), then street id.
std::vector<CandidateEntry> ordered_candidates(const Index& index,
                                               std::span<const CandidateMap::Entry> kept);

// Keeps the first 3 max(k, 10) entries; a pinned street sorted past them is
// kept as well, last.
void cut_candidates(std::vector<CandidateEntry>& entries, size_t k,
                    std::optional<uint32_t> pinned_street);

// The key's pieces that are not all ASCII digits, each followed by its
// transliterations that differ from it, as characters.
std::vector<std::u32string> query_words(std::string_view key);

// The key's pieces of at least 3 characters that are not all ASCII digits.
std::vector<std::string_view> anchor_words(std::string_view key);
template <TemporaryString S>
std::vector<std::string_view> anchor_words(S&&) = delete;

struct Anchor {
  double lat = 0.0;
  double lon = 0.0;
  bool from_place = false;  // else the sheet's default centre
};

// The heavier of the places named by the last one and the last two anchor
// words (weight at least 2000), else the sheet's default centre.
std::optional<Anchor> choose_anchor(const Index& index, std::string_view key);

// An optional '+', then ASCII digits only, fitting 32 bits (not the leading
// digit run that postcode_numeric_prefix reads).
std::optional<uint32_t> read_postcode_number(std::string_view text);

// Sorts the rows stably: score, street similarity (higher first), closeness
// of the hit's postcode to the query's, house distance, anchor distance
// (lower first), commune weight (higher first). The comparator is not a
// strict weak ordering (NaN scores, the postcode key passed over per pair),
// so the sort is one that any comparator leaves memory-safe.
void rank_rows(std::vector<RankedHit>& rows, std::span<const double> anchor_km,
               std::optional<uint32_t> postcode);

// street_key of each row's street, computed once per street.
class RowStreetKeys {
 public:
  const std::string& of(const RankedHit& row);

 private:
  std::unordered_map<uint32_t, std::string> keys_;
};

// Moves the rows at [0, p] one place down and row p to the top, appending
// `flag` to its flags when given.
void move_to_top(std::vector<RankedHit>& rows, size_t p, std::string_view flag = {});

bool has_feature(const RankedHit& row, size_t feature);
inline constexpr size_t kStreetExact = 0;
inline constexpr size_t kStreetFuzzy = 1;
inline constexpr size_t kCommuneExact = 2;
inline constexpr size_t kCommunePrefix = 3;
inline constexpr size_t kPcExact = 4;
inline constexpr size_t kPcDept = 5;
inline constexpr size_t kMl = 6;
inline constexpr size_t kHouseFound = 7;
inline constexpr size_t kHouseRep = 8;
inline constexpr size_t kHasHouse = 9;

// The top hit far (over 60 km) from the default centre gives way to the
// first exact row of the same street key within 40 km of it.
void promote_near_default_centre(const Index& index, std::vector<RankedHit>& rows,
                                 const Anchor& anchor, std::optional<uint32_t> postcode,
                                 RowStreetKeys& keys);

// German sheets without a query postcode: among house rows tied with the top
// on the hinted street, the one of the heaviest commune goes first.
void promote_cityless_prominence(const Index& index, std::vector<RankedHit>& rows,
                                 std::optional<uint32_t> postcode,
                                 std::optional<std::string_view> street_key_hint,
                                 RowStreetKeys& keys);

// Two nearly equal top scores more than 50 km apart cap the top confidence
// at 0.2 and flag it "ambiguous_far".
void flag_far_ambiguity(std::vector<RankedHit>& rows);

// What ranking needs of the core's first half.
struct RankingInput {
  std::string_view key;
  size_t k = 0;
  std::optional<uint32_t> postcode;
  std::optional<uint32_t> number;  // of the kept hypothesis
  uint32_t suffix_id = 0;
  std::optional<uint32_t> pinned_street;
  bool anchor_given = false;  // the caller passed an anchor place
  const std::optional<DeLocalityContext>* context = nullptr;
  std::optional<std::string_view> street_key_hint;
};

// Steps from the candidate order to the cut to k.
std::vector<RankedHit> rank_candidates(const Index& index, std::span<const CandidateMap::Entry> kept,
                                       const RankingInput& in);

}  // namespace vorlane::query
