// Validates the fixed header and the table of contents of an index file and
// records where each section lies. The file must be at least as long as a
// header with a full table of contents, so every entry the header can declare
// is readable once that length is checked. Offsets and lengths come straight
// from the file: each end is computed with an overflow check before it is
// compared with the file size.
#include "vorlane/index/sections.h"

#include <algorithm>
#include <string>

namespace vorlane::index {
namespace {

constexpr char kMagic[4] = {'V', 'R', 'C', '0'};

// magic (4) + version (1) + entry count (1)
constexpr size_t kHeaderSize = 6;
// id (1) + offset (8) + length (8), packed
constexpr size_t kTocEntrySize = 17;
// A header with a full table of contents; no valid file is shorter,
// whatever entry count it declares.
constexpr size_t kMinFileSize = kHeaderSize + kTocEntrySize * kMaxSectionId;
static_assert(kMinFileSize == 295);

constexpr uint64_t kSaturatedEnd = UINT64_MAX;

// Required sections, in the order their absence is reported. Section 13
// (word postings) must have an entry but may be empty.
constexpr int kRequiredEntries[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14};
constexpr int kRequiredNonEmpty[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 14};

struct TocEntry {
  uint8_t id;
  uint64_t offset;
  uint64_t length;
};

// Requires: file.size() >= kMinFileSize and i < kMaxSectionId, so the entry
// lies inside the file.
TocEntry read_toc_entry(ByteView file, size_t i) {
  const uint8_t* p = file.data() + kHeaderSize + i * kTocEntrySize;
  return TocEntry{p[0], load_le<uint64_t>(p + 1), load_le<uint64_t>(p + 9)};
}

bool has_magic(ByteView file) {
  return std::equal(std::begin(kMagic), std::end(kMagic), file.data(),
                    [](char m, uint8_t b) { return static_cast<uint8_t>(m) == b; });
}

std::string str(uint64_t n) { return std::to_string(n); }

// Every entry must lie inside the file; checked for all entries before any id
// is looked at, so a truncated file is reported as such even when its table
// of contents is also odd.
Result<void> check_entry_bounds(const TocEntry& e, uint64_t file_size) {
  uint64_t end = 0;
  const bool wrapped = __builtin_add_overflow(e.offset, e.length, &end);
  if (wrapped || end > file_size) {
    return corrupt("index section " + str(e.id) + " spans bytes " + str(e.offset) + ".." +
                   str(wrapped ? kSaturatedEnd : end) + " but the file is " + str(file_size) +
                   " bytes — the download is truncated or the file is corrupt");
  }
  return ok();
}

struct ByteRange {
  uint64_t start;
  uint64_t end;
};

// Non-empty sections may touch but not share a byte. Empty sections are not
// passed in, and nothing here keeps sections clear of the header.
Result<void> check_no_overlap(ByteRange* ranges, size_t count) {
  std::sort(ranges, ranges + count, [](const ByteRange& a, const ByteRange& b) {
    return a.start != b.start ? a.start < b.start : a.end < b.end;
  });
  for (size_t i = 1; i < count; ++i) {
    if (ranges[i - 1].end > ranges[i].start) {
      return corrupt("index sections overlap — file is corrupt");
    }
  }
  return ok();
}

}  // namespace

Result<SectionTable> parse_sections(ByteView file) {
  if (file.size() < kMinFileSize || !has_magic(file)) {
    return corrupt("not a VRC0 index file");
  }
  const uint8_t version = file.data()[4];
  if (version < kMinFormatVersion || version > kMaxFormatVersion) {
    return Error(ErrorCode::unsupported_version,
                 "index format version " + str(version) + " not supported (reader accepts v" +
                     str(kMinFormatVersion) + "..=v" + str(kMaxFormatVersion) +
                     ") — rebuild the sheet with this engine");
  }
  const size_t entry_count = file.data()[5];
  if (entry_count > kMaxSectionId) {
    return corrupt("index header declares " + str(entry_count) + " sections (max " +
                   str(kMaxSectionId) + ") — file is corrupt");
  }

  SectionTable table{};
  for (size_t i = 0; i < entry_count; ++i) {
    const TocEntry e = read_toc_entry(file, i);
    VORLANE_TRY(check_entry_bounds(e, file.size()));
    if (e.id >= 1 && e.id <= kMaxSectionId) table[e.id] = SectionRange{e.offset, e.length};
  }

  std::array<bool, kMaxSectionId + 1> present{};
  std::array<bool, kMaxSectionId + 1> non_empty{};
  std::array<ByteRange, kMaxSectionId> ranges{};
  size_t range_count = 0;
  for (size_t i = 0; i < entry_count; ++i) {
    const TocEntry e = read_toc_entry(file, i);
    if (e.id == 0 || e.id > kMaxSectionId) {
      return corrupt("index TOC has unknown section id " + str(e.id) + " (1..=" +
                     str(kMaxSectionId) + ") — file is corrupt");
    }
    if (present[e.id]) {
      return corrupt("index TOC declares section " + str(e.id) + " twice — file is corrupt");
    }
    present[e.id] = true;
    if (e.length != 0) {
      non_empty[e.id] = true;
      // The bounds pass proved offset + length does not wrap.
      ranges[range_count++] = ByteRange{e.offset, e.offset + e.length};
    }
  }
  VORLANE_TRY(check_no_overlap(ranges.data(), range_count));

  for (int id : kRequiredEntries) {
    if (!present[id]) {
      return corrupt("index required section " + str(id) +
                     " has no TOC entry — file is corrupt or truncated");
    }
  }
  for (int id : kRequiredNonEmpty) {
    if (!non_empty[id]) {
      return corrupt("index required section " + str(id) +
                     " is missing or empty — file is corrupt or truncated");
    }
  }
  return table;
}

}  // namespace vorlane::index
