// Candidate order, hits, anchor, ranking and the post-filters of the
// matching core. Anchor distances are computed once per row before the sort;
// the sort ranks small precomputed keys and then permutes the rows.
#include "vorlane/query/ranking.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "vorlane/base/stable_sort.h"
#include "vorlane/base/utf8.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/script.h"
#include "vorlane/query/core_stats.h"
#include "vorlane/query/de_post_filters.h"
#include "vorlane/query/decimal.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

// Candidates kept before hits are built: this many per hit wanted, for at
// least kMinCutHits hits.
constexpr size_t kCutPerHit = 3;
constexpr size_t kMinCutHits = 10;
constexpr size_t kMinAnchorChars = 3;
constexpr size_t kMaxAnchorWords = 2;
constexpr int32_t kMinAnchorWeight = 2000;
// The top hit must lie farther than this from the default centre for a
// nearer row of the same street to replace it, and that row nearer than
// kPromotedMaxKm.
constexpr double kFarFromCentreKm = 60.0;
constexpr double kPromotedMaxKm = 40.0;
constexpr float kAmbiguousScoreGap = 1.0f;
constexpr double kAmbiguousApartKm = 50.0;
constexpr float kAmbiguousConfidenceCap = 0.2f;

bool all_ascii_digits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

double km_to(const Anchor& anchor, const Hit& hit) {
  return Index::dist_km(anchor.lat, anchor.lon, hit.lat, hit.lon);
}

// The precomputed comparison keys of one row.
struct RankKey {
  float score;
  int32_t similarity;
  std::optional<uint32_t> postcode;  // only when it reads as a non-zero number
  uint32_t house_distance;
  double anchor_km;
  uint32_t commune_weight;
  size_t row;
};

uint64_t distance(uint32_t a, uint32_t b) { return a > b ? uint64_t{a} - b : uint64_t{b} - a; }

// Row a goes before row b. Keys equal (or passed over) fall through to the
// next; NaN scores and anchor distances count as equal.
bool ranks_before(const RankKey& a, const RankKey& b, std::optional<uint32_t> query_postcode) {
  if (!std::isnan(a.score) && !std::isnan(b.score) && a.score != b.score) return a.score > b.score;
  if (a.similarity != b.similarity) return a.similarity > b.similarity;
  if (query_postcode && a.postcode && b.postcode) {
    const uint64_t da = distance(*a.postcode, *query_postcode);
    const uint64_t db = distance(*b.postcode, *query_postcode);
    if (da != db) return da < db;
  }
  if (a.house_distance != b.house_distance) return a.house_distance < b.house_distance;
  if (!std::isnan(a.anchor_km) && !std::isnan(b.anchor_km) && a.anchor_km != b.anchor_km) {
    return a.anchor_km < b.anchor_km;
  }
  return a.commune_weight > b.commune_weight;
}

}  // namespace

std::vector<CandidateEntry> ordered_candidates(const Index& index,
                                               std::span<const CandidateMap::Entry> kept) {
  std::vector<CandidateEntry> entries;
  entries.reserve(kept.size());
  for (const auto& [id, flags] : kept) {
    const uint32_t commune = index.street(id).value_or(StreetRecord{}).commune;
    entries.push_back({id, flags, index.commune(commune).weight});
  }
  std::sort(entries.begin(), entries.end(), [](const CandidateEntry& a, const CandidateEntry& b) {
    const int32_t sa = flag_score(a.flags);
    const int32_t sb = flag_score(b.flags);
    if (sa != sb) return sa > sb;
    if (a.commune_weight != b.commune_weight) return a.commune_weight > b.commune_weight;
    return a.street_id < b.street_id;
  });
  return entries;
}

