#include "vorlane/index/sections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorlane::index {
namespace {

struct TocEntry {
  uint8_t id;
  uint64_t offset;
  uint64_t length;
};

// A header, a table of contents and zero-filled section bytes.
struct Image {
  uint8_t version = 7;
  std::optional<uint8_t> declared_count;  // defaults to the number of entries
  std::vector<TocEntry> toc;
  std::optional<size_t> size;  // defaults to 295 or the end of the last section

  std::vector<uint8_t> bytes() const {
    size_t n = 295;
    for (const auto& e : toc) {
      if (e.offset + e.length > e.offset) n = std::max<size_t>(n, e.offset + e.length);
    }
    std::vector<uint8_t> out(size.value_or(n), 0);
    const uint8_t head[6] = {'V', 'R', 'C', '0', version,
                             declared_count.value_or(static_cast<uint8_t>(toc.size()))};
    std::copy(head, head + 6, out.begin());
    for (size_t i = 0; i < toc.size(); ++i) {
      uint8_t* p = out.data() + 6 + 17 * i;
      p[0] = toc[i].id;
      for (int b = 0; b < 8; ++b) {
        p[1 + b] = static_cast<uint8_t>(toc[i].offset >> (8 * b));
        p[9 + b] = static_cast<uint8_t>(toc[i].length >> (8 * b));
      }
    }
    return out;
  }
};

constexpr int kRequired[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14};

// Every required section, 4 bytes each, laid out one after another from 300.
Image valid_image() {
  Image img;
  uint64_t offset = 300;
  for (int id : kRequired) {
    img.toc.push_back({static_cast<uint8_t>(id), offset, 4});
    offset += 4;
  }
  return img;
}

TocEntry& entry(Image& img, uint8_t id) {
  for (auto& e : img.toc) {
    if (e.id == id) return e;
  }
  ADD_FAILURE() << "no entry " << int(id);
  return img.toc.front();
}

void drop(Image& img, uint8_t id) {
  std::erase_if(img.toc, [id](const TocEntry& e) { return e.id == id; });
}

Result<SectionTable> parse(const std::vector<uint8_t>& bytes) {
  return parse_sections(ByteView(bytes.data(), bytes.size()));
}

struct FailureCase {
  const char* name;
  void (*damage)(Image&);
  const char* message;
  ErrorCode code = ErrorCode::corrupt;
};

TEST(ParseSections, RejectsEachFaultWithItsMessage) {
  const FailureCase cases[] = {
      {"version 5", [](Image& i) { i.version = 5; },
       "index format version 5 not supported (reader accepts v6..=v7) — rebuild the sheet with "
       "this engine",
       ErrorCode::unsupported_version},
      {"version 8", [](Image& i) { i.version = 8; },
       "index format version 8 not supported (reader accepts v6..=v7) — rebuild the sheet with "
       "this engine",
       ErrorCode::unsupported_version},
      {"18 entries", [](Image& i) { i.declared_count = 18; },
       "index header declares 18 sections (max 17) — file is corrupt"},
      {"255 entries", [](Image& i) { i.declared_count = 255; },
       "index header declares 255 sections (max 17) — file is corrupt"},
      {"empty toc in a 295-byte file",
       [](Image& i) {
         i.toc.clear();
         i.size = 295;
       },
       "index required section 1 has no TOC entry — file is corrupt or truncated"},
      {"section past the end", [](Image& i) { i.toc.push_back({15, 348, 2}); i.size = 349; },
       "index section 15 spans bytes 348..350 but the file is 349 bytes — the download is "
       "truncated or the file is corrupt"},
      {"end wraps around",
       [](Image& i) { entry(i, 5).length = UINT64_MAX - 5; entry(i, 5).offset = 10; },
       "index section 5 spans bytes 10..18446744073709551615 but the file is 348 bytes — the "
       "download is truncated or the file is corrupt"},
      {"bounds before unknown id",
       [](Image& i) {
         i.toc.insert(i.toc.begin(), {0, 300, 1});
         i.toc.push_back({200, 348, 1});
         i.size = 348;
       },
       "index section 200 spans bytes 348..349 but the file is 348 bytes — the download is "
       "truncated or the file is corrupt"},
      {"bounds before repeated id",
       [](Image& i) {
         i.toc.push_back({3, 300, 0});
         i.toc.push_back({17, 1000, 0});
       },
       "index section 17 spans bytes 1000..1000 but the file is 348 bytes — the download is "
       "truncated or the file is corrupt"},
      {"id 0", [](Image& i) { i.toc.push_back({0, 0, 0}); },
       "index TOC has unknown section id 0 (1..=17) — file is corrupt"},
      {"id 18", [](Image& i) { i.toc.push_back({18, 0, 0}); },
       "index TOC has unknown section id 18 (1..=17) — file is corrupt"},
      {"id twice, even empty", [](Image& i) { i.toc.push_back({5, 0, 0}); },
       "index TOC declares section 5 twice — file is corrupt"},
      {"unknown id before overlap",
       [](Image& i) {
         entry(i, 2).offset = 300;
         i.toc.push_back({99, 0, 0});
       },
       "index TOC has unknown section id 99 (1..=17) — file is corrupt"},
      {"one shared byte", [](Image& i) { entry(i, 2).offset = 303; },
       "index sections overlap — file is corrupt"},
      {"one section inside another",
       [](Image& i) {
         i.toc.push_back({16, 301, 2});
       },
       "index sections overlap — file is corrupt"},
      {"overlap before missing entry",
       [](Image& i) {
         drop(i, 1);
         entry(i, 3).offset = 304;
       },
       "index sections overlap — file is corrupt"},
      {"entry pass before non-empty pass",
       [](Image& i) {
         entry(i, 1).length = 0;
         drop(i, 14);
       },
       "index required section 14 has no TOC entry — file is corrupt or truncated"},
      {"13 needs an entry", [](Image& i) { drop(i, 13); },
       "index required section 13 has no TOC entry — file is corrupt or truncated"},
      {"first empty in required order",
       [](Image& i) {
         entry(i, 14).length = 0;
         entry(i, 2).length = 0;
       },
       "index required section 2 is missing or empty — file is corrupt or truncated"},
      {"12 must be non-empty", [](Image& i) { entry(i, 12).length = 0; },
       "index required section 12 is missing or empty — file is corrupt or truncated"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Image img = valid_image();
    c.damage(img);
    auto result = parse(img.bytes());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message(), c.message);
    EXPECT_EQ(result.error().code(), c.code);
  }
}

TEST(ParseSections, RejectsShortFilesAndWrongMagic) {
  std::vector<uint8_t> full = valid_image().bytes();
  std::vector<uint8_t> short_file(full.begin(), full.begin() + 294);
  std::vector<uint8_t> bad_magic = full;
  bad_magic[3] = '1';
  for (const auto& bytes : {std::vector<uint8_t>{}, short_file, bad_magic}) {
    auto result = parse(bytes);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message(), "not a VRC0 index file");
  }
}

