// Builds small address sheets in memory for the query tests: communes,
// streets with their house lists, suffixes, the reverse grid, an optional
// ranking model and metadata, assembled into header + table of contents +
// sections and opened through the real validating opener. The street and
// word dictionaries are the golden empty fst map; the commune-name
// dictionary is too unless a map image is given.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/le_bytes.h"
#include "support/test_data.h"
#include "vorlane/base/mapped_file.h"
#include "vorlane/query/index.h"

namespace vorlane::query::testing {

// Streets and houses sit around this point, the middle of a grid cell.
inline constexpr double kLat = 48.005;
inline constexpr double kLon = 2.005;

struct TestHouse {
  uint32_t number = 0;
  uint32_t suffix_id = 0;
  double lat = 0.0;  // degrees
  double lon = 0.0;
  uint32_t postcode_index = 0;  // 0 = none, i = the street's house_postcodes[i - 1]
};

struct TestStreet {
  std::string name;
  double lat = kLat;
  double lon = kLon;
  std::vector<TestHouse> houses;  // ascending numbers
  uint32_t commune = 0;
  uint32_t postcode = 0;                     // numeric postcode
  std::optional<std::string> postcode_text;  // street postcode text
  // Non-empty: the street carries per-house postcodes with this dictionary.
  std::vector<std::string> house_postcodes;
  bool per_house_field = false;          // postcode field all ones even without a dictionary
  std::optional<std::string> raw_list;   // replaces the encoded house list
  std::optional<uint32_t> house_count;   // overrides the number of houses
};

struct TestCommune {
  std::string name;
  uint32_t weight = 1;
  double lat = 0.0;
  double lon = 0.0;
};

using vorlane::testing::put_le;

inline void put_varint(std::string& out, uint64_t v) {
  for (; v >= 0x80; v >>= 7) out.push_back(static_cast<char>(v | 0x80));
  out.push_back(static_cast<char>(v));
}

inline std::string varints(std::initializer_list<uint64_t> values) {
  std::string out;
  for (uint64_t v : values) put_varint(out, v);
  return out;
}

inline int32_t e7(double degrees) { return static_cast<int32_t>(std::llround(degrees * 1e7)); }

inline uint64_t zigzag(int64_t v) {
  return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}

// The grid key of a point, as the reverse search computes it.
inline uint64_t cell_key(double lat, double lon) {
  const auto idx = [](double v, int64_t max) {
    return std::clamp(static_cast<int64_t>(std::floor(v / 0.01)), int64_t{0}, max);
  };
  return static_cast<uint64_t>(idx(lat + 90.0, 17999)) * 36000 +
         static_cast<uint64_t>(idx(lon + 180.0, 35999));
}

// House `number` `north_m` and `east_m` metres from (kLat, kLon) on the
// reverse search's flat projection.
inline TestHouse house(uint32_t number, double north_m = 0.0, uint32_t suffix_id = 0,
                       uint32_t postcode_index = 0, double east_m = 0.0) {
  const double c = std::cos(kLat * 0.017453292519943295);
  return {number, suffix_id, kLat + north_m / 111320.0, kLon + east_m / (111320.0 * c),
          postcode_index};
}

inline TestStreet street(std::string name, std::vector<TestHouse> houses) {
  TestStreet s;
  s.name = std::move(name);
  s.houses = std::move(houses);
  return s;
}

struct SheetBuilder {
  uint8_t version = 7;
  std::vector<TestCommune> communes{{"testville", 10, 48.0, 2.0}};
  std::vector<TestStreet> streets;
  std::vector<std::string> suffixes;  // suffix ids 1..n
  // Cell key -> street ids; without it every street is filed under the
  // cells of its point and of its houses.
  std::optional<std::map<uint64_t, std::vector<uint32_t>>> grid;
  std::optional<std::pair<float, std::array<float, 10>>> rank_model;
  std::vector<uint32_t> commune_postings{0};
  std::optional<std::string> commune_name_fst;  // fst map image in place of the empty one
  std::optional<std::string> street_key_fst;    // likewise for the street-key dictionary
  std::vector<std::pair<std::string, std::string>> meta;  // none: no metadata section
  std::optional<std::string> raw_grid_cells;                // replaces the cell records
  struct RulesEntry {
    uint8_t kind;
    std::string a, b;
  };
  std::vector<RulesEntry> rules;  // none: no rules section

