// Plain byte-string helpers shared by the text-rewriting modules.
#pragma once

#include <string>
#include <string_view>

namespace vorlane {

// Every non-overlapping occurrence of `from`, scanning left to right,
// replaced by `to`, in a new text. An empty `from` replaces nothing.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to);

// Calls visit(word) for each non-empty run between U+0020 spaces, in
// order; other white space does not separate.
template <typename Visit>
void for_each_space_separated_word(std::string_view text, Visit visit) {
  for (size_t start = 0; start < text.size();) {
    const size_t space = text.find(' ', start);
    const size_t end = space == std::string_view::npos ? text.size() : space;
    if (end > start) visit(text.substr(start, end - start));
    start = end + 1;
  }
}

// Words with exactly one U+0020 between them and none around them.
inline bool is_single_spaced(std::string_view text) {
  return !text.empty() && text.front() != ' ' && text.back() != ' ' &&
         text.find("  ") == std::string_view::npos;
}

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