TEST(ParseSections, AcceptsLayoutsAtTheEdgesOfTheRules) {
  const std::pair<const char*, void (*)(Image&)> cases[] = {
      {"version 6", [](Image& i) { i.version = 6; }},
      {"version 7", [](Image&) {}},
      {"13 empty", [](Image& i) { entry(i, 13).length = 0; }},
      {"16 with content", [](Image& i) { i.toc.push_back({16, 348, 7}); }},
      {"empty section inside another", [](Image& i) { i.toc.push_back({17, 302, 0}); }},
      {"empty section at the end of the file", [](Image& i) { i.toc.push_back({15, 348, 0}); }},
      {"section over the header", [](Image& i) { i.toc.push_back({11, 0, 49}); }},
      {"all 17 entries",
       [](Image& i) {
         for (uint8_t id : {10, 11, 15, 16, 17}) i.toc.push_back({id, 348, 0});
       }},
      {"sections in reverse order", [](Image& i) { std::reverse(i.toc.begin(), i.toc.end()); }},
  };
  for (const auto& [name, adjust] : cases) {
    SCOPED_TRACE(name);
    Image img = valid_image();
    adjust(img);
    auto result = parse(img.bytes());
    EXPECT_TRUE(result) << result.error().message();
  }
}

TEST(ParseSections, TableHoldsEachSectionByIdAndAbsentOnesAreEmpty) {
  Image img = valid_image();
  img.toc.push_back({17, 348, 3});
  std::vector<uint8_t> bytes = img.bytes();
  bytes[348] = 'a';
  bytes[350] = 'c';
  ByteView file(bytes.data(), bytes.size());

  auto table = parse_sections(file);
  ASSERT_TRUE(table) << table.error().message();
  EXPECT_EQ((*table)[0].offset, 0u);
  EXPECT_EQ((*table)[0].length, 0u);
  EXPECT_EQ((*table)[commune_name_fst].offset, 300u);
  EXPECT_EQ((*table)[commune_coords].offset, 344u);
  EXPECT_EQ((*table)[commune_coords].length, 4u);

  ByteView meta = section(file, *table, meta_section);
  EXPECT_EQ(meta.data(), bytes.data() + 348);
  EXPECT_EQ(meta.as_string_view(), std::string_view("a\0c", 3));
  EXPECT_TRUE(section(file, *table, rules_section).empty());
  EXPECT_TRUE(section(file, *table, 0).empty());
  EXPECT_TRUE(section(file, *table, 18).empty());
  // A table applied to a shorter file than it was proved on yields nothing.
  EXPECT_TRUE(section(ByteView(bytes.data(), 349), *table, meta_section).empty());
}

}  // namespace
}  // namespace vorlane::index
