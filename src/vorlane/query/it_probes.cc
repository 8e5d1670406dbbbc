#include "vorlane/query/it_probes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <string>

#include "vorlane/norm/normalize.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"
#include "vorlane/query/stages.h"

namespace vorlane::query {
namespace {

using Rows = std::vector<ScoredHit>;

constexpr size_t kMaxTailWords = 3;
constexpr size_t kMaxWindowWords = 4;
// A name shared by more communes than this is too vague to pick from.
constexpr size_t kMaxAmbiguousCommunes = 40;
// Same-named communes closer together than this are one area, not a choice.
constexpr double kAmbiguousSpreadKm = 80.0;
// The commune picked must lie within this of the place.
constexpr double kPlaceReachKm = 120.0;
constexpr double kNearKm = 40.0;
// The nearest commune must beat the nearest far one by this much.
constexpr double kNearFarMarginKm = 25.0;
constexpr size_t kProbeMinRows = 10;
constexpr float kNegativeScoreConfidenceCap = 0.4f;
constexpr size_t kMaxTrailingCommuneWords = 2;
constexpr size_t kMaxTrailingPlaceWords = 9;
// A five-byte word is a postcode, never a house number.
constexpr size_t kPostcodeLength = 5;

struct Candidate {
  double lat = 0.0;
  double lon = 0.0;
  double km_to_place = 0.0;
};

// The communes of an ambiguous name that have coordinates; at most
// kMaxAmbiguousCommunes.
class Candidates {
 public:
  Candidates(const Index& index, std::span<const uint32_t> ids, const Place& place) {
    for (uint32_t id : ids) {
      const CommuneRecord c = index.commune(id);
      if (c.lat == 0 && c.lon == 0) continue;
      Candidate& out = items_[size_++];
      out.lat = degrees_from_units(c.lat);
      out.lon = degrees_from_units(c.lon);
      out.km_to_place = Index::dist_km(place.lat, place.lon, out.lat, out.lon);
    }
  }

  std::span<const Candidate> all() const { return {items_.data(), size_}; }

  bool spread_apart() const {
    const auto all_of = all();
    for (size_t i = 0; i < all_of.size(); ++i) {
      for (size_t j = i + 1; j < all_of.size(); ++j) {
        if (Index::dist_km(all_of[i].lat, all_of[i].lon, all_of[j].lat, all_of[j].lon) >
            kAmbiguousSpreadKm) {
          return true;
        }
      }
    }
    return false;
  }

  // The first of the candidates nearest to the point. Requires: not empty.
  const Candidate& nearest_to(double lat, double lon) const {
    const Candidate* best = &items_[0];
    double best_km = Index::dist_km(lat, lon, best->lat, best->lon);
    for (const Candidate& c : all().subspan(1)) {
      const double km = Index::dist_km(lat, lon, c.lat, c.lon);
      if (km < best_km) {
        best = &c;
        best_km = km;
      }
    }
    return *best;
  }

