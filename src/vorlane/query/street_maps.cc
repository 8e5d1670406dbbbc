// The flat street-key map. Keys are numbered in the order first seen; the
// table holds key numbers, probed linearly from the key's hash, and is kept
// at most half full. Lookups compare key texts, so the hash function decides
// only speed, never an answer.
#include "vorlane/query/street_maps.h"

#include <algorithm>
#include <functional>

namespace vorlane::query {
namespace {

constexpr size_t kMinSlots = 16;

size_t hash_key(std::string_view key) { return std::hash<std::string_view>{}(key); }

}  // namespace

std::string_view StreetKeyMap::key(size_t n) const {
  const size_t begin = n == 0 ? 0 : key_ends_[n - 1];
  return std::string_view(arena_).substr(begin, key_ends_[n] - begin);
}

size_t StreetKeyMap::slot_of(std::string_view key) const {
  if (slots_.empty()) return kAbsent;
  const size_t mask = slots_.size() - 1;
  for (size_t s = hash_key(key) & mask;; s = (s + 1) & mask) {
    if (slots_[s] == 0) return kAbsent;
    if (this->key(slots_[s] - 1) == key) return s;
  }
}

std::span<const uint32_t> StreetKeyMap::find(std::string_view key) const {
  const size_t slot = slot_of(key);
  if (slot == kAbsent) return {};
  const size_t n = slots_[slot] - 1;
  const size_t begin = n == 0 ? 0 : id_ends_[n - 1];
  return std::span<const uint32_t>(ids_).subspan(begin, id_ends_[n] - begin);
}

size_t StreetKeyMap::memory_bytes() const {
  return arena_.capacity() + key_ends_.capacity() * sizeof(size_t) +
         id_ends_.capacity() * sizeof(size_t) + ids_.capacity() * sizeof(uint32_t) +
         slots_.capacity() * sizeof(uint32_t);
}

void StreetKeyMap::Builder::grow() {
  const size_t size = std::max(kMinSlots, map_.slots_.size() * 2);
  map_.slots_.assign(size, 0);
  const size_t mask = size - 1;
  for (size_t n = 0; n < map_.key_ends_.size(); ++n) {
    size_t s = hash_key(map_.key(n)) & mask;
    while (map_.slots_[s] != 0) s = (s + 1) & mask;
    map_.slots_[s] = static_cast<uint32_t>(n + 1);
  }
}

uint32_t StreetKeyMap::Builder::intern(std::string_view key) {
  if ((map_.key_ends_.size() + 1) * 2 > map_.slots_.size()) grow();
  const size_t mask = map_.slots_.size() - 1;
  for (size_t s = hash_key(key) & mask;; s = (s + 1) & mask) {
    const uint32_t entry = map_.slots_[s];
    if (entry == 0) {
      map_.arena_.append(key);
      map_.key_ends_.push_back(map_.arena_.size());
      map_.slots_[s] = static_cast<uint32_t>(map_.key_ends_.size());
      return map_.slots_[s] - 1;
    }
    if (map_.key(entry - 1) == key) return entry - 1;
  }
}

void StreetKeyMap::Builder::add(std::string_view key, uint32_t street_id) {
  key_of_entry_.push_back(intern(key));
  id_of_entry_.push_back(street_id);
}

StreetKeyMap StreetKeyMap::Builder::finish() && {
  StreetKeyMap map = std::move(map_);
  map.arena_.shrink_to_fit();
  map.key_ends_.shrink_to_fit();
  map.id_ends_.assign(map.key_ends_.size(), 0);
  for (const uint32_t n : key_of_entry_) ++map.id_ends_[n];
  for (size_t n = 1; n < map.id_ends_.size(); ++n) map.id_ends_[n] += map.id_ends_[n - 1];
  // Filled back to front so each key's ids keep their ascending order.
  map.ids_.resize(id_of_entry_.size());
  std::vector<size_t> next = map.id_ends_;
  for (size_t e = id_of_entry_.size(); e-- > 0;) {
    map.ids_[--next[key_of_entry_[e]]] = id_of_entry_[e];
  }
  return map;
}

}  // namespace vorlane::query
