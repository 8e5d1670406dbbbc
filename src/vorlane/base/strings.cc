// Byte-level rewriting: positions come from exact byte matches of `from`, so
// a well-formed `from` never splits a character of well-formed text.
#include "vorlane/base/strings.h"

namespace vorlane {

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (size_t hit = text.find(from); hit != std::string_view::npos;
       hit = text.find(from, pos)) {
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace vorlane
