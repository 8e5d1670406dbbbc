// The header and table of contents of an index file (address sheet or POI
// layer): where each of the numbered sections lies inside the file.
#pragma once

#include <array>
#include <cstdint>

#include "vorlane/base/byte_view.h"
#include "vorlane/base/result.h"

namespace vorlane::index {

// Section ids as they appear in the table of contents.
enum SectionId : int {
  commune_name_fst = 1,
  communes_meta = 2,
  commune_postings = 3,
  street_key_fst = 4,
  streets_meta = 5,
  house_data = 6,
  names = 7,
  house_suffixes = 8,
  reverse_grid = 9,
  sec_parser = 10,   // token-labelling model, optional
  sec_rank = 11,     // ranking model, optional
  words_fst = 12,
  word_postings = 13,
  commune_coords = 14,
  rules_section = 15,  // optional
  unused_16 = 16,      // accepted in the table of contents, never read
  meta_section = 17,   // optional
};

inline constexpr int kMaxSectionId = 17;

// Versions of the layout this reader understands.
inline constexpr uint8_t kMinFormatVersion = 6;
inline constexpr uint8_t kMaxFormatVersion = 7;

struct SectionRange {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// Indexed by section id; slot 0 is never used. A section without a table of
// contents entry is (0, 0), which reads as an empty section.
using SectionTable = std::array<SectionRange, kMaxSectionId + 1>;

// Validates the header and table of contents of a whole file and returns
// where each section lies. On success every range lies inside `file`, the
// required sections are present and non-empty (section 13 may be empty) and
// no two non-empty sections overlap. Error messages name no file; the caller
// adds that context.
Result<SectionTable> parse_sections(ByteView file);

// The bytes of section `id` (an empty view for an absent section).
// Requires: `table` came from parse_sections over this same `file`, which
// proved the range; an id outside 1..17 or a range the file does not hold
// (a caller mixing up files) still yields an empty view, never a wild one.
inline ByteView section(ByteView file, const SectionTable& table, int id) {
  if (id < 1 || id > kMaxSectionId) return ByteView();
  const SectionRange& r = table[static_cast<size_t>(id)];
  auto view = file.subview(r.offset, r.length);
  return view ? *view : ByteView();
}

}  // namespace vorlane::index
