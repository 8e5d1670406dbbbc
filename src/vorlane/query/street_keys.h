// Reading a sheet's street-key dictionary, whose keys are a street text, the
// byte 0x1F and a commune code, and whose values are street ids. Opening a
// sheet does not bound those values, so every id read here is compared with
// the street table on all 64 bits before it is narrowed: an id past the table
// is never handed out (it would otherwise become a phantom street at (0, 0)).
// Internal to the matching core.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/fst/map.h"

namespace vorlane::query {

class Index;

inline constexpr char kStreetKeySeparator = '\x1F';
// The byte after the separator: [text 0x1F, text 0x20) holds every key of
// one street text.
inline constexpr char kStreetKeySeparatorEnd = '\x20';

// The commune's code as keys hold it: the stored 8 bytes up to the first NUL
// (all 8 without one), empty when not UTF-8. Nothing for an id past the
// commune table.
std::optional<std::string_view> commune_code(const Index& index, uint64_t commune_id);

// A dictionary value as a street id; nothing when it lies past the street
// table.
std::optional<uint32_t> checked_street_id(const Index& index, uint64_t value);

// Exact lookups of (street text, commune code) keys. Each text is walked
// down the dictionary once by prepare(); find() then walks only the code
// from where the text ended, so looking many texts up under many communes
// costs one walk per text plus one short walk per (text, commune).
class StreetKeyLookup {
 public:
  explicit StreetKeyLookup(const Index& index);

  // Readies lookups under each of `street_texts`, addressed by position.
  void prepare(std::span<const std::string> street_texts);
  // The street filed under prepared text `text_index` and `code`.
  std::optional<uint32_t> find(size_t text_index, std::string_view code) const;

 private:
  const Index& index_;
  std::vector<std::optional<fst::Map::Position>> text_ends_;
};

// Every street filed under exactly one street text, any commune, in key
// order. The stream's buffers are reused from one text to the next.
class StreetTextScan {
 public:
  explicit StreetTextScan(const Index& index);

  void start(std::string_view street_text);
  // The next street id, skipping ids past the street table; nothing at the
  // end.
  std::optional<uint32_t> next();

 private:
  const Index& index_;
  fst::Stream<fst::AlwaysMatch> stream_;
  std::string lower_;
  std::string upper_;
  bool empty_ = true;  // no key holds the text: the stream is not used
};

}  // namespace vorlane::query
