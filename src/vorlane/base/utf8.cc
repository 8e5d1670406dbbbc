// Table-free UTF-8 decoding after the well-formed byte sequences table of
// the Unicode standard (section 3.9): the second byte's range depends on the
// lead byte, which is what rules out overlongs, surrogates and values above
// U+10FFFF. A decoding step never reads past the end of its input.
#include "vorlane/base/utf8.h"

namespace vorlane::utf8 {
namespace {

// Valid range of the second byte for a lead byte, or {1, 0} when the lead
// byte cannot start a sequence.
struct Range {
  uint8_t lo, hi;
};
Range second_byte_range(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {0x80, 0xBF};
  if (lead == 0xE0) return {0xA0, 0xBF};
  if (lead == 0xED) return {0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {0x80, 0xBF};
  if (lead == 0xF0) return {0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {0x80, 0xBF};
  if (lead == 0xF4) return {0x80, 0x8F};
  return {1, 0};
}

int sequence_length(uint8_t lead) {
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

}  // namespace

Step decode_step(std::string_view s, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t lead = byte(pos);
  if (lead < 0x80) return {lead, 1, true};
  const Range second = second_byte_range(lead);
  if (second.lo > second.hi) return {kReplacement, 1, false};
  const int need = sequence_length(lead);
  char32_t c = lead & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
  for (int k = 1; k < need; ++k) {
    const size_t i = pos + static_cast<size_t>(k);
    const uint8_t lo = k == 1 ? second.lo : 0x80;
    const uint8_t hi = k == 1 ? second.hi : 0xBF;
    if (i >= s.size() || byte(i) < lo || byte(i) > hi) {
      return {kReplacement, static_cast<uint8_t>(k), false};
    }
    c = (c << 6) | (byte(i) & 0x3F);
  }
  return {c, static_cast<uint8_t>(need), true};
}

bool is_valid(std::string_view s) {
  size_t pos = 0;
  while (pos < s.size()) {
    if (static_cast<uint8_t>(s[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const Step st = decode_step(s, pos);
    if (!st.valid) return false;
    pos += st.length;
  }
  return true;
}

std::string decode_lossy(std::string_view s) {
  if (is_valid(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 8);
  size_t pos = 0;
  while (pos < s.size()) {
    const Step st = decode_step(s, pos);
    if (st.valid) {
      out.append(s.substr(pos, st.length));
    } else {
      append(out, kReplacement);
    }
    pos += st.length;
  }
  return out;
}

std::u32string decode_scalars(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t pos = 0;
  while (pos < s.size()) {
    const Step st = decode_step(s, pos);
    out.push_back(st.valid ? st.scalar : kReplacement);
    pos += st.length;
  }
  return out;
}

void append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

size_t char_count(std::string_view s) {
  size_t n = 0;
  for (char ch : s) n += (static_cast<uint8_t>(ch) & 0xC0) != 0x80;
  return n;
}

}  // namespace vorlane::utf8
