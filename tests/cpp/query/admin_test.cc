#include "vorlane/query/admin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "support/le_bytes.h"
#include "support/stderr_capture.h"

namespace vorlane::query {
namespace {

using vorlane::testing::captured_stderr;
using vorlane::testing::put_le;
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

std::string encode(const AdminRegion& r) {
  std::string out(1, static_cast<char>(r.name.size()));
  out += r.name;
  for (int32_t v : {r.min_lat, r.min_lon, r.max_lat, r.max_lon}) put_le(out, uint32_t(v), 4);
  put_le(out, r.rings.size(), 2);
  for (const auto& ring : r.rings) {
    put_le(out, ring.size(), 2);
    for (AdminPoint p : ring) {
      put_le(out, uint32_t(p.lat), 4);
      put_le(out, uint32_t(p.lon), 4);
    }
  }
  return out;
}

std::string header(uint32_t count, const char* magic = "WOFA") {
  std::string out = magic;
  put_le(out, count, 4);
  return out;
}

std::vector<AdminPoint> box_ring(int32_t lo, int32_t hi) {
  return {{lo, lo}, {lo, hi}, {hi, hi}, {hi, lo}};
}

AdminRegion square(std::string name, int32_t lo, int32_t hi) {
  return {std::move(name), {box_ring(lo, hi)}, lo, lo, hi, hi};
}

// Degrees whose conversion truncates to exactly `units` (1e-7 degree).
double deg(int64_t units) { return (double(units) + (units < 0 ? -0.5 : 0.5)) * 1e-7; }

class TempDir {
 public:
  TempDir() {
    std::string tmpl = ::testing::TempDir() + "vorlane-admin-XXXXXX";
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  // Writes a file, or makes a directory when `content` is "/".
  void put(const std::string& name, const std::string& content) const {
    if (content == "/") ::mkdir(at(name).c_str(), 0700);
    else std::ofstream(at(name), std::ios::binary) << content;
  }
  std::string at(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The region names loaded for `sheet` in `dir`, and the warning written.
std::pair<std::vector<std::string>, std::string> load(const TempDir& dir, const char* sheet) {
  std::vector<AdminRegion> regions;
  const std::string warning = captured_stderr([&] { regions = load_admin(dir.at(sheet)); });
  std::vector<std::string> names;
  for (const auto& r : regions) names.push_back(r.name);
  return {names, warning};
}

TEST(LoadAdmin, ReadsEveryFieldInFileOrder) {
  TempDir dir;
  const AdminRegion holed{"Île-de-France", {box_ring(0, 10), {}, box_ring(2, 8)}, -1, -2, 11, 12};
  dir.put("fr_admin.bin", header(2) + encode(holed) + encode(square("Corse", kMin, kMax)));
  std::vector<AdminRegion> regions;
  EXPECT_EQ(captured_stderr([&] { regions = load_admin(dir.at("fr.idx")); }), "");
  ASSERT_EQ(regions.size(), 2u);
  EXPECT_EQ(regions[0].name, holed.name);
  EXPECT_EQ(regions[0].rings, holed.rings);  // the empty ring stays
  EXPECT_EQ((std::vector<int32_t>{regions[0].min_lat, regions[0].min_lon, regions[0].max_lat,
                                  regions[0].max_lon}),
            (std::vector<int32_t>{-1, -2, 11, 12}));
  EXPECT_EQ(regions[1].rings, square("", kMin, kMax).rings);
}

// Short, empty and wrongly tagged sidecars, with their warning, are covered
// by the Python tests; these damaged ones are read as far as they hold up.
TEST(LoadAdmin, DamagedSidecarsGiveTheWholeRegionsBeforeTheDamage) {
  const std::string a = encode(square("A", 0, 10)), b = encode(square("B", 20, 30));
  const std::tuple<const char*, std::string, std::vector<std::string>> cases[] = {
      {"second region cut in its points", header(2) + a + b.substr(0, b.size() - 3), {"A"}},
      {"second region cut in its box", header(2) + a + b.substr(0, 6), {"A"}},
      {"count beyond the file", header(0xFFFFFFFF) + a + b, {"A", "B"}},
      {"count below the file", header(1) + a + b, {"A"}},
      {"ill-formed name", header(1) + encode(square("a\xFFz", 0, 1)), {"a\uFFFDz"}},
  };
  for (const auto& [what, bytes, regions] : cases) {
    TempDir dir;
    dir.put("fr_admin.bin", bytes);
    EXPECT_EQ(load(dir, "fr.idx"), std::make_pair(regions, std::string())) << what;
  }
}

TEST(LoadAdmin, MisnamedSidecarIsReportedNotLoaded) {
  const std::string valid = header(1) + encode(square("A", 0, 10));
  const struct {
    const char* sheet;
    std::map<std::string, std::string> files;  // "/" as content: a directory
    const char* found;                          // nullptr: no warning
  } cases[] = {
      {"de-2024.idx", {{"De_admin.bin", "NOPE"}, {"dE_admin.bin", "WO"}}, nullptr},
      {"de-2024.idx", {{"de_admin.bin", "/"}}, nullptr},
      // An expected name that cannot be read counts as missing.
      {"de-2024.idx", {{"de-2024_admin.bin", "/"}, {"DE_admin.bin", valid}}, "DE_admin.bin"},
      {"Öst.idx", {{"öS_admin.bin", valid}}, "öS_admin.bin"},
      // Lower-cased as a pair, a capital sigma after a letter is final.
      {"ΑΣ.idx", {{"ας_admin.bin", valid}}, "ας_admin.bin"},
      // A one-character stem never equals a two-character prefix.
      {"d.idx", {{"D_admin.bin", valid}}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sheet);
    TempDir dir;
    for (const auto& [name, content] : c.files) dir.put(name, content);
    const std::string warning =
        c.found == nullptr ? ""
                           : "warning: \"" + dir.at(c.sheet) + "\" expected admin sidecar " +
                                 admin_sidecar_name(c.sheet) + " but it is missing; found " +
                                 c.found +
                                 " next to it — regions disabled. Rename the sidecar to match "
                                 "the sheet (release rename?).\n";
    EXPECT_EQ(load(dir, c.sheet), std::make_pair(std::vector<std::string>{}, warning));
  }
}

TEST(AdminSidecarName, FollowsTheSheetsFileStem) {
  const std::pair<std::string, std::string> cases[] = {
      {"fr.idx", "fr_admin.bin"},          {"/data/a.b.idx", "a.b_admin.bin"},
      {".hidden", ".hidden_admin.bin"},    {"x.", "x_admin.bin"},
      {"dir.v2/noext", "noext_admin.bin"}, {"..x", "._admin.bin"},
      {"dir/fr.idx/", "fr_admin.bin"},     {"dir/fr.idx/.", "fr_admin.bin"},
      {"dir/..", "_admin.bin"},            {"/", "_admin.bin"},
      {"", "_admin.bin"},                  {"de\xFF.idx", "_admin.bin"},
  };
  for (const auto& [sheet, name] : cases) EXPECT_EQ(admin_sidecar_name(sheet), name) << sheet;
}

TEST(AdminAt, EvenOddRulesAndExtremeCoordinates) {
  AdminRegion holed = square("holed", 0, 10);
  holed.rings.push_back(box_ring(2, 8));
  holed.rings.push_back({{5, 5}, {6, 6}});  // fewer than 3 points: encloses nothing
  const std::vector<AdminRegion> nested = {holed, square("under", 0, 10),
                                           square("wide", -100, 100)};
  // A triangle across the whole i32 plane: east of the diagonal lat == lon.
  // Near its corners the crossing product needs more than 64 bits.
  const std::vector<AdminRegion> triangle = {
      {"T", {{{kMin, kMin}, {kMax, kMax}, {kMin, kMax}}}, kMin, kMin, kMax, kMax}};
  const std::vector<AdminRegion> plane = {square("all", kMin, kMax)};
  const struct {
    const std::vector<AdminRegion>* regions;
    double lat, lon;
    const char* region;
  } cases[] = {
      {&nested, deg(5), deg(5), "under"},  // in the hole, so the next region that holds it
      {&nested, deg(1), deg(1), "holed"},
      {&nested, deg(0), deg(5), "holed"},    // the minimum latitude edge counts
      {&nested, deg(10), deg(5), "wide"},    // the maximum latitude passes the box, not the ring
      {&nested, deg(200), deg(0), nullptr},
      {&plane, NAN, NAN, "all"},  // NaN counts as 0
      {&plane, -INFINITY, -1e300, "all"},
      {&plane, INFINITY, 0, nullptr},  // saturates onto the maximum edge
      {&plane, 1e300, 1e300, nullptr},
      {&triangle, deg(2147480000), deg(2147483000), "T"},
      {&triangle, deg(2147480000), deg(2147470000), nullptr},
      {&triangle, deg(-2147480000), deg(-2147470000), "T"},
  };
  for (const auto& c : cases) {
    const auto found = admin_at(*c.regions, c.lat, c.lon);
    EXPECT_EQ(found.value_or("-"), c.region ? c.region : "-") << c.lat << "," << c.lon;
  }
  EXPECT_EQ(admin_at({}, 0, 0), std::nullopt);
}

TEST(SaturatingI32, TruncatesTowardZeroAndSaturates) {
  const std::pair<double, int32_t> cases[] = {
      {1.9, 1},          {-1.9, -1},        {-0.9, 0},           {NAN, 0},
      {1e300, kMax},     {-1e300, kMin},    {2147483647.9, kMax}, {-2147483648.9, kMin},
      {INFINITY, kMax},  {-INFINITY, kMin}, {-2147483647.5, -2147483647},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(saturating_i32(in), out) << in;
}

}  // namespace
}  // namespace vorlane::query
