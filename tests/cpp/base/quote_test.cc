#include "vorlane/base/quote.h"

#include <gtest/gtest.h>

namespace vorlane {
namespace {

TEST(Quote, PathEscapesQuotesBackslashesControlsMarksAndBadBytes) {
  const std::string path = std::string("d\"i\\r/O'B\t\xff") + "x\xcc\x81.idx";
  EXPECT_EQ(quote_path(path), R"("d\"i\\r/O'B\t\xFFx\u{301}.idx")");
}

TEST(Quote, TextEscapes) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"", R"("")"},
      {"fr.idx", R"("fr.idx")"},
      {std::string("a\0b", 3), R"("a\0b")"},
      {"l1\r\nl2", R"("l1\r\nl2")"},
      {"\x01\x7f", R"("\u{1}\u{7f}")"},
      {"caf\xc3\xa9 \xd1\x83\xd0\xbb", "\"caf\xc3\xa9 \xd1\x83\xd0\xbb\""},  // printable stays
      {"a\xc2\xa0" "b", R"("a\u{a0}b")"},            // no-break space (Zs)
      {"\xe2\x80\x8b", R"("\u{200b}")"},             // zero-width space (Cf)
      {"\xe2\x80\xa8", R"("\u{2028}")"},             // line separator
      {"\xee\x80\x80", R"("\u{e000}")"},             // private use
      {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},  // emoji is printable
      {"\xe0\x80", R"("\xE0\x80")"},
  };
  for (const auto& c : cases) EXPECT_EQ(quote_str(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace vorlane
