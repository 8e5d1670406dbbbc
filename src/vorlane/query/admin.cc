// Loads the administrative-region sidecar that lies next to a sheet and
// answers which region holds a point. The sidecar is optional: nothing here
// fails, and every count read from the file is checked against the bytes
// that remain before anything is reserved for it. The point test runs in
// 128-bit integers, so no stored or queried coordinate can overflow it.
#include "vorlane/query/admin.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include "vorlane/base/byte_view.h"
#include "vorlane/base/quote.h"
#include "vorlane/base/utf8.h"
#include "vorlane/base/warning.h"

namespace vorlane::query {
namespace {

constexpr std::string_view kMagic = "WOFA";
constexpr std::string_view kSuffix = "_admin.bin";
// Magic and region count, plus at least one byte: an 8-byte file that holds
// only the header is treated as damaged, not as an empty sidecar.
constexpr size_t kMinSidecarBytes = 9;
constexpr size_t kRegionsOffset = 8;
// Name length byte, bounding box (4 x i32) and ring count of an unnamed,
// ringless region: the least a region can occupy.
constexpr size_t kMinRegionBytes = 1 + 16 + 2;
constexpr size_t kPointBytes = 8;

// ---- Paths -----------------------------------------------------------------

// The last component of a path when it is a name, and the part before it.
// Trailing separators and "." components are not components; ".." and a
// leading "." have no name. Neither part exists for "" and for the root.
struct PathParts {
  std::optional<std::string_view> file_name;
  std::optional<std::string_view> parent;
};

PathParts split_path(std::string_view path) {
  size_t end = path.size();
  for (;;) {
    while (end > 0 && path[end - 1] == '/') --end;
    if (end >= 2 && path[end - 1] == '.' && path[end - 2] == '/') {
      --end;
      continue;
    }
    break;
  }
  if (end == 0) return {};
  const size_t slash = path.rfind('/', end - 1);
  const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  size_t parent_end = start;
  while (parent_end > 1 && path[parent_end - 1] == '/') --parent_end;
  PathParts parts;
  parts.parent = path.substr(0, parent_end);
  const std::string_view last = path.substr(start, end - start);
  if (last != "." && last != "..") parts.file_name = last;
  return parts;
}

// The file name without its last extension; a name whose only dot leads
// keeps it ("x." gives "x", ".hidden" stays whole).
std::string_view file_stem(std::string_view file_name) {
  const size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return file_name;
  return file_name.substr(0, dot);
}

std::string join_path(std::string_view dir, std::string_view name) {
  std::string out(dir);
  if (!out.empty() && out.back() != '/') out += '/';
  out += name;
  return out;
}

// Where the sidecar is looked for: the sheet's file name replaced by the
// sidecar name, or the name appended when the path has no file name. A bare
// file name gives a path relative to the working directory.
std::string sidecar_path(std::string_view sheet_path, const PathParts& parts,
                         std::string_view sidecar_name) {
  if (parts.file_name) return join_path(*parts.parent, sidecar_name);
  return join_path(sheet_path, sidecar_name);
}

// ---- Files -----------------------------------------------------------------

// An open regular file. Anything else (a directory, a FIFO that would wait
// for a writer, a device that never ends) counts as a file that cannot be
// opened, so it is never read.
class Descriptor {
 public:
  explicit Descriptor(std::string_view path) {
    // A C path ends at the first NUL: such a path names no file of ours.
    if (path.find('\0') != std::string_view::npos) return;
    fd_ = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)) {
      ::close(fd_);
      fd_ = -1;
    }
    if (fd_ >= 0) size_ = static_cast<uint64_t>(st.st_size);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool is_open() const { return fd_ >= 0; }
  // The size the file had when it was opened.
  uint64_t size() const { return size_; }

