// Plain byte-string helpers shared by the text-rewriting modules.
#pragma once

#include <string>
#include <string_view>

namespace vorlane {

// Every non-overlapping occurrence of `from`, scanning left to right,
// replaced by `to`, in a new text. An empty `from` replaces nothing.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to);

// The words appended to `out` with single spaces between them.
template <typename Words>
void join_words_into(std::string& out, const Words& words) {
  bool first = true;
  for (const auto& w : words) {
    if (!first) out.push_back(' ');
    out.append(w);
    first = false;
  }
}

// The words joined with single spaces.
template <typename Words>
std::string join_words(const Words& words) {
  std::string out;
  join_words_into(out, words);
  return out;
}

}  // namespace vorlane
