// The canonical text form in three passes over code points: hyphen rules on
// the input characters, then per-character folding (full lowercase mapping,
// canonical decomposition, marks dropped) with separator runs collapsed to
// one space, then the split of a letter from a long digit run and trimming.
// Every decision of pass 1 looks at the input characters, never at what an
// earlier decision dropped. A "digit" is ASCII 0..9 throughout.
//
// Pure-ASCII input takes a byte-table path that performs the same passes
// fused into one walk; it must give byte-identical results to the Unicode
// path (the tests compare the two on generated corpora).
#include "vorlane/norm/normalize.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/code_points.h"
#include "vorlane/norm/unicode_data.h"

namespace vorlane::norm {
namespace {

constexpr char32_t kHyphen = U'-';
constexpr char32_t kSpace = U' ';
constexpr char32_t kSmallDWithStroke = 0x0111;

// ---------------------------------------------------------------- Unicode path

// Pass 1. A hyphen between two digits goes together with the digit run after
// it ("12-14" -> "12"); a hyphen after a lone letter and before a digit goes
// ("A-12" -> "A12"); every other hyphen stays for pass 2 to turn into a space.
std::u32string apply_hyphen_rules(const std::u32string& c) {
  const size_t n = c.size();
  std::u32string out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    if (c[i] != kHyphen || i == 0 || i == n - 1) {
      out.push_back(c[i]);
      ++i;
      continue;
    }
    const char32_t before = c[i - 1];
    const char32_t after = c[i + 1];
    if (is_ascii_digit(before) && is_ascii_digit(after)) {
      ++i;
      while (i < n && is_ascii_digit(c[i])) ++i;
      continue;
    }
    if (is_letter(before) && is_ascii_digit(after)) {
      const bool word_before = i >= 2 && is_alphanumeric(c[i - 2]);
      if (word_before) out.push_back(kHyphen);
      ++i;
      continue;
    }
    out.push_back(kHyphen);
    ++i;
  }
  return out;
}

bool is_separator(char32_t c) {
  if (c <= 0x20 || (c >= 0x7F && c <= 0x9F)) return true;  // controls, space, DEL
  switch (c) {
    case U'\'': case U'(': case U')': case U',': case U'-':
    case U'.': case U'/': case U';': case U'`':
    case 0x02BB: case 0x02BC:  // modifier letters turned comma, apostrophe
    case 0x2018: case 0x2019:  // single quotation marks
      return true;
    default:
      break;
  }
  if (c >= 0x200B && c <= 0x200F) return true;    // zero-width and direction marks
  if (c >= 0x2028 && c <= 0x202E) return true;    // line/paragraph separators, bidi controls
  if (c >= 0x2190 && c <= 0x2BFF) return true;    // arrows .. misc symbols and arrows
  if (c >= 0xFE00 && c <= 0xFE0F) return true;    // variation selectors
  if (c >= 0x1F000 && c <= 0x1FFFF) return true;  // game symbols, pictographs, emoji
  return is_white_space(c);
}

// Pass 2 output: collapses separators into single spaces, none leading.
class FoldedText {
 public:
  explicit FoldedText(size_t capacity) { chars_.reserve(capacity); }

  void classify(char32_t c) {
    if (is_separator(c)) {
      if (!chars_.empty() && chars_.back() != kSpace) chars_.push_back(kSpace);
    } else if (c == kSmallDWithStroke) {
      chars_.push_back(U'd');
    } else {
      chars_.push_back(c);
    }
  }

  std::u32string release() { return std::move(chars_); }

