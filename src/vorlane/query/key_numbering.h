// Numbering the distinct keys a builder meets, many times each, in the
// order they first come. Internal to the query module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorlane::query {

// A flat open-addressing table sized once for at most `max_keys` keys and
// kept at most two-thirds full, so a probe always ends. Each slot holds a
// key's id and the upper half of its hash: a probe reads a stored key only
// when the hashes agree. The caller hashes; the low bits pick the slot, so
// the hash must be well mixed.
template <typename Key>
class KeyNumbering {
 public:
  static constexpr uint32_t kAbsent = UINT32_MAX;

  explicit KeyNumbering(size_t max_keys) {
    size_t capacity = 16;
    while (capacity < max_keys + max_keys / 2) capacity *= 2;
    slots_.assign(capacity, kEmpty);
  }

  // The key's id; a new key gets the next one. Requires: fewer than
  // max_keys distinct keys added before.
  uint32_t add(const Key& key, uint64_t hash) {
    uint64_t& slot = slots_[probe(key, hash)];
    if (slot == kEmpty) {
      slot = (hash & kHashBits) | keys_.size();
      keys_.push_back(key);
    }
    return static_cast<uint32_t>(slot);
  }

  uint32_t find(const Key& key, uint64_t hash) const {
    const uint64_t slot = slots_[probe(key, hash)];
    return slot == kEmpty ? kAbsent : static_cast<uint32_t>(slot);
  }

  size_t size() const { return keys_.size(); }
  const Key& key(uint32_t id) const { return keys_[id]; }

 private:
  static constexpr uint64_t kEmpty = UINT64_MAX;
  static constexpr uint64_t kHashBits = 0xFFFFFFFF00000000ULL;

  // The slot holding the key, or the empty slot where it belongs.
  size_t probe(const Key& key, uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      const uint64_t slot = slots_[at];
      if (slot == kEmpty) return at;
      if ((slot & kHashBits) == (hash & kHashBits) && keys_[static_cast<uint32_t>(slot)] == key) {
        return at;
      }
    }
  }

  std::vector<uint64_t> slots_;  // upper hash bits | id, or kEmpty
  std::vector<Key> keys_;
};

}  // namespace vorlane::query
