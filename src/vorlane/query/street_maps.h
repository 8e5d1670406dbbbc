// Maps from a key derived from a street name alone to the ids of the
// streets whose names give it, and the once-built holder an Index keeps
// them in. The layout is flat (one key arena, offsets, one id array and an
// open-addressing table of key numbers), so a map over a few hundred
// thousand streets costs a few bytes per street beyond its key text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::query {

class StreetKeyMap {
 public:
  class Builder;

  // The ids stored under `key`, ascending; empty when the key is absent.
  std::span<const uint32_t> find(std::string_view key) const;
  bool contains(std::string_view key) const { return slot_of(key) != kAbsent; }

  size_t key_count() const { return key_ends_.size(); }
  // Bytes held by the map's arrays.
  size_t memory_bytes() const;

 private:
  static constexpr size_t kAbsent = SIZE_MAX;

  std::string_view key(size_t n) const;
  size_t slot_of(std::string_view key) const;

  std::string arena_;
  std::vector<size_t> key_ends_;   // key n is arena_[key_ends_[n - 1], key_ends_[n])
  std::vector<size_t> id_ends_;    // ids of key n are ids_[id_ends_[n - 1], id_ends_[n])
  std::vector<uint32_t> ids_;
  std::vector<uint32_t> slots_;    // power-of-two table of key number + 1; 0 = free
};

// Collects (key, street id) pairs; ids must come in ascending order.
class StreetKeyMap::Builder {
 public:
  void add(std::string_view key, uint32_t street_id);
  StreetKeyMap finish() &&;

 private:
  uint32_t intern(std::string_view key);
  void grow();

  StreetKeyMap map_;  // keys and table so far; ids come in finish()
  std::vector<uint32_t> key_of_entry_;
  std::vector<uint32_t> id_of_entry_;
};

// A StreetKeyMap built on first use: concurrent first callers wait for the
// one build, and every caller afterwards gets the same map, whatever it
// would have built.
class LazyStreetKeyMap {
 public:
  template <typename Build>
  const StreetKeyMap& get(Build&& build) const {
    std::call_once(once_, [&] { map_ = build(); });
    return map_;
  }

 private:
  mutable std::once_flag once_;
  mutable StreetKeyMap map_;
};

}  // namespace vorlane::query
