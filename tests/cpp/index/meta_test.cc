#include "vorlane/index/meta.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/le_bytes.h"

namespace vorlane::index {
namespace {

using vorlane::testing::le;

std::string pair(const std::string& key, const std::string& value) {
  return le(key.size(), 2) + key + le(value.size(), 4) + value;
}

std::optional<MetaEntries> decode(const std::string& bytes) {
  return decode_meta(ByteView(bytes));
}

TEST(DecodeMeta, ReturnsEntriesInFileOrderUpToTheCountLimit) {
  const std::string valid =
      le(4, 4) + pair("country", "de") + pair("名前", "Köln") + pair("", "") + pair("country", "at");
  const MetaEntries expected = {{"country", "de"}, {"名前", "Köln"}, {"", ""}, {"country", "at"}};
  EXPECT_EQ(decode(valid), expected);
  EXPECT_EQ(decode(valid + "trailing \xFF bytes"), expected);
  EXPECT_EQ(decode(le(0, 4) + "junk"), MetaEntries{});

  std::string at_limit = le(1024, 4);
  for (int i = 0; i < 1024; ++i) at_limit += pair("k", std::to_string(i));
  auto decoded = decode(at_limit);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->size(), 1024u);
  EXPECT_EQ(decoded->back().second, "1023");
  EXPECT_EQ(decode(le(1025, 4) + at_limit.substr(4) + pair("k", "v")), std::nullopt);
}

TEST(DecodeMeta, MalformedSectionsYieldNothing) {
  const std::string first = le(2, 4) + pair("country", "de");
  const std::string second = pair("layer", "poi");
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"three bytes", std::string("\0\0\0", 3)},
      {"huge count", le(UINT32_MAX, 4)},
      {"count beyond the entries", first},
      {"inside second key length", first + second.substr(0, 1)},
      {"inside second key", first + second.substr(0, 4)},
      {"inside second value length", first + second.substr(0, 9)},
      {"inside second value", first + second.substr(0, second.size() - 1)},
      {"key length past the end", le(1, 4) + "\xFF\xFF" + "abc"},
      {"value length past the end", le(1, 4) + pair("k", "").substr(0, 3) + "\xFF\xFF\xFF\xFF"},
      {"lone lead byte in key", le(1, 4) + pair("a\xC3", "v")},
      {"surrogate in value", le(1, 4) + pair("k", "\xED\xA0\x80")},
      {"bad second entry after a good one", first + pair("k", "\x80")},
  };
  for (const auto& [name, bytes] : cases) EXPECT_EQ(decode(bytes), std::nullopt) << name;
}

}  // namespace
}  // namespace vorlane::index
