// format_f64_display: std::to_chars in scientific form yields the shortest
// round-trip digits and their decimal exponent; the digits are then placed
// around the decimal point by hand, so no value ever prints with an exponent
// or with more digits than it needs.
#include "vorlane/base/format_float.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace vorlane {
namespace {

struct ShortestDigits {
  bool negative = false;
  std::string digits;  // no leading zero unless the value is zero
  int exponent = 0;    // value = 0.d1d2d3... * 10^(exponent + 1)
};

// Splits "-d.ddde+XX" from to_chars into sign, digits and exponent.
ShortestDigits shortest_digits(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  const std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  ShortestDigits out;
  size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    out.negative = true;
    ++i;
  }
  for (; i < text.size() && text[i] != 'e'; ++i) {
    if (text[i] != '.') out.digits.push_back(text[i]);
  }
  if (i < text.size()) {
    ++i;  // 'e'
    int sign = 1;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      sign = text[i] == '-' ? -1 : 1;
      ++i;
    }
    int e = 0;
    for (; i < text.size(); ++i) e = e * 10 + (text[i] - '0');
    out.exponent = sign * e;
  }
  return out;
}

}  // namespace

std::string format_f64_display(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const ShortestDigits d = shortest_digits(value);
  std::string out = d.negative ? "-" : "";
  const size_t n = d.digits.size();
  if (d.exponent >= 0) {
    const size_t int_len = static_cast<size_t>(d.exponent) + 1;
    if (n <= int_len) {
      out += d.digits;
      out.append(int_len - n, '0');
    } else {
      out.append(d.digits, 0, int_len);
      out.push_back('.');
      out.append(d.digits, int_len, std::string::npos);
    }
  } else {
    out += "0.";
    out.append(static_cast<size_t>(-d.exponent - 1), '0');
    out += d.digits;
  }
  return out;
}

}  // namespace vorlane