  std::string bytes() const {
    std::string names(1, '\0');  // offset 0 holds the empty text
    const auto add_name = [&](const std::string& s) {
      const uint32_t at = static_cast<uint32_t>(names.size());
      names += static_cast<char>(s.size()) + s;
      return at;
    };
    std::string communes_meta, coords;
    for (size_t i = 0; i < communes.size(); ++i) {
      std::string code = "C" + std::to_string(i);
      code.resize(8, '\0');
      communes_meta += code;
      put_le(communes_meta, add_name(communes[i].name), 4);
      put_le(communes_meta, communes[i].weight, 4);
      put_le(coords, uint32_t(e7(communes[i].lat)), 4);
      put_le(coords, uint32_t(e7(communes[i].lon)), 4);
    }
    std::string streets_meta, house_data;
    for (const TestStreet& s : streets) {
      const uint64_t list_offset = house_data.size();
      uint32_t postcode_field = s.postcode_text ? add_name(*s.postcode_text) : 0;
      if (!s.house_postcodes.empty() || s.per_house_field) postcode_field = kPerHousePostcodes;
      if (s.raw_list) {
        house_data += *s.raw_list;
      } else {
        if (!s.house_postcodes.empty()) put_varint(house_data, s.house_postcodes.size());
        for (const std::string& pc : s.house_postcodes) put_le(house_data, add_name(pc), 4);
        uint32_t previous = 0;
        for (const TestHouse& h : s.houses) {
          put_varint(house_data, h.number - previous);
          previous = h.number;
          put_varint(house_data, h.suffix_id);
          put_varint(house_data, zigzag(int64_t{e7(h.lat)} - e7(s.lat)));
          put_varint(house_data, zigzag(int64_t{e7(h.lon)} - e7(s.lon)));
          if (!s.house_postcodes.empty()) put_varint(house_data, h.postcode_index);
        }
      }
      for (uint32_t v : {uint32_t(e7(s.lat)), uint32_t(e7(s.lon)), s.commune, s.postcode,
                         add_name(s.name)}) {
        put_le(streets_meta, v, 4);
      }
      put_le(streets_meta, list_offset, 8);
      put_le(streets_meta, s.house_count.value_or(static_cast<uint32_t>(s.houses.size())), 4);
      put_le(streets_meta, postcode_field, 4);
    }
    std::string suffix_section, postings, meta_section;
    put_le(suffix_section, suffixes.size(), 4);
    for (const std::string& s : suffixes) suffix_section += static_cast<char>(s.size()) + s;
    for (uint32_t c : commune_postings) put_le(postings, c, 4);
    if (!meta.empty()) put_le(meta_section, meta.size(), 4);
    for (const auto& [key, value] : meta) {
      put_le(meta_section, key.size(), 2);
      meta_section += key;
      put_le(meta_section, value.size(), 4);
      meta_section += value;
    }
    const std::vector<uint8_t> fst_bytes =
        vorlane::testing::read_file(vorlane::testing::data_path("fst-golden/empty.fst"));
    const std::string empty_fst(fst_bytes.begin(), fst_bytes.end());
    std::vector<std::pair<int, std::string>> sections = {
        {1, commune_name_fst.value_or(empty_fst)}, {2, communes_meta}, {3, postings},
        {4, street_key_fst.value_or(empty_fst)}, {5, streets_meta}, {6, house_data}, {7, names}, {8, suffix_section},
        {9, grid_section()}, {12, empty_fst}, {13, ""}, {14, coords}};
    if (rank_model) sections.emplace_back(11, rank_section());
    if (!meta_section.empty()) sections.emplace_back(17, meta_section);
    if (!rules.empty()) sections.emplace_back(15, rules_section());
    return assemble(sections);
  }

