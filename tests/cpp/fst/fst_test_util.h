// Helpers shared by the fst tests: golden maps and their key lists, rewriting
// a map into an older format version, re-sealing a damaged map's checksum,
// and a brute-force model of ordered queries over a key list.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/test_data.h"
#include "vorlane/base/byte_view.h"
#include "vorlane/fst/crc32c.h"
#include "vorlane/fst/map.h"

namespace vorlane::fst::testing {

using Bytes = std::vector<uint8_t>;
using Entries = std::vector<std::pair<std::string, uint64_t>>;

inline ByteView view(const Bytes& b) { return ByteView(b.data(), b.size()); }
inline ByteView view(const std::string& s) { return ByteView(std::string_view(s)); }

inline std::string hex(std::string_view s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline std::string unhex(const std::string& h) {
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) {
    out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  }
  return out;
}

inline Bytes golden_bytes(const std::string& name) {
  return vorlane::testing::read_file(vorlane::testing::data_path("fst-golden/" + name + ".fst"));
}

// NAME.tsv: hex key, tab, decimal value; one entry a line, in key order.
inline Entries golden_entries(const std::string& name) {
  std::ifstream in(vorlane::testing::data_path("fst-golden/" + name + ".tsv"));
  EXPECT_TRUE(in.good()) << name;
  Entries out;
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    out.emplace_back(unhex(line.substr(0, tab)), std::stoull(line.substr(tab + 1)));
  }
  return out;
}

inline void store_u64(Bytes& b, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint64_t read_u64(const Bytes& b, size_t at) { return load_le<uint64_t>(b.data() + at); }

// Recomputes the checksum of a version-3 map after its bytes were changed.
inline void reseal(Bytes& b) {
  if (b.size() < 4) return;
  const uint32_t c = mask_crc32c(crc32c(ByteView(b.data(), b.size() - 4)));
  for (int i = 0; i < 4; ++i) b[b.size() - 4 + i] = static_cast<uint8_t>(c >> (8 * i));
}

// A version-3 map rewritten as version 2 or 1: the checksum is dropped and
// the version field changed; node bytes and addresses stay as they are. For
// version 1 this is only a correct map when no node has an index table.
inline Bytes as_old_version(Bytes v3, uint64_t version) {
  v3.resize(v3.size() - 4);
  store_u64(v3, 0, version);
  return v3;
}

inline Entries collect(auto& stream, size_t limit = SIZE_MAX) {
  Entries out;
  while (out.size() < limit && stream.next()) {
    out.emplace_back(std::string(stream.key_string()), stream.value());
  }
  return out;
}

// The entries of `all` (sorted) with ge <= key < lt that `keep` accepts.
inline Entries brute_force(const Entries& all, const std::optional<std::string>& ge,
                           const std::optional<std::string>& lt,
                           const std::function<bool(const std::string&)>& keep = {}) {
  Entries out;
  for (const auto& e : all) {
    if (ge && e.first < *ge) continue;
    if (lt && !(e.first < *lt)) continue;
    if (keep && !keep(e.first)) continue;
    out.push_back(e);
  }
  return out;
}

inline std::optional<ByteView> opt_view(const std::optional<std::string>& s) {
  if (!s) return std::nullopt;
  return view(*s);
}

// The opened map, or nullopt after recording a test failure.
inline std::optional<Map> open_or_fail(const Bytes& b) {
  Result<Map> m = Map::open(view(b));
  if (!m) {
    ADD_FAILURE() << m.error().message();
    return std::nullopt;
  }
  return std::move(m).value();
}

}  // namespace vorlane::fst::testing