 private:
  std::array<Candidate, kMaxAmbiguousCommunes> items_;
  size_t size_ = 0;
};

bool is_near(const Candidate& c) { return c.km_to_place <= kNearKm; }

// Whether the place singles out the near communes: the nearest within
// reach, and every far one clearly farther.
bool place_singles_out_near(const Candidates& candidates, const Place& place) {
  const auto all = candidates.all();
  const Candidate& nearest = candidates.nearest_to(place.lat, place.lon);
  if (nearest.km_to_place > kPlaceReachKm) return false;
  double far_km = INFINITY;
  bool any_far = false;
  for (const Candidate& c : all) {
    if (is_near(c)) continue;
    any_far = true;
    far_km = std::min(far_km, c.km_to_place);
  }
  return any_far && far_km - nearest.km_to_place >= kNearFarMarginKm;
}

MatchInfo match_info_of(const FeatureVector& f) {
  MatchInfo m;
  bool* const fields[kFeatureCount] = {&m.street_exact, &m.street_fuzzy, &m.commune_exact,
                                       &m.commune_prefix, &m.pc_exact,   &m.pc_dept,
                                       &m.ml,           &m.house_found, &m.house_rep,
                                       &m.has_house};
  for (size_t i = 0; i < kFeatureCount; ++i) *fields[i] = feature_set(f[i]);
  return m;
}

// The probe's rows no longer carry the core's doubts about distance.
void rescore_as_qualified(ScoredHit& row) {
  Hit& hit = row.first;
  hit.confidence = confidence_score(hit.precision, match_info_of(row.second));
  if (hit.score < 0.0f) hit.confidence = std::fmin(hit.confidence, kNegativeScoreConfidenceCap);
  std::erase(hit.flags, std::string_view("ambiguous_far"));
  hit.flags.push_back("geo_qualifier");
}

// The rows of `before` in the commune `window` that lie nearest to one of
// the communes near the place.
Rows near_commune_rows(const Index& index, const Candidates& candidates,
                       std::string_view before, std::string_view window, size_t k) {
  Rows rows = query_feats_prepared_context(index, before, std::max(k, kProbeMinRows),
                                           std::nullopt, std::nullopt);
  std::erase_if(rows, [&](const ScoredHit& row) {
    const Hit& hit = row.first;
    return norm::normalize(hit.commune) != window ||
           !is_near(candidates.nearest_to(hit.lat, hit.lon));
  });
  for (ScoredHit& row : rows) rescore_as_qualified(row);
  if (rows.size() > k) rows.resize(k);
  return rows;
}

}  // namespace

std::optional<Rows> it_place_probe(const Index& index, const KeyWords& words, size_t k) {
  const size_t n = words.size();
  if (n < 4) return std::nullopt;
  for (size_t m = std::min(n - 3, kMaxTailWords); m >= 1; --m) {
    const std::string tail = join_range(words, n - m, n);
    const std::optional<Place> place = index.resolve_place_translit(tail);
    if (!place || n - m <= 2) continue;
    for (size_t w = std::min(n - m - 2, kMaxWindowWords); w >= 1; --w) {
      const std::string window = join_range(words, n - m - w, n - m);
      const std::vector<uint32_t> ids = index.communes_by_name(window);
      if (ids.size() < 2) continue;
      // The window and the place together name a commune of their own.
      if (!index.communes_by_name(window + ' ' + tail).empty()) return std::nullopt;
      if (ids.size() > kMaxAmbiguousCommunes) return Rows{};
      const Candidates candidates(index, ids, *place);
      if (!candidates.spread_apart()) continue;
      if (!place_singles_out_near(candidates, *place)) return Rows{};
      return near_commune_rows(index, candidates, join_range(words, 0, n - m), window, k);
    }
  }
  return std::nullopt;
}

std::optional<Rows> it_trailing_commune(const Index& index, const KeyWords& words,
                                        std::optional<Rows>& deferred) {
  const size_t n = words.size();
  if (n < 3) return std::nullopt;
  bool ends_in_commune = false;
  for (size_t c = 1; c <= std::min(n - 2, kMaxTrailingCommuneWords) && !ends_in_commune; ++c) {
    ends_in_commune = !index.communes_by_name(join_range(words, n - c, n)).empty();
  }
  if (!ends_in_commune) return std::nullopt;

  const auto held = [&deferred] { return deferred ? std::move(*deferred) : Rows{}; };
  const bool has_house_number = std::any_of(words.begin(), words.end(), [](std::string_view w) {
    return w.size() != kPostcodeLength && all_ascii_digits(w);
  });
  if (has_house_number) return held();
  for (size_t m = std::min(n, kMaxTrailingPlaceWords); m >= 1; --m) {
    const std::string text = join_range(words, n - m, n);
    if (index.communes_by_name(text).empty()) continue;
    if (auto place = index.resolve_place(text)) {
      return index.city_hit(std::move(place->name), place->exact, place->lat, place->lon);
    }
  }
  return held();
}

}  // namespace vorlane::query
