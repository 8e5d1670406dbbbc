// House lookup: decoding a street's varint house list, finding one house
// number on a street (exact, same number with another suffix, interpolated
// between neighbours, or the nearest by number), and finding a number on any
// of several streets. The opening checks prove only the list ranges and the
// postcode dictionaries; numbers, offsets and coordinates inside the lists
// are checked here, on every read, and any fault means "no result".
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "vorlane/index/varint.h"
#include "vorlane/query/decimal.h"
#include "vorlane/query/house_list.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

// Interpolate only between neighbours whose numbers differ by less than
// this and that lie closer than kInterpolateMaxKm.
constexpr uint32_t kInterpolateMaxGap = 13;
constexpr double kInterpolateMaxKm = 0.3;
// Every occurrence of a number on the listed streets must lie this close to
// the first one, or the number is ambiguous.
constexpr double kFieldHouseMaxKm = 0.15;
constexpr double kEarthDiameterKm = 12742.0;

bool same_parity(uint32_t a, uint32_t b) { return ((a ^ b) & 1u) == 0; }

HouseMatch match_of(const HouseEntry& h, HouseMatchKind kind) {
  return HouseMatch{h.lat, h.lon, h.number, h.suffix_id, kind, h.postcode_ref};
}

}  // namespace

std::optional<HouseListReader> HouseListReader::open(const Index& index, uint64_t street_id,
                                                     const StreetRecord& street) {
  if (street_id >= index.street_count()) return std::nullopt;
  const uint64_t start = street.house_offset;
  const auto next = index.street(street_id + 1);
  const uint64_t end = next ? next->house_offset : index.house_data.size();
  if (start >= end || end > index.house_data.size()) return std::nullopt;
  const ByteView list = *index.house_data.subview(start, end - start);

  size_t pos = 0;
  ByteView dictionary;
  if (index.version >= 7 && street.postcode_field == kPerHousePostcodes) {
    const auto k = index::strict_varint(list, pos);
    if (!k || *k == 0 || *k > street.house_count) return std::nullopt;
    const auto entries = list.subview(pos, *k * 4);  // k <= u32 max: no overflow
    if (!entries) return std::nullopt;
    dictionary = *entries;
    pos += static_cast<size_t>(*k * 4);
  }
  return HouseListReader(list, pos, dictionary, street.house_count, street);
}

double Index::dist_km(double lat1, double lon1, double lat2, double lon2) {
  const double s_lat = std::sin((lat2 - lat1) * kDegToRad / 2.0);
  const double s_lon = std::sin((lon2 - lon1) * kDegToRad / 2.0);
  // Each squared sine is one factor: cos * cos * (s * s), not ((cos * cos) *
  // s) * s, which rounds differently and moves distances at the thresholds.
  const double sin2_lat = s_lat * s_lat;
  const double sin2_lon = s_lon * s_lon;
  const double a = sin2_lat + std::cos(lat1 * kDegToRad) * std::cos(lat2 * kDegToRad) * sin2_lon;
  return kEarthDiameterKm * std::asin(std::sqrt(a));
}

namespace {

// The scan state of find_house: the houses remembered while walking the
// list in ascending number order.
struct HouseScan {
  std::optional<HouseEntry> exact_postcode_failed;  // first
  std::optional<HouseEntry> same_number;            // first, any suffix
  std::optional<HouseEntry> below;                  // last
  std::optional<HouseEntry> below_same_parity;      // last
  std::optional<HouseEntry> above;                  // first
  std::optional<HouseEntry> above_same_parity;
};

// The answer once the scan has ended without an immediate exact match.
std::optional<HouseMatch> settle(const HouseScan& scan, uint32_t number, uint32_t suffix_id) {
  if (scan.exact_postcode_failed) {
    return match_of(*scan.exact_postcode_failed, HouseMatchKind::Exact);
  }
  if (scan.same_number) return match_of(*scan.same_number, HouseMatchKind::NumberOnly);
  if (scan.below && scan.above) {
    const bool parity_pair = scan.below_same_parity && scan.above_same_parity;
    const HouseEntry& lo = parity_pair ? *scan.below_same_parity : *scan.below;
    const HouseEntry& hi = parity_pair ? *scan.above_same_parity : *scan.above;
    const uint32_t gap = hi.number - lo.number;
    const double km = Index::dist_km(lo.lat, lo.lon, hi.lat, hi.lon);
    if (gap < kInterpolateMaxGap && km < kInterpolateMaxKm) {  // NaN never interpolates
      const double t = static_cast<double>(number - lo.number) / static_cast<double>(gap);
      return HouseMatch{lo.lat + (hi.lat - lo.lat) * t,
                        lo.lon + (hi.lon - lo.lon) * t,
                        number,
                        suffix_id,
                        HouseMatchKind::Interpolated,
                        lo.postcode_ref == hi.postcode_ref ? lo.postcode_ref : 0};
    }
    const uint32_t below_gap = number - scan.below->number;
    const uint32_t above_gap = scan.above->number - number;
    return match_of(above_gap < below_gap ? *scan.above : *scan.below, HouseMatchKind::Nearest);
  }
  if (scan.below) return match_of(*scan.below, HouseMatchKind::Nearest);
  if (scan.above) return match_of(*scan.above, HouseMatchKind::Nearest);
  return std::nullopt;
}

}  // namespace

