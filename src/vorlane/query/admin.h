// Administrative regions from the optional "_admin.bin" sidecar that lies
// next to an address sheet, and the point-in-region lookup that names a
// hit's region.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::query {

// A polygon vertex in units of 1e-7 degree.
struct AdminPoint {
  int32_t lat;
  int32_t lon;
  bool operator==(const AdminPoint&) const = default;
};

// One region of the sidecar. Outer rings and holes are stored alike; the
// even-odd rule over all rings together tells them apart. The bounding box
// is inclusive and taken from the file as written.
struct AdminRegion {
  std::string name;
  std::vector<std::vector<AdminPoint>> rings;
  int32_t min_lat = 0;
  int32_t min_lon = 0;
  int32_t max_lat = 0;
  int32_t max_lon = 0;
};

// The sidecar's file name for a sheet path: the sheet's file stem (the file
// name without its last extension; a leading dot alone is not an extension;
// empty when there is no file name or it is not valid UTF-8) + "_admin.bin".
std::string admin_sidecar_name(std::string_view sheet_path);

// Reads the sidecar that belongs to the sheet at `sheet_path`, in file order.
// Never fails: a missing, damaged or truncated sidecar gives fewer or no
// regions. Writes at most one "warning: " line to standard error, when the
// sidecar is not a sidecar at all or when only a differently named one lies
// beside the sheet.
std::vector<AdminRegion> load_admin(std::string_view sheet_path);

// The name of the first region that contains the point (degrees), or
// nothing. Safe on any coordinates, stored or queried.
std::optional<std::string> admin_at(const std::vector<AdminRegion>& regions, double lat,
                                    double lon);

// `value` truncated toward zero to an int32_t, saturating at the ends of the
// range; NaN gives 0.
int32_t saturating_i32(double value);

}  // namespace vorlane::query
