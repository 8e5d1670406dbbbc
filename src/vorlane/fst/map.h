// A read-only map from byte strings to u64 values, stored in the serialised
// fst format (versions 1 to 3), read in place from caller-owned bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "vorlane/base/byte_view.h"
#include "vorlane/base/result.h"
#include "vorlane/fst/automaton.h"
#include "vorlane/fst/node.h"
#include "vorlane/fst/stream.h"

namespace vorlane::fst {

// A Map is immutable and small (copy it freely); its const members may be
// called from several threads at once. Streams are not shared.
class Map {
 public:
  // Opens the map stored in exactly `bytes` (the map's own slice; addresses
  // inside it count from its first byte). The bytes are not copied: the
  // caller keeps them alive, unchanged, for as long as the Map or any stream
  // from it is used.
  //
  // Every reachable node is decoded and checked here, and a version-3 map's
  // checksum is verified, so a damaged map fails now and never later.
  // Errors (no file name; callers add that context): ErrorCode::corrupt, or
  // ErrorCode::unsupported_version for a version other than 1, 2 or 3.
  static Result<Map> open(ByteView bytes);

  // Number of keys, as recorded in the footer.
  uint64_t size() const { return key_count_; }
  uint32_t version() const { return image_.version; }

  // Where a walk down the map from the root stopped: the node reached and
  // the output summed on the way. Only valid for the map that made it.
  struct Position {
    uint64_t addr = 0;
    uint64_t sum = 0;
  };
  Position root() const { return Position{root_, 0}; }

  // The position reached from `from` along the bytes of `path`; nothing when
  // the map holds no key that continues the path.
  std::optional<Position> descend(ByteView path, Position from) const;
  std::optional<Position> descend(std::string_view path, Position from) const {
    return descend(ByteView(path), from);
  }
  // The value of the key whose path ends at `at`, if that path is a key.
  std::optional<uint64_t> value_at(Position at) const;

  // The value of `key`, if it is in the map.
  std::optional<uint64_t> get(ByteView key) const {
    const std::optional<Position> at = descend(key, root());
    return at ? value_at(*at) : std::nullopt;
  }
  std::optional<uint64_t> get(std::string_view key) const { return get(ByteView(key)); }

  // Every key in order.
  Stream<AlwaysMatch> stream() const { return search(AlwaysMatch{}); }

  // The keys k with ge <= k < lt, in order; an absent bound is open. The
  // bounds are copied: they need not outlive the call.
  Stream<AlwaysMatch> range(std::optional<ByteView> ge, std::optional<ByteView> lt) const {
    return search(AlwaysMatch{}, ge, lt);
  }

  // The keys accepted by `aut` (and within [ge, lt) when given), in order.
  // The stream keeps its own copy of the automaton; for a large automaton
  // pass a cheap handle type.
  template <Automaton A>
  Stream<A> search(A aut, std::optional<ByteView> ge = std::nullopt,
                   std::optional<ByteView> lt = std::nullopt) const {
    return Stream<A>(image_, root_, std::move(aut), ge, lt);
  }

 private:
  Map(internal::Image image, uint64_t root, uint64_t key_count)
      : image_(image), root_(root), key_count_(key_count) {}

  internal::Image image_;
  uint64_t root_ = 0;
  uint64_t key_count_ = 0;
};

}  // namespace vorlane::fst