 private:
  std::u32string chars_;
};

// Canonical decomposition of one character, marks dropped, each remaining
// character classified. `scratch` is reused to spare allocations.
void decompose_into(char32_t c, const icu::Normalizer2& decomposer, icu::UnicodeString& scratch,
                    FoldedText& out) {
  if (!decomposer.getDecomposition(static_cast<UChar32>(c), scratch)) {
    if (!is_mark(c)) out.classify(c);
    return;
  }
  const int32_t length = scratch.length();
  for (int32_t k = 0; k < length;) {
    const UChar32 part = scratch.char32At(k);
    k += U16_LENGTH(part);
    if (!is_mark(static_cast<char32_t>(part))) out.classify(static_cast<char32_t>(part));
  }
}

// Pass 2. For U+0130 the full lowercase mapping adds U+0307, a mark that
// drops, so the outcome equals the simple mapping; the steps are kept as
// they are defined all the same.
std::u32string fold_and_separate(const std::u32string& input) {
  const icu::Normalizer2& decomposer = nfd();
  icu::UnicodeString scratch;
  FoldedText out(input.size());
  for (const char32_t c : input) {
    // ASCII lower-cases to ASCII, which has no decomposition and no mark.
    if (c < 0x80) {
      out.classify(c >= U'A' && c <= U'Z' ? c + (U'a' - U'A') : c);
      continue;
    }
    for (const char32_t lower : full_lowercase(c)) decompose_into(lower, decomposer, scratch, out);
  }
  return out.release();
}

// Pass 3: a letter right after four or more digits is split off by a space;
// trailing spaces go.
std::string split_digit_runs_and_trim(const std::u32string& input) {
  std::string out;
  out.reserve(input.size() + 8);
  int digit_run = 0;
  for (const char32_t c : input) {
    if (is_ascii_digit(c)) {
      ++digit_run;
    } else {
      if (digit_run >= 4 && is_letter(c)) out.push_back(' ');
      digit_run = 0;
    }
    utf8::append(out, c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// ---------------------------------------------------------------- ASCII path

enum : uint8_t { kSep = 1, kLetter = 2, kDigit = 4 };

constexpr std::array<uint8_t, 128> make_ascii_classes() {
  std::array<uint8_t, 128> t{};
  for (int c = 0; c <= 0x20; ++c) t[c] = kSep;
  t[0x7F] = kSep;
  for (const char c : {'\'', '(', ')', ',', '-', '.', '/', ';', '`'}) t[static_cast<uint8_t>(c)] = kSep;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = kLetter;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = kLetter;
  for (int c = '0'; c <= '9'; ++c) t[c] = kDigit;
  return t;
}
constexpr std::array<uint8_t, 128> kAsciiClass = make_ascii_classes();

inline uint8_t ascii_class(char c) { return kAsciiClass[static_cast<uint8_t>(c) & 0x7F]; }

// Passes 2 and 3 fused for ASCII bytes. Pass 3 only sees what pass 2 writes,
// so a suppressed separator touches neither the output nor the digit count.
class AsciiSink {
 public:
  explicit AsciiSink(std::string& out) : out_(out) {}

  void put(char c) {
    const uint8_t cls = ascii_class(c);
    if (cls & kSep) {
      if (!out_.empty() && out_.back() != ' ') {
        out_.push_back(' ');
        digit_run_ = 0;
      }
      return;
    }
    if (cls & kDigit) {
      ++digit_run_;
    } else {
      if (digit_run_ >= 4 && (cls & kLetter)) out_.push_back(' ');
      digit_run_ = 0;
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    out_.push_back(c);
  }

 private:
  std::string& out_;
  int digit_run_ = 0;
};

bool is_ascii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

namespace detail {

std::string normalize_unicode(std::string_view text) {
  return split_digit_runs_and_trim(fold_and_separate(apply_hyphen_rules(detail::code_points(text))));
}

std::string normalize_ascii(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AsciiSink sink(out);
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (c != '-' || i == 0 || i == n - 1) {
      sink.put(c);
      ++i;
      continue;
    }
    const uint8_t before = ascii_class(text[i - 1]);
    const uint8_t after = ascii_class(text[i + 1]);
    if ((before & kDigit) && (after & kDigit)) {
      ++i;
      while (i < n && (ascii_class(text[i]) & kDigit)) ++i;
      continue;
    }
    if ((before & kLetter) && (after & kDigit)) {
      if (i >= 2 && (ascii_class(text[i - 2]) & (kLetter | kDigit))) sink.put('-');
      ++i;
      continue;
    }
    sink.put('-');
    ++i;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace detail

std::string normalize(std::string_view text) {
  return is_ascii(text) ? detail::normalize_ascii(text) : detail::normalize_unicode(text);
}

}  // namespace vorlane::norm
