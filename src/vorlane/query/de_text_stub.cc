// Temporary ASCII-only stand-ins for the German comparison forms, so that the
// postcode rosters can be built and tested before the full forms exist.
// Bytes outside ASCII letters and digits are word breaks.
#include <string>
#include <string_view>

#include "vorlane/query/de_text.h"

namespace vorlane::query {

std::string de_product_normalize_text(std::string_view text) {
  std::string out;
  bool pending_space = false;
  for (const char c : text) {
    const bool digit = c >= '0' && c <= '9';
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    if (!digit && !upper && !lower) {
      pending_space = !out.empty();
      continue;
    }
    if (pending_space) out.push_back(' ');
    pending_space = false;
    out.push_back(upper ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return out;
}

std::string de_product_normalize_street(std::string_view text) {
  std::string out = de_product_normalize_text(text);
  const size_t last_word = out.rfind(' ') == std::string::npos ? 0 : out.rfind(' ') + 1;
  const std::string_view word = std::string_view(out).substr(last_word);
  if (word.size() > 3 && word.ends_with("str")) out += "asse";
  return out;
}

bool is_five_digit_postcode(std::string_view text) {
  if (text.size() != 5) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace vorlane::query
