#include "vorlane/query/admin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace vorlane::query {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

void put_le(std::string& out, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

std::string encode(const AdminRegion& r) {
  std::string out;
  put_le(out, r.name.size(), 1);
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

std::vector<std::string> names(const std::vector<AdminRegion>& regions) {
  std::vector<std::string> out;
  for (const auto& r : regions) out.push_back(r.name);
  return out;
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
  std::string put(const std::string& name, const std::string& content) const {
    std::ofstream(path_ + "/" + name, std::ios::binary) << content;
    return path_ + "/" + name;
  }
  void mkdir(const std::string& name) const { ::mkdir((path_ + "/" + name).c_str(), 0700); }
  std::string at(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Everything `fn` writes to file descriptor 2.
std::string captured_stderr(const std::function<void()>& fn) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  const int saved = ::dup(2);
  ::dup2(fds[1], 2);
  ::close(fds[1]);
  fn();
  ::dup2(saved, 2);
  ::close(saved);
  std::string out;
  char buf[512];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
  ::close(fds[0]);
  return out;
}

std::vector<AdminRegion> load_quietly(const std::string& sheet, std::string* warning) {
  std::vector<AdminRegion> regions;
  *warning = captured_stderr([&] { regions = load_admin(sheet); });
  return regions;
}

TEST(LoadAdmin, ReadsEveryFieldInFileOrder) {
  TempDir dir;
  const AdminRegion holed{"Île-de-France", {box_ring(0, 10), {}, box_ring(2, 8)}, -1, -2, 11, 12};
  dir.put("fr_admin.bin", header(2) + encode(holed) + encode(square("Corse", kMin, kMax)));
  std::string warning;
  const auto regions = load_quietly(dir.at("fr.idx"), &warning);
  EXPECT_EQ(warning, "");
  ASSERT_EQ(regions.size(), 2u);
  EXPECT_EQ(regions[0].name, holed.name);
  EXPECT_EQ(regions[0].rings, holed.rings);  // the empty ring stays
  EXPECT_EQ((std::vector<int32_t>{regions[0].min_lat, regions[0].min_lon, regions[0].max_lat,
                                  regions[0].max_lon}),
            (std::vector<int32_t>{-1, -2, 11, 12}));
  EXPECT_EQ(regions[1].rings, square("", kMin, kMax).rings);
}

TEST(LoadAdmin, DamagedOrShortSidecars) {
  const std::string a = encode(square("A", 0, 10));
  const std::string b = encode(square("B", 20, 30));
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> regions;
    bool warns;
  } cases[] = {
      {"empty file", "", {}, true},
      {"header only, 8 bytes", header(0), {}, true},
      {"wrong magic", header(1, "WOFB") + a, {}, true},
      {"9 bytes, no regions", header(0) + "x", {}, false},
      {"second region cut in its points", header(2) + a + b.substr(0, b.size() - 3), {"A"}, false},
      {"second region cut in its box", header(2) + a + b.substr(0, 6), {"A"}, false},
      {"count beyond the file", header(0xFFFFFFFF) + a + b, {"A", "B"}, false},
      {"count below the file", header(1) + a + b, {"A"}, false},
      {"ill-formed name", header(1) + encode(square("a\xFFz", 0, 1)), {"a\uFFFDz"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.put("fr_admin.bin", c.bytes);
    std::string warning;
    EXPECT_EQ(names(load_quietly(dir.at("fr.idx"), &warning)), c.regions);
    EXPECT_EQ(warning, c.warns ? "warning: fr_admin.bin next to \"" + dir.at("fr.idx") +
                                     "\" is not a WOFA admin sidecar — regions disabled\n"
                               : "");
  }
}

TEST(LoadAdmin, MisnamedSidecarIsReportedNotLoaded) {
  const std::string valid = header(1) + encode(square("A", 0, 10));
  struct Case {
    const char* sheet;
    std::map<std::string, std::string> files;  // "/" as content: a directory
    const char* found;                          // nullptr: no warning
  } cases[] = {
      {"de-2024.idx", {{"DE_admin.bin", valid}}, "DE_admin.bin"},
      {"de-2024.idx", {{"fr_admin.bin", valid}}, nullptr},
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sheet);
    TempDir dir;
    for (const auto& [name, content] : c.files) {
      content == "/" ? dir.mkdir(name) : void(dir.put(name, content));
    }
    std::string warning;
    EXPECT_TRUE(load_quietly(dir.at(c.sheet), &warning).empty());
    const std::string expected_name = admin_sidecar_name(c.sheet);
    EXPECT_EQ(warning, c.found == nullptr
                           ? ""
                           : "warning: \"" + dir.at(c.sheet) + "\" expected admin sidecar " +
                                 expected_name + " but it is missing; found " + c.found +
                                 " next to it — regions disabled. Rename the sidecar to match "
                                 "the sheet (release rename?).\n");
  }
}

TEST(LoadAdmin, BareFileNameReadsFromWorkingDirectoryButNeverScans) {
  TempDir dir;
  dir.put("DE_admin.bin", header(0) + "x");
  dir.put("fr_admin.bin", header(1) + encode(square("A", 0, 10)));
  const std::string previous = std::filesystem::current_path();
  ASSERT_EQ(::chdir(dir.at("").c_str()), 0);
  std::string warning;
  EXPECT_TRUE(load_quietly("de-2024.idx", &warning).empty());
  EXPECT_EQ(warning, "");
  EXPECT_EQ(names(load_quietly("fr.idx", &warning)), std::vector<std::string>{"A"});
  ASSERT_EQ(::chdir(previous.c_str()), 0);
}

TEST(AdminSidecarName, FollowsTheSheetsFileStem) {
  const std::pair<std::string, std::string> cases[] = {
      {"fr.idx", "fr_admin.bin"},         {"/data/a.b.idx", "a.b_admin.bin"},
      {".hidden", ".hidden_admin.bin"},   {"x.", "x_admin.bin"},
      {"dir.v2/noext", "noext_admin.bin"}, {"..x", "._admin.bin"},
      {"dir/fr.idx/", "fr_admin.bin"},    {"dir/fr.idx/.", "fr_admin.bin"},
      {"dir/..", "_admin.bin"},           {"/", "_admin.bin"},
      {"", "_admin.bin"},                 {"de\xFF.idx", "_admin.bin"},
  };
  for (const auto& [sheet, name] : cases) EXPECT_EQ(admin_sidecar_name(sheet), name) << sheet;
}

TEST(AdminAt, EvenOddOverAllRingsOfTheFirstMatchingRegion) {
  AdminRegion holed = square("holed", 0, 10);
  holed.rings.push_back(box_ring(2, 8));
  holed.rings.push_back({{5, 5}, {6, 6}});  // fewer than 3 points: encloses nothing
  const std::vector<AdminRegion> regions = {holed, square("under", 0, 10),
                                            square("wide", -100, 100)};
  struct Case {
    int64_t lat, lon;
    const char* region;
  } cases[] = {
      {5, 5, "under"},   // in the hole, so the next region that holds it
      {1, 1, "holed"},   {0, 5, "holed"},  // the minimum latitude edge counts
      {10, 5, "wide"},   // the maximum latitude passes the box, not the ring
      {-50, 50, "wide"}, {200, 0, nullptr},
  };
  for (const Case& c : cases) {
    const auto found = admin_at(regions, deg(c.lat), deg(c.lon));
    EXPECT_EQ(found.value_or("-"), c.region ? c.region : "-") << c.lat << "," << c.lon;
  }
  EXPECT_EQ(admin_at({}, 0, 0), std::nullopt);
}

TEST(AdminAt, ExtremeCoordinatesStaySound) {
  // A triangle across the whole i32 plane: east of the diagonal lat == lon.
  // Near its corners the crossing product needs more than 64 bits.
  const std::vector<AdminRegion> triangle = {
      {"T", {{{kMin, kMin}, {kMax, kMax}, {kMin, kMax}}}, kMin, kMin, kMax, kMax}};
  const std::vector<AdminRegion> plane = {square("all", kMin, kMax)};
  struct Case {
    const std::vector<AdminRegion>* regions;
    double lat, lon;
    const char* region;
  } cases[] = {
      {&plane, 0, 0, "all"},
      {&plane, NAN, NAN, "all"},  // NaN counts as 0
      {&plane, -INFINITY, -1e300, "all"},
      {&plane, INFINITY, 0, nullptr},  // saturates onto the maximum edge
      {&plane, 1e300, 1e300, nullptr},
      {&triangle, deg(2147480000), deg(2147483000), "T"},
      {&triangle, deg(2147480000), deg(2147470000), nullptr},
      {&triangle, deg(-2147480000), deg(-2147470000), "T"},
  };
  for (const Case& c : cases) {
    const auto found = admin_at(*c.regions, c.lat, c.lon);
    EXPECT_EQ(found.value_or("-"), c.region ? c.region : "-") << c.lat << "," << c.lon;
  }
}

TEST(SaturatingI32, TruncatesTowardZeroAndSaturates) {
  const std::pair<double, int32_t> cases[] = {
      {1.9, 1},     {-1.9, -1},     {-0.9, 0},          {NAN, 0},
      {1e300, kMax}, {-1e300, kMin}, {2147483647.9, kMax}, {-2147483648.9, kMin},
      {INFINITY, kMax}, {-INFINITY, kMin}, {-2147483647.5, -2147483647},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(saturating_i32(in), out) << in;
}

}  // namespace
}  // namespace vorlane::query
