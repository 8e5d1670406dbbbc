// Reverse geocoding: from a point to the nearest houses. Candidate streets
// come from the 0.01-degree grid in square rings of growing radius; every
// house of those streets is measured on a local flat projection; the nearest
// distinct houses become hits. The grid's cell ranges are not checked when
// the sheet is opened, so each is checked here in 64 bits before its street
// ids are read; a damaged cell or house list is skipped, never trusted.
#include <algorithm>
#include <cmath>

#include "vorlane/base/format_float.h"
#include "vorlane/query/house_list.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

constexpr double kCellDegrees = 0.01;
constexpr int64_t kMaxLatIndex = 17999;
constexpr int64_t kMaxLonIndex = 35999;
constexpr uint64_t kLonCells = 36000;
constexpr int64_t kRingRadii[] = {1, 2, 4};
// A ring that finds this many streets ends the widening.
constexpr size_t kEnoughStreets = 3;
constexpr size_t kMaxAnswers = 100;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kMinCosine = 0.01;
constexpr double kHouseMaxMetres = 50.0;
constexpr double kNearMaxMetres = 250.0;

struct Candidate {
  double distance;  // metres
  uint32_t order;   // position in measuring order: the tie-break of equal distances
  uint32_t street_id;
  HouseEntry house;
};

// The order of the answers: nearest first, equal distances in measuring
// order (what a stable sort by distance gives).
bool nearer(const Candidate& a, const Candidate& b) {
  return a.distance < b.distance || (a.distance == b.distance && a.order < b.order);
}

bool coordinates_valid(double lat, double lon) {
  return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 &&
         std::fabs(lon) <= 180.0;
}

int64_t cell_index(double degrees_from_edge) {
  return static_cast<int64_t>(std::floor(degrees_from_edge / kCellDegrees));
}

// Appends the street ids of one grid cell; a missing cell, an empty one or
// one whose range runs past the id array adds nothing.
void append_cell(const Index& index, uint64_t key, std::vector<uint32_t>& out) {
  const ByteView cells = index.grid_cells;
  const size_t count = cells.size() / kGridCellSize;
  size_t lo = 0, hi = count;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (*cells.le_u32(mid * kGridCellSize) < key) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == count || *cells.le_u32(lo * kGridCellSize) != key) return;
  const uint64_t first = *cells.le_u32(lo * kGridCellSize + 4);
  const uint64_t n = *cells.le_u32(lo * kGridCellSize + 8);
  if (n == 0 || (first + n) * 4 > index.grid_street_ids.size()) return;
  for (uint64_t i = first; i < first + n; ++i) out.push_back(*index.grid_street_ids.le_u32(i * 4));
}

