// What the reverse search derives from a sheet to go faster with the same
// answers: the bounding box of each street's houses, which lets it skip
// streets that cannot hold one of the nearest houses, and whether the grid's
// cell keys strictly ascend, which lets it read a row of cells with one
// search. Built once per sheet on first use, so opening a sheet stays a
// mapping plus validation.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace vorlane::query {

class Index;

// In stored units (1e-7 degree), over exactly the houses that the reverse
// search decodes from the street's list. min > max: no such house.
struct StreetBox {
  int32_t min_lat = 1;
  int32_t max_lat = 0;
  int32_t min_lon = 1;
  int32_t max_lon = 0;

  bool empty() const { return min_lat > max_lat; }
};

struct ReverseAids {
  std::vector<StreetBox> boxes;  // by street id
  bool grid_keys_ascending = false;
};

class LazyReverseAids {
 public:
  // The aids of `index` (the Index that holds this object), built on the
  // first call; safe when several threads call together.
  const ReverseAids& of(const Index& index) const;

 private:
  mutable std::once_flag built_;
  mutable ReverseAids aids_;
};

}  // namespace vorlane::query