std::optional<HouseMatch> Index::find_house(uint32_t street_id, const StreetRecord& street,
                                            uint32_t number, uint32_t suffix_id,
                                            bool check_postcode, uint32_t postcode) const {
  if (street.house_count == 0) return std::nullopt;
  auto reader = HouseListReader::open(*this, street_id, street);
  if (!reader) return std::nullopt;

  const bool per_house = street.postcode_field == kPerHousePostcodes;
  const auto postcode_passes = [&](const HouseEntry& h) {
    if (per_house) {
      if (h.postcode_ref == 0) return false;
      const auto value = parse_u32(name(h.postcode_ref));
      return value && *value == postcode;
    }
    return street.postcode != 0 && street.postcode == postcode;
  };

  HouseScan scan;
  HouseEntry h;
  for (;;) {
    const auto step = reader->next(h);
    if (step == HouseListReader::Step::fault) return std::nullopt;
    if (step == HouseListReader::Step::end) break;
    if (h.number == number && h.suffix_id == suffix_id) {
      if (!check_postcode || postcode_passes(h)) return match_of(h, HouseMatchKind::Exact);
      if (!scan.exact_postcode_failed) scan.exact_postcode_failed = h;
    }
    if (h.number == number) {
      if (!scan.same_number) scan.same_number = h;
      continue;
    }
    if (h.number < number) {
      scan.below = h;
      if (same_parity(h.number, number)) scan.below_same_parity = h;
      continue;
    }
    if (!scan.above) scan.above = h;
    if (same_parity(h.number, number)) {
      scan.above_same_parity = h;
      break;
    }
    // A different-parity house above: keep looking for a same-parity one
    // only while it could form an interpolation pair.
    if (scan.same_number || !scan.below_same_parity) break;
  }
  return settle(scan, number, suffix_id);
}

std::optional<ScoredHit> Index::field_house_from_ids(std::span<const uint32_t> street_ids,
                                                     uint32_t number) const {
  struct Found {
    uint32_t street_id;
    StreetRecord street;
    HouseEntry house;
  };
  std::optional<Found> first;
  for (const uint32_t id : street_ids) {
    const auto street = this->street(id);
    if (!street || street->house_count == 0) continue;
    auto reader = HouseListReader::open(*this, id, *street);
    if (!reader) return std::nullopt;
    HouseEntry h;
    for (;;) {
      const auto step = reader->next(h);
      if (step == HouseListReader::Step::fault) return std::nullopt;
      if (step == HouseListReader::Step::end) break;
      if (h.number != number) continue;
      if (!first) {
        first = Found{id, *street, h};
      } else if (!(dist_km(first->house.lat, first->house.lon, h.lat, h.lon) <= kFieldHouseMaxKm)) {
        return std::nullopt;
      }
    }
  }
  if (!first) return std::nullopt;

  const HouseEntry& house = first->house;
  MatchInfo m;
  m.street_exact = true;
  m.house_found = true;
  m.has_house = true;
  m.house_rep = house.suffix_id == 0;
  const FeatureVector f = features(m);
  Hit hit;
  hit.lat = house.lat;
  hit.lon = house.lon;
  hit.precision = kPrecisionHouse;
  hit.score = score(m, f);
  hit.confidence = confidence_score(kPrecisionHouse, m);
  if (hit.score < 0.0f) hit.confidence = std::min(hit.confidence, 0.4f);
  hit.street = std::string(name(first->street.name_offset));
  hit.housenumber = house_number(number, house.suffix_id);
  hit.commune = std::string(commune_name(first->street.commune));
  hit.postcode = postcode_for_house(first->street, house.postcode_ref);
  hit.flags = match_flags(m);
  hit.region = admin_at(house.lat, house.lon);
  return ScoredHit{std::move(hit), f};
}

}  // namespace vorlane::query
