// Sequential decoding of one street's house list in house_data, shared by
// the house lookups and the reverse search. Internal to the query module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "vorlane/base/byte_view.h"
#include "vorlane/index/varint.h"
#include "vorlane/query/index.h"

namespace vorlane::query {

namespace house_list_detail {

// Decoded house coordinates must lie within the world, in 1e-7 degree.
inline constexpr int64_t kMaxLatE7 = 900000000;
inline constexpr int64_t kMaxLonE7 = 1800000000;

inline int64_t zigzag_decode(uint64_t v) {
  return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
}

}  // namespace house_list_detail

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

  // The street's house-postcode dictionary: K little-endian u32 names
  // offsets; empty unless the street carries per-house postcodes in format
  // version 7 or later.
  ByteView postcode_dictionary() const { return dictionary_; }

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

// Decoding runs once per house on the reverse search's hot path, so it is
// inline.
inline std::optional<uint32_t> HouseListReader::read_u32() {
  const auto v = index::strict_varint(list_, pos_);
  if (!v || *v > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(*v);
}

inline std::optional<double> HouseListReader::read_coordinate(int64_t base, int64_t limit) {
  const auto v = index::strict_varint(list_, pos_);
  if (!v) return std::nullopt;
  int64_t units = 0;
  if (__builtin_add_overflow(base, house_list_detail::zigzag_decode(*v), &units)) return std::nullopt;
  if (units < -limit || units > limit) return std::nullopt;
  return degrees_from_units(units);
}

inline HouseListReader::Step HouseListReader::next(HouseEntry& out) {
  if (remaining_ == 0) return Step::end;
  const auto number = read_u32();
  if (!number) return Step::fault;
  if (first_) {
    number_ = *number;
    first_ = false;
  } else if (__builtin_add_overflow(number_, *number, &number_)) {
    return Step::fault;
  }
  const auto suffix = read_u32();
  if (!suffix) return Step::fault;
  const auto lat = read_coordinate(street_lat_, house_list_detail::kMaxLatE7);
  if (!lat) return Step::fault;
  const auto lon = read_coordinate(street_lon_, house_list_detail::kMaxLonE7);
  if (!lon) return Step::fault;
  uint32_t postcode_ref = 0;
  if (!dictionary_.empty()) {
    const auto index = read_u32();
    if (!index) return Step::fault;
    if (*index >= 1 && uint64_t{*index} * 4 <= dictionary_.size()) {
      postcode_ref = *dictionary_.le_u32(uint64_t{*index - 1} * 4);
    }
  }
  --remaining_;
  out = HouseEntry{number_, *suffix, *lat, *lon, postcode_ref};
  return Step::house;
}

}  // namespace vorlane::query