void cut_candidates(std::vector<CandidateEntry>& entries, size_t k,
                    std::optional<uint32_t> pinned_street) {
  const size_t wanted = std::max(k, kMinCutHits);
  const size_t cut = wanted > std::numeric_limits<size_t>::max() / kCutPerHit
                         ? std::numeric_limits<size_t>::max()
                         : wanted * kCutPerHit;
  if (entries.size() <= cut) return;
  std::optional<CandidateEntry> pinned;
  if (pinned_street) {
    const auto it = std::find_if(entries.begin() + static_cast<ptrdiff_t>(cut), entries.end(),
                                 [&](const CandidateEntry& e) { return e.street_id == *pinned_street; });
    if (it != entries.end()) pinned = *it;
  }
  entries.resize(cut);
  if (pinned) entries.push_back(*pinned);
}

std::vector<std::u32string> query_words(std::string_view key) {
  std::vector<std::u32string> words;
  for (const std::string_view piece : split_words(key)) {
    if (all_ascii_digits(piece)) continue;
    words.push_back(utf8::decode_scalars(piece));
    for (const auto translit : {norm::translit_cyr_lat, norm::translit_lat_cyr}) {
      const std::string other = norm::normalize(translit(piece));
      if (!other.empty() && other != piece) words.push_back(utf8::decode_scalars(other));
    }
  }
  return words;
}

std::vector<std::string_view> anchor_words(std::string_view key) {
  std::vector<std::string_view> words;
  for (const std::string_view piece : split_words(key)) {
    if (!all_ascii_digits(piece) && utf8::char_count(piece) >= kMinAnchorChars) {
      words.push_back(piece);
    }
  }
  return words;
}

std::optional<Anchor> choose_anchor(const Index& index, std::string_view key) {
  const std::vector<std::string_view> words = anchor_words(key);
  const size_t n = std::min(words.size(), kMaxAnchorWords);
  std::optional<Place> best;
  for (size_t m = 1; m <= n; ++m) {
    const std::string text = join_words(std::span(words).last(m));
    std::optional<Place> place = index.resolve_place_translit(text);
    if (place && place->weight >= kMinAnchorWeight && (!best || place->weight > best->weight)) {
      best = std::move(place);
    }
  }
  if (best) return Anchor{best->lat, best->lon, true};
  if (index.default_centre) return Anchor{index.default_centre->lat, index.default_centre->lon, false};
  return std::nullopt;
}

std::optional<uint32_t> read_postcode_number(std::string_view text) { return parse_u32(text); }

void rank_rows(std::vector<RankedHit>& rows, std::span<const double> anchor_km,
               std::optional<uint32_t> postcode) {
  std::vector<RankKey> keys;
  keys.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const RankedHit& r = rows[i];
    std::optional<uint32_t> pc = read_postcode_number(r.hit.postcode);
    if (pc == 0u) pc.reset();
    keys.push_back({r.hit.score, r.street_similarity, pc, r.house_distance, anchor_km[i],
                    r.commune_weight, i});
  }
  stable_sort_any(std::span(keys), [&](const RankKey& a, const RankKey& b) {
    return ranks_before(a, b, postcode);
  });
  std::vector<RankedHit> sorted;
  sorted.reserve(rows.size());
  for (const RankKey& k : keys) sorted.push_back(std::move(rows[k.row]));
  rows = std::move(sorted);
}

const std::string& RowStreetKeys::of(const RankedHit& row) {
  const auto [it, inserted] = keys_.try_emplace(row.street_id);
  if (inserted) it->second = street_key(row.hit.street);
  return it->second;
}

void move_to_top(std::vector<RankedHit>& rows, size_t p, std::string_view flag) {
  std::rotate(rows.begin(), rows.begin() + static_cast<ptrdiff_t>(p),
              rows.begin() + static_cast<ptrdiff_t>(p) + 1);
  if (!flag.empty()) rows.front().hit.flags.push_back(flag);
}

bool has_feature(const RankedHit& row, size_t feature) { return row.features[feature] > 0.5f; }

