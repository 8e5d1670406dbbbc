// Helpers shared by the fst tests: golden maps and their key lists, rewriting
// a map into an older format version, re-sealing a damaged map's checksum,
// and a brute-force model of ordered queries over a key list.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/key_list.h"
#include "support/test_data.h"
#include "vorlane/base/byte_view.h"
#include "vorlane/fst/crc32c.h"
#include "vorlane/fst/map.h"

namespace vorlane::fst::testing {

using Bytes = std::vector<uint8_t>;
using Entries = vorlane::testing::KeyList;
using Bound = std::optional<std::string>;

inline ByteView view(const Bytes& b) { return ByteView(b.data(), b.size()); }
inline ByteView view(const std::string& s) { return ByteView(std::string_view(s)); }
inline std::optional<ByteView> opt_view(const Bound& s) {
  return s ? std::optional<ByteView>(view(*s)) : std::nullopt;
}

// A key as gtest prints strings, escapes and all.
inline std::string printable(const std::string& s) { return ::testing::PrintToString(s); }

inline Bytes golden_bytes(const std::string& name) {
  return vorlane::testing::read_file(vorlane::testing::data_path("fst-golden/" + name + ".fst"));
}
inline Entries golden_entries(const std::string& name) {
  return vorlane::testing::read_key_list("fst-golden/" + name + ".tsv");
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
inline Entries brute_force(const Entries& all, const Bound& ge, const Bound& lt,
                           const std::function<bool(const std::string&)>& keep = {}) {
  Entries out;
  for (const auto& e : all) {
    if ((!ge || e.first >= *ge) && (!lt || e.first < *lt) && (!keep || keep(e.first))) {
      out.push_back(e);
    }
  }
  return out;
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
