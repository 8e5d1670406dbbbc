#include "vorlane/index/meta.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vorlane::index {
namespace {

void put_le(std::string& out, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

std::string count(uint32_t n) {
  std::string out;
  put_le(out, n, 4);
  return out;
}

std::string pair(const std::string& key, const std::string& value) {
  std::string out;
  put_le(out, key.size(), 2);
  out += key;
  put_le(out, value.size(), 4);
  out += value;
  return out;
}

std::optional<MetaEntries> decode(const std::string& bytes) {
  return decode_meta(ByteView(bytes));
}

TEST(DecodeMeta, ReturnsEntriesInFileOrder) {
  const std::string valid = count(3) + pair("country", "de") + pair("layer", "addresses") +
                            pair("country", "at");
  const MetaEntries expected = {{"country", "de"}, {"layer", "addresses"}, {"country", "at"}};
  EXPECT_EQ(decode(valid), expected);
  EXPECT_EQ(decode(valid + "trailing \xFF bytes"), expected);
  EXPECT_EQ(decode(count(1) + pair("", "")), (MetaEntries{{"", ""}}));
  EXPECT_EQ(decode(count(1) + pair("名前", "Köln")), (MetaEntries{{"名前", "Köln"}}));
  EXPECT_EQ(decode(count(0)), MetaEntries{});
  EXPECT_EQ(decode(count(0) + "junk"), MetaEntries{});
}

TEST(DecodeMeta, CountLimitIsInclusive) {
  std::string at_limit = count(1024);
  for (int i = 0; i < 1024; ++i) at_limit += pair("k", std::to_string(i));
  auto decoded = decode(at_limit);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->size(), 1024u);
  EXPECT_EQ(decoded->back().second, "1023");

  std::string over_limit = count(1025);
  for (int i = 0; i < 1025; ++i) over_limit += pair("k", "v");
  EXPECT_EQ(decode(over_limit), std::nullopt);
}

TEST(DecodeMeta, MalformedSectionsYieldNothing) {
  const std::string first = pair("country", "de");
  const std::string second = pair("layer", "poi");
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"three bytes", std::string("\0\0\0", 3)},
      {"huge count", count(UINT32_MAX)},
      {"count beyond the entries", count(2) + first},
      {"inside second key length", count(2) + first + second.substr(0, 1)},
      {"inside second key", count(2) + first + second.substr(0, 4)},
      {"inside second value length", count(2) + first + second.substr(0, 9)},
      {"inside second value", count(2) + first + second.substr(0, second.size() - 1)},
      {"key length past the end", count(1) + std::string("\xFF\xFF", 2) + "abc"},
      {"value length past the end", count(1) + pair("k", "").substr(0, 3) + "\xFF\xFF\xFF\xFF"},
      {"lone lead byte in key", count(1) + pair("a\xC3", "v")},
      {"surrogate in value", count(1) + pair("k", "\xED\xA0\x80")},
      {"over-long in value", count(1) + pair("k", "\xC0\xAF")},
      {"bad second entry after a good one", count(2) + first + pair("k", "\x80")},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(decode(bytes), std::nullopt);
  }
}

}  // namespace
}  // namespace vorlane::index
