// Sequential decoding of one street's house list in house_data, shared by
// the house lookups and the reverse search. Internal to the query module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "vorlane/base/byte_view.h"
#include "vorlane/query/index.h"

namespace vorlane::query {

// One decoded house.
struct HouseEntry {
  uint32_t number = 0;
  uint32_t suffix_id = 0;
  double lat = 0.0;  // degrees
  double lon = 0.0;
  uint32_t postcode_ref = 0;  // names offset, 0 = none
};

class HouseListReader {
 public:
  // A reader over the list of `street_id` (whose record is `street`), placed
  // after the house-postcode dictionary. Nothing when the street id is past
  // the table, the list's byte range is empty or outside house_data, or the
  // dictionary is unreadable.
  static std::optional<HouseListReader> open(const Index& index, uint64_t street_id,
                                             const StreetRecord& street);

  enum class Step { house, end, fault };
  // Decodes the next house into `out`. `fault` on a truncated or too-wide
  // varint, a number or coordinate sum that overflows, or a coordinate out
  // of range; the reader must not be used after a fault.
  Step next(HouseEntry& out);

 private:
  HouseListReader(ByteView list, size_t pos, ByteView dictionary, uint32_t count,
                  const StreetRecord& street)
      : list_(list),
        pos_(pos),
        dictionary_(dictionary),
        remaining_(count),
        street_lat_(street.lat),
        street_lon_(street.lon) {}

  std::optional<uint32_t> read_u32();
  std::optional<double> read_coordinate(int64_t base, int64_t limit);

  ByteView list_;        // the street's bytes [start, end)
  size_t pos_;           // within list_
  ByteView dictionary_;  // K little-endian u32 names offsets (empty without one)
  uint32_t remaining_;   // entries still to decode
  uint32_t number_ = 0;  // running house number
  bool first_ = true;
  int64_t street_lat_;
  int64_t street_lon_;
};

}  // namespace vorlane::query
