#include "vorlane/index/sections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/le_bytes.h"

namespace vorlane::index {
namespace {

using vorlane::testing::put_le;

struct TocEntry {
  uint8_t id;
  uint64_t offset, length;
};

// A header, a table of contents and zero-filled section bytes; by default
// every required section, 4 bytes each, one after another from 300 to 348.
struct Image {
  uint8_t version = 7;
  std::optional<uint8_t> declared_count;  // defaults to the number of entries
  std::vector<TocEntry> toc;
  std::optional<size_t> size;  // defaults to 295 or the end of the last section

  Image() {
    uint64_t offset = 300;
    for (uint8_t id : {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14}) {
      toc.push_back({id, offset, 4});
      offset += 4;
    }
  }
  TocEntry& operator[](uint8_t id) {
    auto it = std::find_if(toc.begin(), toc.end(), [id](const TocEntry& e) { return e.id == id; });
    EXPECT_NE(it, toc.end()) << "no entry " << int(id);
    return it != toc.end() ? *it : toc.front();
  }
  void drop(uint8_t id) {
    std::erase_if(toc, [id](const TocEntry& e) { return e.id == id; });
  }
  std::string bytes() const {
    size_t end = 295;
    for (const auto& e : toc) {
      if (e.offset + e.length > e.offset) end = std::max<size_t>(end, e.offset + e.length);
    }
    std::string out = "VRC0";
    out += {char(version), char(declared_count.value_or(toc.size()))};
    for (const auto& e : toc) {
      out.push_back(char(e.id));
      put_le(out, e.offset, 8);
      put_le(out, e.length, 8);
    }
    out.resize(size.value_or(end), '\0');
    return out;
  }
};

Result<SectionTable> parse(const std::string& bytes) {
  return parse_sections(ByteView(std::string_view(bytes)));
}

std::string unsupported(int version) {
  return "index format version " + std::to_string(version) +
         " not supported (reader accepts v6..=v7) — rebuild the sheet with this engine";
}
std::string beyond_file(const std::string& span, int file_size) {
  return "index section " + span + " but the file is " + std::to_string(file_size) +
         " bytes — the download is truncated or the file is corrupt";
}
std::string no_entry(int id) {
  return "index required section " + std::to_string(id) +
         " has no TOC entry — file is corrupt or truncated";
}
std::string unknown_id(int id) {
  return "index TOC has unknown section id " + std::to_string(id) + " (1..=17) — file is corrupt";
}
constexpr ErrorCode kVersion = ErrorCode::unsupported_version;
const std::string kOverlap = "index sections overlap — file is corrupt";

// Where an image breaks several rules, the message shows which check runs first.
TEST(ParseSections, RejectsEachFaultWithItsMessage) {
  const struct {
    const char* name;
    void (*damage)(Image&);
    std::string message;
    ErrorCode code = ErrorCode::corrupt;
  } cases[] = {
      {"version 5", [](Image& i) { i.version = 5; }, unsupported(5), kVersion},
      {"version 8", [](Image& i) { i.version = 8; }, unsupported(8), kVersion},
      {"18 entries", [](Image& i) { i.declared_count = 18; },
       "index header declares 18 sections (max 17) — file is corrupt"},
      {"255 entries", [](Image& i) { i.declared_count = 255; },
       "index header declares 255 sections (max 17) — file is corrupt"},
      {"empty toc in a 295-byte file", [](Image& i) { i.toc.clear(), i.size = 295; }, no_entry(1)},
      {"section past the end", [](Image& i) { i.toc.push_back({15, 348, 2}), i.size = 349; },
       beyond_file("15 spans bytes 348..350", 349)},
      {"end wraps around", [](Image& i) { i[5].length = UINT64_MAX - 5, i[5].offset = 10; },
       beyond_file("5 spans bytes 10..18446744073709551615", 348)},
      {"bounds before unknown id",
       [](Image& i) {
         i.toc.insert(i.toc.begin(), {0, 300, 1});
         i.toc.push_back({200, 348, 1});
         i.size = 348;
       },
       beyond_file("200 spans bytes 348..349", 348)},
      {"bounds before repeated id",
       [](Image& i) { i.toc.push_back({3, 300, 0}), i.toc.push_back({17, 1000, 0}); },
       beyond_file("17 spans bytes 1000..1000", 348)},
      {"id 0", [](Image& i) { i.toc.push_back({0, 0, 0}); }, unknown_id(0)},
      {"id 18", [](Image& i) { i.toc.push_back({18, 0, 0}); }, unknown_id(18)},
      {"id twice, even empty", [](Image& i) { i.toc.push_back({5, 0, 0}); },
       "index TOC declares section 5 twice — file is corrupt"},
      {"unknown id before overlap",
       [](Image& i) { i.toc.push_back({99, 0, 0}), i[2].offset = 300; }, unknown_id(99)},
      {"one shared byte", [](Image& i) { i[2].offset = 303; }, kOverlap},
      {"one section inside another", [](Image& i) { i.toc.push_back({16, 301, 2}); }, kOverlap},
      {"overlap before missing entry", [](Image& i) { i.drop(1), i[3].offset = 304; }, kOverlap},
      {"entry pass before non-empty pass", [](Image& i) { i[1].length = 0, i.drop(14); },
       no_entry(14)},
      {"13 needs an entry", [](Image& i) { i.drop(13); }, no_entry(13)},
      {"first empty in required order", [](Image& i) { i[14].length = 0, i[2].length = 0; },
       "index required section 2 is missing or empty — file is corrupt or truncated"},
      {"12 must be non-empty", [](Image& i) { i[12].length = 0; },
       "index required section 12 is missing or empty — file is corrupt or truncated"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Image img;
    c.damage(img);
    auto result = parse(img.bytes());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message(), c.message);
    EXPECT_EQ(result.error().code(), c.code);
  }

  const std::string full = Image().bytes();
  for (const std::string& bytes : {std::string(), full.substr(0, 294), "VRC1" + full.substr(4)}) {
    auto result = parse(bytes);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message(), "not a VRC0 index file");
  }
}

TEST(ParseSections, AcceptsLayoutsAtTheEdgesOfTheRules) {
  const std::pair<const char*, void (*)(Image&)> cases[] = {
      {"version 6", [](Image& i) { i.version = 6; }},
      {"13 empty", [](Image& i) { i[13].length = 0; }},
      {"16 with content", [](Image& i) { i.toc.push_back({16, 348, 7}); }},
      {"empty section inside another", [](Image& i) { i.toc.push_back({17, 302, 0}); }},
      {"section over the header", [](Image& i) { i.toc.push_back({11, 0, 49}); }},
      {"all 17 entries, empty ones at the end of the file",
       [](Image& i) {
         for (uint8_t id : {10, 11, 15, 16, 17}) i.toc.push_back({id, 348, 0});
       }},
      {"sections in reverse order", [](Image& i) { std::reverse(i.toc.begin(), i.toc.end()); }},
  };
  for (const auto& [name, adjust] : cases) {
    Image img;
    adjust(img);
    auto result = parse(img.bytes());
    EXPECT_TRUE(result) << name << ": " << result.error().message();
  }
}

TEST(ParseSections, TableHoldsEachSectionByIdAndAbsentOnesAreEmpty) {
  Image img;
  img.toc.push_back({17, 348, 3});
  std::string bytes = img.bytes();
  bytes[348] = 'a';
  bytes[350] = 'c';
  const ByteView file(std::string_view{bytes});

  auto table = parse_sections(file);
  ASSERT_TRUE(table) << table.error().message();
  EXPECT_EQ((*table)[0].offset + (*table)[0].length, 0u);
  EXPECT_EQ((*table)[commune_name_fst].offset, 300u);
  EXPECT_EQ((*table)[commune_coords].offset, 344u);
  EXPECT_EQ((*table)[commune_coords].length, 4u);

  ByteView meta = section(file, *table, meta_section);
  EXPECT_EQ(meta.data(), file.data() + 348);
  EXPECT_EQ(meta.as_string_view(), std::string_view("a\0c", 3));
  for (int absent : {int(rules_section), 0, 18}) EXPECT_TRUE(section(file, *table, absent).empty());
  // A table applied to a shorter file than it was proved on yields nothing.
  EXPECT_TRUE(section(ByteView(file.data(), 349), *table, meta_section).empty());
}

}  // namespace
}  // namespace vorlane::index