// The street ids of the first ring (radius 1, 2, 4 cells) that holds at
// least kEnoughStreets streets, else of the widest ring; ascending, unique.
std::vector<uint32_t> candidate_streets(const Index& index, double lat, double lon) {
  const int64_t lat_index = cell_index(lat + 90.0);
  const int64_t lon_index = cell_index(lon + 180.0);
  std::vector<uint32_t> ids;
  for (const int64_t r : kRingRadii) {
    ids.clear();
    for (int64_t dy = -r; dy <= r; ++dy) {
      for (int64_t dx = -r; dx <= r; ++dx) {
        const int64_t row = std::clamp(lat_index + dy, int64_t{0}, kMaxLatIndex);
        const int64_t col = std::clamp(lon_index + dx, int64_t{0}, kMaxLonIndex);
        const uint64_t key = static_cast<uint64_t>(row) * kLonCells + static_cast<uint64_t>(col);
        append_cell(index, key, ids);
      }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (ids.size() >= kEnoughStreets) break;
  }
  return ids;
}

// A house listed twice on a street is answered once, at its nearer entry.
// Duplicates can only share a street, so this runs per street on its few
// houses instead of over all candidates.
void keep_nearest_of_each_house(std::vector<Candidate>& out, size_t first) {
  const auto begin = out.begin() + static_cast<std::ptrdiff_t>(first);
  std::sort(begin, out.end(), [](const Candidate& a, const Candidate& b) {
    if (a.house.number != b.house.number) return a.house.number < b.house.number;
    if (a.house.suffix_id != b.house.suffix_id) return a.house.suffix_id < b.house.suffix_id;
    return nearer(a, b);
  });
  const auto last = std::unique(begin, out.end(), [](const Candidate& a, const Candidate& b) {
    return a.house.number == b.house.number && a.house.suffix_id == b.house.suffix_id;
  });
  out.erase(last, out.end());
}

// Measures every decodable house of one street; a fault ends the street
// and keeps the houses read before it.
void measure_street(const Index& index, uint32_t street_id, double lat, double lon, double cosine,
                    uint32_t& measured, std::vector<Candidate>& out) {
  const auto street = index.street(street_id);
  if (!street || street->house_count == 0) return;
  auto reader = HouseListReader::open(index, street_id, *street);
  if (!reader) return;
  HouseEntry h;
  const size_t first = out.size();
  while (reader->next(h) == HouseListReader::Step::house) {
    const double dy = (h.lat - lat) * kMetresPerDegree;
    const double dx = (h.lon - lon) * kMetresPerDegree * cosine;
    out.push_back(Candidate{std::sqrt(dy * dy + dx * dx), measured++, street_id, h});
  }
  keep_nearest_of_each_house(out, first);
}


std::string_view precision_at(double metres) {
  if (metres <= kHouseMaxMetres) return kPrecisionHouse;
  if (metres <= kNearMaxMetres) return kPrecisionNear;
  return kPrecisionApproximate;
}

float confidence_at(double metres) {
  double c = 0.97 - metres / 500.0;
  if (c < 0.1) c = 0.1;
  if (c > 0.95) c = 0.95;
  return static_cast<float>(c);
}

Hit reverse_hit(const Index& index, const Candidate& c) {
  const StreetRecord street = *index.street(c.street_id);
  Hit hit;
  hit.lat = c.house.lat;
  hit.lon = c.house.lon;
  hit.precision = precision_at(c.distance);
  hit.score = 0.0f;
  hit.confidence = confidence_at(c.distance);
  hit.distance_m = std::round(c.distance * 10.0) / 10.0;
  hit.street = std::string(index.name(street.name_offset));
  hit.commune = std::string(index.commune_name(street.commune));
  hit.housenumber = index.house_number(c.house.number, c.house.suffix_id);
  hit.postcode = index.postcode_for_house(street, c.house.postcode_ref);
  hit.region = index.admin_at(c.house.lat, c.house.lon);
  return hit;
}

}  // namespace

Result<std::vector<Hit>> Index::try_reverse(double lat, double lon, size_t k) const {
  if (!coordinates_valid(lat, lon)) {
    return Error(ErrorCode::invalid_argument,
                 "reverse: coordinates out of range or non-finite (lat=" + format_f64_display(lat) +
                     ", lon=" + format_f64_display(lon) +
                     "); expected finite lat in [-90,90], lon in [-180,180]");
  }
  rules::CurrentRulesScope rules_scope(active_rules());
  std::vector<Hit> hits;
  if (k == 0) return hits;
  const size_t wanted = std::min(k, kMaxAnswers);

  const std::vector<uint32_t> streets = candidate_streets(*this, lat, lon);
  if (streets.empty()) return hits;
  const double cosine = std::max(std::cos(lat * kDegToRad), kMinCosine);
  std::vector<Candidate> candidates;
  uint32_t measured = 0;
  for (const uint32_t id : streets) {
    measure_street(*this, id, lat, lon, cosine, measured, candidates);
  }
  // Only the nearest `wanted` distinct houses are needed, in order.
  const size_t answers = std::min(wanted, candidates.size());
  std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(answers),
                    candidates.end(), nearer);
  hits.reserve(answers);
  for (size_t i = 0; i < answers; ++i) hits.push_back(reverse_hit(*this, candidates[i]));
  return hits;
}

}  // namespace vorlane::query
