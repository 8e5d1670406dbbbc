// The reverse search skips streets by their bounding boxes and reads grid
// rows with one search; its answers must be exactly those of searching each
// cell, measuring every house of every candidate street and sorting them, as
// the search is defined. Houses sit on a coarse lattice so that equal distances, within a
// street and across streets, are common.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/query/house_list.h"
#include "vorlane/query/index.h"
#include "vorlane/query/reverse.h"  // flat_distance_m

namespace vorlane::query {
namespace {

using namespace testing;  // the sheet builder

constexpr double kLattice = 1e-4;  // degrees, about 11 m
constexpr double kSpan = 0.08;     // the streets' square, about 8 x 8 cells

struct Measured {
  double distance;
  uint32_t street_id;
  HouseEntry house;
};

// Step 4 of the search as written: each cell of the square by its own
// binary search.
std::vector<uint32_t> plain_candidate_streets(const Index& index, double lat, double lon) {
  const auto cell_key = [](int64_t row, int64_t col) {
    return static_cast<uint32_t>(std::clamp<int64_t>(row, 0, 17999) * 36000 +
                                 std::clamp<int64_t>(col, 0, 35999));
  };
  const size_t count = index.grid_cells.size() / kGridCellSize;
  const auto key_at = [&](size_t rec) { return *index.grid_cells.le_u32(rec * kGridCellSize); };
  const int64_t lat_index = static_cast<int64_t>(std::floor((lat + 90.0) / 0.01));
  const int64_t lon_index = static_cast<int64_t>(std::floor((lon + 180.0) / 0.01));
  std::vector<uint32_t> ids;
  for (const int64_t r : {1, 2, 4}) {
    ids.clear();
    for (int64_t dy = -r; dy <= r; ++dy) {
      for (int64_t dx = -r; dx <= r; ++dx) {
        const uint32_t key = cell_key(lat_index + dy, lon_index + dx);
        size_t lo = 0, hi = count;
        while (lo < hi) {
          const size_t mid = (lo + hi) / 2;
          (key_at(mid) < key ? lo = mid + 1 : hi = mid);
        }
        if (lo == count || key_at(lo) != key) continue;
        const uint32_t first = *index.grid_cells.le_u32(lo * kGridCellSize + 4);
        const uint32_t n = *index.grid_cells.le_u32(lo * kGridCellSize + 8);
        for (uint32_t i = first; i < first + n; ++i) ids.push_back(*index.grid_street_ids.le_u32(i * 4));
      }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (ids.size() >= 3) break;
  }
  return ids;
}

// Steps 6 to 9: measure all, stable sort, first distinct houses.
std::vector<Measured> plain_scan(const Index& index, double lat, double lon, size_t k) {
  const double cosine = std::max(std::cos(lat * kDegToRad), 0.01);
  std::vector<Measured> all;
  for (const uint32_t id : plain_candidate_streets(index, lat, lon)) {
    const auto street = index.street(id);
    if (!street || street->house_count == 0) continue;
    auto reader = HouseListReader::open(index, id, *street);
    if (!reader) continue;
    HouseEntry h;
    while (reader->next(h) == HouseListReader::Step::house) {
      all.push_back({flat_distance_m(lat, lon, cosine, h.lat, h.lon), id, h});
    }
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const Measured& a, const Measured& b) { return a.distance < b.distance; });
  std::vector<Measured> out;
  std::set<std::tuple<uint32_t, uint32_t, uint32_t>> seen;
  for (const Measured& m : all) {
    if (out.size() == std::min<size_t>(k, 100)) break;
    if (seen.insert({m.street_id, m.house.number, m.house.suffix_id}).second) out.push_back(m);
  }
  return out;
}

double on_lattice(double degrees) { return std::round(degrees / kLattice) * kLattice; }

SheetBuilder lattice_sheet(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> spot(-kSpan / 2, kSpan / 2);
  std::uniform_int_distribution<int> step(-6, 6);
  SheetBuilder b;
  b.suffixes = {"a", "b"};
  for (int s = 0; s < 300; ++s) {
    TestStreet street;
    street.name = "S" + std::to_string(s);
    street.lat = on_lattice(kLat + spot(rng));
    street.lon = on_lattice(kLon + spot(rng));
    const int houses = 1 + s % 9;
    for (int h = 0; h < houses; ++h) {
      // Numbers repeat now and then: a house listed twice.
      const uint32_t number = 1 + static_cast<uint32_t>(h - (h % 4 == 3));
      street.houses.push_back({number, static_cast<uint32_t>(h % 3 == 2),
                               street.lat + step(rng) * kLattice, street.lon + step(rng) * kLattice});
    }
    if (s % 37 == 5) {
      // A list that breaks after its first house: only that house counts.
      street.raw_list = varints({7, 0, zigzag(3), zigzag(-2)}) + "\x80";
      street.house_count = 4;
    }
    b.streets.push_back(street);
  }
  return b;
}

TEST(ReverseOracle, SkippingStreetsChangesNoAnswer) {
  std::mt19937_64 rng(20240611);
  const auto index = lattice_sheet(rng).open();
  ASSERT_TRUE(index);
  std::uniform_real_distribution<double> anywhere(-kSpan, kSpan);  // also beyond the streets
  std::uniform_int_distribution<size_t> pick(0, index->street_count() - 1);
  std::uniform_int_distribution<int> step(-20, 20);
  const size_t ks[] = {1, 2, 3, 10, 500};
  for (int i = 0; i < 100'000; ++i) {
    double lat, lon;
    if (i % 2 == 0) {
      lat = kLat + anywhere(rng);
      lon = kLon + anywhere(rng);
    } else {  // on the lattice near a street, where ties abound
      const auto street = *index->street(pick(rng));
      lat = degrees_from_units(street.lat) + step(rng) * kLattice;
      lon = degrees_from_units(street.lon) + step(rng) * kLattice;
    }
    const size_t k = ks[i % 5];
    const auto hits = index->try_reverse(lat, lon, k);
    ASSERT_TRUE(hits.has_value());
    const std::vector<Measured> expected = plain_scan(*index, lat, lon, k);
    ASSERT_EQ(hits->size(), expected.size()) << lat << " " << lon << " k=" << k;
    for (size_t j = 0; j < expected.size(); ++j) {
      const Hit& hit = (*hits)[j];
      const Measured& m = expected[j];
      ASSERT_TRUE(hit.lat == m.house.lat && hit.lon == m.house.lon &&
                  hit.street == "S" + std::to_string(m.street_id) &&
                  hit.housenumber == index->house_number(m.house.number, m.house.suffix_id) &&
                  hit.distance_m == std::round(m.distance * 10.0) / 10.0)
          << "query " << i << " answer " << j;
    }
  }
}

}  // namespace
}  // namespace vorlane::query