  // Reads up to `size` bytes; returns the count read (short only at end of
  // file), or -1 on an error.
  ssize_t read_up_to(char* out, size_t size) {
    size_t done = 0;
    while (done < size) {
      const ssize_t n = ::read(fd_, out + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
  }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// The file's bytes up to the size it had when opened (fewer when it shrank
// meanwhile), or nothing when it cannot be opened or read.
std::optional<std::string> read_whole_file(std::string_view path) {
  Descriptor file(path);
  if (!file.is_open() || file.size() > std::numeric_limits<size_t>::max()) return std::nullopt;
  std::string data(static_cast<size_t>(file.size()), '\0');
  const ssize_t n = file.read_up_to(data.data(), data.size());
  if (n < 0) return std::nullopt;
  data.resize(static_cast<size_t>(n));
  return data;
}

bool starts_with_magic(std::string_view path) {
  Descriptor file(path);
  if (!file.is_open()) return false;
  char head[4];
  return file.read_up_to(head, sizeof head) == static_cast<ssize_t>(sizeof head) &&
         std::string_view(head, sizeof head) == kMagic;
}

// ---- Sidecar format --------------------------------------------------------

std::optional<int32_t> read_i32(Cursor& cursor) {
  const auto v = cursor.u32le();
  if (!v) return std::nullopt;
  return static_cast<int32_t>(*v);
}

std::optional<std::vector<AdminPoint>> read_ring(Cursor& cursor) {
  const auto count = cursor.u16le();
  if (!count) return std::nullopt;
  const auto bytes = cursor.bytes(uint64_t{*count} * kPointBytes);
  if (!bytes) return std::nullopt;
  std::vector<AdminPoint> ring;
  ring.reserve(*count);  // the points were just seen to be present
  for (size_t at = 0; at < bytes->size(); at += kPointBytes) {
    ring.push_back({load_le<int32_t>(bytes->data() + at),
                    load_le<int32_t>(bytes->data() + at + 4)});
  }
  return ring;
}

// One whole region, or nothing when the file ends inside it.
std::optional<AdminRegion> read_region(Cursor& cursor) {
  AdminRegion region;
  const auto name_length = cursor.u8();
  if (!name_length) return std::nullopt;
  const auto name = cursor.bytes(*name_length);
  const auto min_lat = read_i32(cursor);
  const auto min_lon = read_i32(cursor);
  const auto max_lat = read_i32(cursor);
  const auto max_lon = read_i32(cursor);
  const auto ring_count = cursor.u16le();
  if (!name || !min_lat || !min_lon || !max_lat || !max_lon || !ring_count) {
    return std::nullopt;
  }
  region.name = utf8::decode_lossy(*name);
  region.min_lat = *min_lat;
  region.min_lon = *min_lon;
  region.max_lat = *max_lat;
  region.max_lon = *max_lon;
  // Each ring takes at least its 2-byte point count.
  region.rings.reserve(std::min<size_t>(*ring_count, cursor.remaining() / 2));
  for (uint32_t r = 0; r < *ring_count; ++r) {
    auto ring = read_ring(cursor);
    if (!ring) return std::nullopt;
    region.rings.push_back(std::move(*ring));
  }
  return region;
}

// The complete regions of a sidecar whose header has been checked. A file
// cut short loses only the region it ends in; a file that ends early is
// believed over its region count.
std::vector<AdminRegion> parse_regions(ByteView data) {
  const uint32_t declared = data.le_u32(4).value_or(0);
  Cursor cursor(data, kRegionsOffset);
  std::vector<AdminRegion> regions;
  regions.reserve(std::min<size_t>(declared, cursor.remaining() / kMinRegionBytes));
  for (uint32_t i = 0; i < declared; ++i) {
    auto region = read_region(cursor);
    if (!region) break;
    regions.push_back(std::move(*region));
    if (cursor.at_end()) break;
  }
  return regions;
}

// ---- Misnamed sidecars -----------------------------------------------------

// The full lower-case form of a text's first two characters (UTF-16, as ICU
// works in). Lower-casing the pair as one text lets a final sigma count.
std::u16string lower_first_two(std::string_view text) {
  size_t end = 0;
  for (int k = 0; k < 2 && end < text.size(); ++k) end += utf8::decode_step(text, end).length;
  UChar wide[8];
  int32_t wide_length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(wide, 8, &wide_length, text.data(), static_cast<int32_t>(end), 0xFFFD,
                       nullptr, &status);
  if (U_FAILURE(status)) return {};
  status = U_ZERO_ERROR;  // drop a "not terminated" warning
  // Full lower-case mappings expand a UTF-16 unit to at most three.
  UChar lower[24];
  const int32_t lower_length = u_strToLower(lower, 24, wide, wide_length, "", &status);
  if (U_FAILURE(status)) return {};
  return std::u16string(lower, lower + lower_length);
}

class DirectoryStream {
 public:
  explicit DirectoryStream(std::string_view path) {
    if (!path.empty() && path.find('\0') == std::string_view::npos) {
      dir_ = ::opendir(std::string(path).c_str());
    }
  }
  DirectoryStream(const DirectoryStream&) = delete;
  DirectoryStream& operator=(const DirectoryStream&) = delete;
  ~DirectoryStream() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  bool is_open() const { return dir_ != nullptr; }
  // The next entry's name; nothing at the end of the list or on an error.
  std::optional<std::string_view> next() {
    const dirent* entry = ::readdir(dir_);
    if (entry == nullptr) return std::nullopt;
    return std::string_view(entry->d_name);
  }

 private:
  DIR* dir_ = nullptr;
};

// A sidecar in `dir` under another name than `expected` whose first two
// characters match the stem's regardless of case, as a release renamed in
// the wrong case or with another suffix leaves it. Returns its name.
std::optional<std::string> find_misnamed_sidecar(std::string_view dir, std::string_view expected,
                                                 std::string_view stem) {
  DirectoryStream entries(dir);
  if (!entries.is_open()) return std::nullopt;
  const std::u16string wanted = lower_first_two(stem);
  while (const auto raw = entries.next()) {
    if (*raw == "." || *raw == "..") continue;
    std::string name = utf8::decode_lossy(*raw);
    if (name == expected || name.size() < kSuffix.size() ||
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
      continue;
    }
    if (lower_first_two(name) != wanted) continue;
    if (starts_with_magic(join_path(dir, *raw))) return name;
  }
  return std::nullopt;
}

// ---- Point in region -------------------------------------------------------

__extension__ typedef __int128 Wide;

// Whether the edge from `a` to `b` crosses the horizontal line through `y`
// to the east of `x`. Differences of two i32 take 33 bits and their product
// 66, so 128 bits hold every case; 64 bits hold only coordinates of the
// real globe.
bool crosses_east_of(AdminPoint a, AdminPoint b, int32_t y, int32_t x) {
  if ((a.lat > y) == (b.lat > y)) return false;
  // The endpoints lie on either side of the line, so they differ in
  // latitude; the test only keeps the division visibly safe.
  const Wide lat_span = Wide{b.lat} - a.lat;
  if (lat_span == 0) return false;
  const Wide crossing = a.lon + (Wide{b.lon} - a.lon) * (Wide{y} - a.lat) / lat_span;
  return crossing > x;
}

// Even-odd test over all rings with one shared parity, so that holes (inner
// rings) cancel their outer ring. Rings of fewer than 3 points enclose nothing.
bool region_contains(const AdminRegion& region, int32_t y, int32_t x) {
  bool inside = false;
  for (const auto& ring : region.rings) {
    if (ring.size() < 3) continue;
    AdminPoint previous = ring.back();
    for (const AdminPoint& point : ring) {
      if (crosses_east_of(point, previous, y, x)) inside = !inside;
      previous = point;
    }
  }
  return inside;
}

}  // namespace

std::string admin_sidecar_name(std::string_view sheet_path) {
  const PathParts parts = split_path(sheet_path);
  std::string_view stem;
  if (parts.file_name) stem = file_stem(*parts.file_name);
  if (!utf8::is_valid(stem)) stem = {};
  std::string name(stem);
  name += kSuffix;
  return name;
}

std::vector<AdminRegion> load_admin(std::string_view sheet_path) {
  const PathParts parts = split_path(sheet_path);
  const std::string expected = admin_sidecar_name(sheet_path);
  if (const auto data = read_whole_file(sidecar_path(sheet_path, parts, expected))) {
    const ByteView bytes(*data);
    if (bytes.size() < kMinSidecarBytes || bytes.as_string_view().substr(0, 4) != kMagic) {
      write_warning(expected + " next to " + quote_path(sheet_path) +
                    " is not a WOFA admin sidecar — regions disabled");
      return {};
    }
    return parse_regions(bytes);
  }
  // No sidecar under the expected name. A bare file name has an empty parent:
  // the working directory is not searched.
  if (!parts.parent || parts.parent->empty()) return {};
  const std::string_view stem =
      std::string_view(expected).substr(0, expected.size() - kSuffix.size());
  if (const auto found = find_misnamed_sidecar(*parts.parent, expected, stem)) {
    write_warning(quote_path(sheet_path) + " expected admin sidecar " + expected +
                  " but it is missing; found " + *found +
                  " next to it — regions disabled. Rename the sidecar to match the sheet "
                  "(release rename?).");
  }
  return {};
}

std::optional<std::string> admin_at(const std::vector<AdminRegion>& regions, double lat,
                                    double lon) {
  if (regions.empty()) return std::nullopt;
  const int32_t y = saturating_i32(lat * 1e7);
  const int32_t x = saturating_i32(lon * 1e7);
  for (const AdminRegion& region : regions) {
    if (y < region.min_lat || y > region.max_lat || x < region.min_lon || x > region.max_lon) {
      continue;
    }
    if (region_contains(region, y, x)) return region.name;
  }
  return std::nullopt;
}

int32_t saturating_i32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(value);
}

}  // namespace vorlane::query