  std::unique_ptr<Index> open() const {
    auto idx = Index::open_mapped("/nonexistent-vorlane-test-dir/sheet.idx",
                                  MappedFile::from_bytes(bytes()));
    EXPECT_TRUE(idx.has_value()) << (idx ? "" : idx.error().message());
    return idx ? std::move(*idx) : nullptr;
  }

 private:
  std::string rank_section() const {
    std::string rank = "VRRK\x0A";
    const auto put_f32 = [&](float f) {
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      put_le(rank, bits, 4);
    };
    put_f32(rank_model->first);
    for (float w : rank_model->second) put_f32(w);
    return rank;
  }

  std::string rules_section() const {
    std::string out;
    put_le(out, rules.size(), 4);
    for (const RulesEntry& e : rules) {
      out += static_cast<char>(e.kind);
      for (const std::string* text : {&e.a, &e.b}) {
        put_le(out, text->size(), 2);
        out += *text;
      }
    }
    return out;
  }

  std::string grid_section() const {
    std::map<uint64_t, std::vector<uint32_t>> cells;
    if (grid) {
      cells = *grid;
    } else {
      std::map<uint64_t, std::set<uint32_t>> derived;
      for (uint32_t id = 0; id < streets.size(); ++id) {
        derived[cell_key(streets[id].lat, streets[id].lon)].insert(id);
        for (const TestHouse& h : streets[id].houses) derived[cell_key(h.lat, h.lon)].insert(id);
      }
      for (const auto& [key, ids] : derived) cells[key].assign(ids.begin(), ids.end());
    }
    std::string out, records, ids;
    for (const auto& [key, list] : cells) {
      put_le(records, key, 4);
      put_le(records, ids.size() / 4, 4);
      put_le(records, list.size(), 4);
      for (uint32_t id : list) put_le(ids, id, 4);
    }
    if (raw_grid_cells) records = *raw_grid_cells;
    put_le(out, records.size() / kGridCellSize, 4);
    return out + records + ids;
  }

  std::string assemble(const std::vector<std::pair<int, std::string>>& sections) const {
    constexpr size_t kHeader = 6 + 17 * 17;
    std::string out = "VRC0";
    out += static_cast<char>(version);
    out += static_cast<char>(sections.size());
    std::string body;
    for (const auto& [id, content] : sections) {
      out += static_cast<char>(id);
      put_le(out, kHeader + body.size(), 8);
      put_le(out, content.size(), 8);
      body += content;
    }
    out.resize(kHeader, '\0');
    return out + body;
  }
};

// The smallest sheet the opener accepts: one commune, one street, one house.
inline std::unique_ptr<Index> one_street_sheet() {
  SheetBuilder b;
  b.streets = {street("rue x", {house(1)})};
  return b.open();
}

// The contents of a file under tests/data.
inline std::string data_text(const std::string& relative) {
  const std::vector<uint8_t> bytes = vorlane::testing::read_file(vorlane::testing::data_path(relative));
  return std::string(bytes.begin(), bytes.end());
}

// The commune table, postings and commune-name dictionary of the places
// fixture (tests/data/places, written by make_places.py), with one street.
inline SheetBuilder places_fixture() {
  SheetBuilder b;
  b.communes.clear();
  b.commune_postings.clear();
  std::istringstream lines(data_text("places/sheet.tsv"));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
    if (f.size() == 5 && f[0] == "commune") {
      b.communes.push_back({f[1], uint32_t(std::stoul(f[2])), std::stod(f[3]), std::stod(f[4])});
    } else if (f.size() == 2 && f[0] == "postings") {
      std::istringstream ids(f[1]);
      for (uint32_t id; ids >> id;) b.commune_postings.push_back(id);
    } else {
      ADD_FAILURE() << "unexpected fixture line: " << line;
    }
  }
  b.commune_name_fst = data_text("places/communes.fst");
  b.streets = {street("rue test", {house(1)})};  // never read
  return b;
}

}  // namespace vorlane::query::testing