void promote_near_default_centre(const Index& index, std::vector<RankedHit>& rows,
                                 const Anchor& anchor, std::optional<uint32_t> postcode,
                                 RowStreetKeys& keys) {
  if (anchor.from_place || rows.empty()) return;
  const bool german = is_german_sheet(index);
  const RankedHit& top = rows.front();
  if (german && postcode && has_feature(top, kPcExact)) return;
  if (!(km_to(anchor, top.hit) > kFarFromCentreKm)) return;
  const std::string top_key = keys.of(top);
  const bool top_house_rep = has_feature(top, kHouseRep);
  for (size_t i = 0; i < rows.size(); ++i) {
    const RankedHit& h = rows[i];
    if (!has_feature(h, kStreetExact)) continue;
    if (german && h.hit.precision == kPrecisionNear && top_house_rep) continue;
    if (keys.of(h) != top_key || !(km_to(anchor, h.hit) < kPromotedMaxKm)) continue;
    move_to_top(rows, i);
    return;
  }
}

void promote_cityless_prominence(const Index& index, std::vector<RankedHit>& rows,
                                 std::optional<uint32_t> postcode,
                                 std::optional<std::string_view> street_key_hint,
                                 RowStreetKeys& keys) {
  if (!is_german_sheet(index) || postcode || !street_key_hint || rows.size() < 2) return;
  if (keys.of(rows.front()) != *street_key_hint) return;
  const RankedHit& t = rows.front();
  const auto tied = [&](const RankedHit& h) {
    return t.hit.precision == kPrecisionHouse && h.hit.precision == kPrecisionHouse &&
           has_feature(t, kStreetExact) && has_feature(h, kStreetExact) &&
           keys.of(h) == *street_key_hint && h.hit.score == t.hit.score &&
           h.street_similarity == t.street_similarity && h.house_distance == t.house_distance;
  };
  size_t best = 0;
  for (size_t j = 1; j < rows.size(); ++j) {
    if (tied(rows[j]) && rows[j].commune_weight > rows[best].commune_weight) best = j;
  }
  if (best > 0) move_to_top(rows, best, "de_cityless_prominence");
}

void flag_far_ambiguity(std::vector<RankedHit>& rows) {
  if (rows.size() < 2) return;
  Hit& first = rows[0].hit;
  const Hit& second = rows[1].hit;
  if (!(first.score - second.score < kAmbiguousScoreGap)) return;
  if (!(Index::dist_km(first.lat, first.lon, second.lat, second.lon) > kAmbiguousApartKm)) return;
  first.confidence = std::fmin(first.confidence, kAmbiguousConfidenceCap);
  first.flags.push_back("ambiguous_far");
}

std::vector<RankedHit> rank_candidates(const Index& index, std::span<const CandidateMap::Entry> kept,
                                       const RankingInput& in) {
  std::vector<CandidateEntry> entries = ordered_candidates(index, kept);
  cut_candidates(entries, in.k, in.pinned_street);
  const std::vector<std::u32string> words = query_words(in.key);
  std::vector<RankedHit> rows;
  rows.reserve(entries.size());
  core_stats().hits += entries.size();
  for (const CandidateEntry& e : entries) {
    MatchInfo m = e.flags;
    rows.push_back(index.make_hit(e.street_id, m, in.number.has_value(), in.number.value_or(0),
                                  in.suffix_id, in.postcode.has_value(), in.postcode.value_or(0),
                                  words, false));
  }
  const std::optional<Anchor> anchor = choose_anchor(index, in.key);
  std::vector<double> anchor_km(rows.size(), 0.0);
  if (anchor) {
    for (size_t i = 0; i < rows.size(); ++i) anchor_km[i] = km_to(*anchor, rows[i].hit);
  }
  rank_rows(rows, anchor_km, in.postcode);
  RowStreetKeys keys;
  if (anchor) promote_near_default_centre(index, rows, *anchor, in.postcode, keys);
  promote_cityless_prominence(index, rows, in.postcode, in.street_key_hint, keys);
  if (in.context && *in.context && !in.anchor_given) {
    promote_retained_locality(rows, **in.context, keys);
    promote_postal_tail(rows, **in.context, in.postcode, is_german_sheet(index));
  }
  flag_far_ambiguity(rows);
  if (rows.size() > in.k) rows.resize(in.k);
  // Nothing above reads regions: only the rows returned look theirs up.
  for (RankedHit& r : rows) r.hit.region = index.admin_at(r.hit.lat, r.hit.lon);
  return rows;
}

}  // namespace vorlane::query
