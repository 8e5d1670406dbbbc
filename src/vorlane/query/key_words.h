// Words of a prepared key as the core stage and its country steps see them:
// cut at every U+0020, so two adjacent spaces give an empty word (unlike
// split_words, which drops empty pieces).
#pragma once

#include <algorithm>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/norm/char_class.h"
#include "vorlane/query/folding.h"

namespace vorlane::query {

using KeyWords = std::vector<std::string_view>;

inline KeyWords split_spaces(std::string_view text) {
  KeyWords words;
  size_t start = 0;
  while (true) {
    const size_t space = text.find(' ', start);
    if (space == std::string_view::npos) {
      words.push_back(text.substr(start));
      return words;
    }
    words.push_back(text.substr(start, space - start));
    start = space + 1;
  }
}

// Words begin..end joined with single spaces.
inline std::string join_range(const KeyWords& words, size_t begin, size_t end) {
  return join_words(std::span<const std::string_view>(words.data() + begin, end - begin));
}

// True for the empty word too.
inline bool all_ascii_digits(std::string_view w) {
  return std::all_of(w.begin(), w.end(), [](char c) { return norm::is_ascii_digit(c); });
}

inline bool has_ascii_digit(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return norm::is_ascii_digit(c); });
}

// The substrings that bring French arrondissement handling into play.
inline bool mentions_arrondissement_city(std::string_view text) {
  return text.find("paris") != std::string_view::npos ||
         text.find("lyon") != std::string_view::npos ||
         text.find("marseille") != std::string_view::npos;
}

}  // namespace vorlane::query
