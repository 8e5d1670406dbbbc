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

// Exact lookups of (street text, commune code) keys, in two steps, so that
// looking many texts up under many communes costs one walk per text plus one
// short walk per (text, commune). Where the keys of a street text continue
// after its separator; nothing when the dictionary holds no key of it.
std::optional<fst::Map::Position> street_text_end(const Index& index,
                                                  std::string_view street_text);
// The street filed under the text whose keys continue at `text_end` and
// `code`.
std::optional<uint32_t> street_under_code(const Index& index, fst::Map::Position text_end,
                                          std::string_view code);

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
