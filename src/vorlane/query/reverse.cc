// Reverse geocoding: from a point to the nearest houses. Candidate streets
// come from the 0.01-degree grid in square rings of growing radius; the
// houses of those streets are measured on a local flat projection; the
// nearest distinct houses become hits. Streets are visited nearest box
// first, and a street whose bounding box lies beyond the k-th best house so
// far is not decoded at all: its houses could not make the answer, so the
// answers are those of measuring every house. The grid's cell ranges are not
// checked when the sheet is opened, so each is checked here in 64 bits
// before its street ids are read; a damaged cell or house list is skipped,
// never trusted.
#include <algorithm>
#include <cmath>

#include "vorlane/base/format_float.h"
#include "vorlane/query/house_list.h"
#include "vorlane/query/index.h"
#include "vorlane/query/reverse.h"
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
constexpr double kMinCosine = 0.01;
constexpr double kHouseMaxMetres = 50.0;
constexpr double kNearMaxMetres = 250.0;

struct Candidate {
  double distance;  // metres
  // Position in the plain measuring order (street id, then list order): the
  // tie-break of equal distances. The street's rank among the candidate
  // streets in the high half, the house's place in its list in the low half.
  uint64_t order;
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

uint64_t cell_key(int64_t row, int64_t col) {
  return static_cast<uint64_t>(row) * kLonCells + static_cast<uint64_t>(col);
}

uint32_t record_key(ByteView cells, size_t record) {
  return *cells.le_u32(record * kGridCellSize);
}

// The first cell record whose key is not below `key`.
size_t first_record_not_below(ByteView cells, uint64_t key) {
  size_t lo = 0, hi = cells.size() / kGridCellSize;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (record_key(cells, mid) < key) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// Appends the street ids of one cell record; an empty one or one whose
// range runs past the id array adds nothing.
void append_record(const Index& index, size_t record, std::vector<uint32_t>& out) {
  const ByteView cells = index.grid_cells;
  const uint64_t first = *cells.le_u32(record * kGridCellSize + 4);
  const uint64_t n = *cells.le_u32(record * kGridCellSize + 8);
  if (n == 0 || (first + n) * 4 > index.grid_street_ids.size()) return;
  for (uint64_t i = first; i < first + n; ++i) out.push_back(*index.grid_street_ids.le_u32(i * 4));
}

// Appends the street ids of the cells [first_col, last_col] of one row.
// With strictly ascending keys these cells are consecutive records found by
// one search; otherwise each cell is searched for on its own, which is what
// the format defines.
void append_row(const Index& index, bool keys_ascending, int64_t row, int64_t first_col,
                int64_t last_col, std::vector<uint32_t>& out) {
  const ByteView cells = index.grid_cells;
  const size_t count = cells.size() / kGridCellSize;
  if (keys_ascending) {
    const uint64_t last_key = cell_key(row, last_col);
    for (size_t rec = first_record_not_below(cells, cell_key(row, first_col));
         rec < count && record_key(cells, rec) <= last_key; ++rec) {
      append_record(index, rec, out);
    }
    return;
  }
  for (int64_t col = first_col; col <= last_col; ++col) {
    const uint64_t key = cell_key(row, col);
    const size_t rec = first_record_not_below(cells, key);
    if (rec < count && record_key(cells, rec) == key) append_record(index, rec, out);
  }
}

}  // namespace

std::vector<uint32_t> reverse_candidate_streets(const Index& index, double lat, double lon) {
  const bool keys_ascending = index.reverse_aids.of(index).grid_keys_ascending;
  const int64_t lat_index = cell_index(lat + 90.0);
  const int64_t lon_index = cell_index(lon + 180.0);
  std::vector<uint32_t> ids;
  for (const int64_t r : kRingRadii) {
    ids.clear();
    // Clamped at the grid's edges: a clamped row or column repeats an inner
    // one, which adds nothing after de-duplication, so each is read once.
    const int64_t first_col = std::clamp(lon_index - r, int64_t{0}, kMaxLonIndex);
    const int64_t last_col = std::clamp(lon_index + r, int64_t{0}, kMaxLonIndex);
    const int64_t first_row = std::clamp(lat_index - r, int64_t{0}, kMaxLatIndex);
    const int64_t last_row = std::clamp(lat_index + r, int64_t{0}, kMaxLatIndex);
    for (int64_t row = first_row; row <= last_row; ++row) {
      append_row(index, keys_ascending, row, first_col, last_col, ids);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (ids.size() >= kEnoughStreets) break;
  }
  return ids;
}

namespace {

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

// Calls visit(house) for each house of the street that decodes; a fault
// ends the street and keeps the houses read before it.
template <typename Visit>
void for_each_house(const Index& index, uint32_t street_id, Visit&& visit) {
  const auto street = index.street(street_id);
  if (!street || street->house_count == 0) return;
  auto reader = HouseListReader::open(index, street_id, *street);
  if (!reader) return;
  HouseEntry h;
  while (reader->next(h) == HouseListReader::Step::house) visit(h);
}

// Appends the distinct houses of one street (each at its nearest entry).
void measure_street(const Index& index, uint32_t street_id, uint64_t rank, double lat, double lon,
                    double cosine, std::vector<Candidate>& out) {
  const size_t first = out.size();
  uint64_t position = 0;
  for_each_house(index, street_id, [&](const HouseEntry& h) {
    out.push_back(Candidate{flat_distance_m(lat, lon, cosine, h.lat, h.lon),
                            rank << 32 | position++, street_id, h});
  });
  keep_nearest_of_each_house(out, first);
}

// A bound that no house in the box can beat: the flat distance to the box
// point nearest the query. Rounding is monotonic, so the same operations on
// a coordinate no farther from the query give a result no greater than any
// house's own distance.
// Returned squared: the root, also monotonic, is taken only for the few
// streets that are reached.
double box_lower_bound_squared(const StreetBox& box, double lat, double lon, double cosine) {
  const double nearest_lat =
      std::clamp(lat, degrees_from_units(box.min_lat), degrees_from_units(box.max_lat));
  const double nearest_lon =
      std::clamp(lon, degrees_from_units(box.min_lon), degrees_from_units(box.max_lon));
  return flat_distance_squared(lat, lon, cosine, nearest_lat, nearest_lon);
}

// The stored integer a decoded coordinate came from: units / 1e7 is
// correctly rounded, so multiplying back is off by far less than half a
// unit, and degrees_from_units gives the decoded value again.
int32_t stored_units(double degrees) {
  return static_cast<int32_t>(std::llround(degrees * kUnitsPerDegree));
}

struct StreetVisit {
  double bound_squared;
  uint64_t rank;  // position among the candidate streets, ascending ids
  uint32_t street_id;
};

// Keeps the `wanted` nearest candidates in a heap whose top is the farthest
// kept.
class NearestKept {
 public:
  explicit NearestKept(size_t wanted) : wanted_(wanted) {}
  bool full() const { return kept_.size() == wanted_; }
  double farthest() const { return kept_.front().distance; }
  void offer(const Candidate& c) {
    if (!full()) {
      kept_.push_back(c);
      std::push_heap(kept_.begin(), kept_.end(), nearer);
    } else if (nearer(c, kept_.front())) {
      std::pop_heap(kept_.begin(), kept_.end(), nearer);
      kept_.back() = c;
      std::push_heap(kept_.begin(), kept_.end(), nearer);
    }
  }
  // The kept candidates, nearest first.
  std::vector<Candidate> take_sorted() {
    std::sort_heap(kept_.begin(), kept_.end(), nearer);
    return std::move(kept_);
  }

 private:
  size_t wanted_;
  std::vector<Candidate> kept_;
};

// The `wanted` nearest distinct houses of the streets, nearest first.
// Houses of different streets are always distinct, so once a street's own
// duplicates are folded, every candidate stands for its own answer.
std::vector<Candidate> nearest_houses(const Index& index, const std::vector<uint32_t>& streets,
                                      double lat, double lon, double cosine, size_t wanted) {
  const std::vector<StreetBox>& boxes = index.reverse_aids.of(index).boxes;
  std::vector<StreetVisit> visits;
  visits.reserve(streets.size());
  for (size_t rank = 0; rank < streets.size(); ++rank) {
    const uint32_t id = streets[rank];
    if (id >= boxes.size() || boxes[id].empty()) continue;  // no house to measure
    visits.push_back(
        StreetVisit{box_lower_bound_squared(boxes[id], lat, lon, cosine), rank, id});
  }
  // A heap, nearest bound on top: usually only a few streets are taken
  // before the rest are out of reach, so sorting them all would be waste.
  const auto farther = [](const StreetVisit& a, const StreetVisit& b) {
    return a.bound_squared > b.bound_squared ||
           (a.bound_squared == b.bound_squared && a.rank > b.rank);
  };
  std::make_heap(visits.begin(), visits.end(), farther);
  NearestKept kept(wanted);
  std::vector<Candidate> street_houses;
  for (auto end = visits.end(); end != visits.begin(); --end) {
    std::pop_heap(visits.begin(), end, farther);
    const StreetVisit& v = *(end - 1);
    // Every later street's bound is at least this one's. Streets are not
    // visited in measuring order, so a house exactly at the farthest kept
    // distance may still win its tie: only a greater bound ends the walk.
    if (kept.full() && std::sqrt(v.bound_squared) > kept.farthest()) break;
    street_houses.clear();
    measure_street(index, v.street_id, v.rank, lat, lon, cosine, street_houses);
    for (const Candidate& c : street_houses) kept.offer(c);
  }
  return kept.take_sorted();
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

namespace {

bool grid_keys_ascend(ByteView cells) {
  const size_t count = cells.size() / kGridCellSize;
  for (size_t rec = 1; rec < count; ++rec) {
    if (record_key(cells, rec - 1) >= record_key(cells, rec)) return false;
  }
  return true;
}

std::vector<StreetBox> street_boxes(const Index& index) {
  std::vector<StreetBox> boxes(index.street_count());
  for (uint32_t id = 0; id < boxes.size(); ++id) {
    StreetBox& box = boxes[id];
    for_each_house(index, id, [&](const HouseEntry& h) {
      const int32_t lat = stored_units(h.lat), lon = stored_units(h.lon);
      if (box.empty()) box = StreetBox{lat, lat, lon, lon};
      box.min_lat = std::min(box.min_lat, lat);
      box.max_lat = std::max(box.max_lat, lat);
      box.min_lon = std::min(box.min_lon, lon);
      box.max_lon = std::max(box.max_lon, lon);
    });
  }
  return boxes;
}

}  // namespace

const ReverseAids& LazyReverseAids::of(const Index& index) const {
  std::call_once(built_, [&] {
    aids_.grid_keys_ascending = grid_keys_ascend(index.grid_cells);
    aids_.boxes = street_boxes(index);
  });
  return aids_;
}

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

  const std::vector<uint32_t> streets = reverse_candidate_streets(*this, lat, lon);
  if (streets.empty()) return hits;
  const double cosine = std::max(std::cos(lat * kDegToRad), kMinCosine);
  const std::vector<Candidate> nearest = nearest_houses(*this, streets, lat, lon, cosine, wanted);
  hits.reserve(nearest.size());
  for (const Candidate& c : nearest) hits.push_back(reverse_hit(*this, c));
  return hits;
}

}  // namespace vorlane::query
