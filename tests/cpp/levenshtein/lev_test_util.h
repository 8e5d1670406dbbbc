// Reference models for the Levenshtein tests: a plain dynamic-programming
// edit distance over characters, every string over a small alphabet, and
// fst key lists read from tests/data.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/test_data.h"
#include "vorlane/base/utf8.h"

namespace vorlane::levenshtein::testing {

using Entries = std::vector<std::pair<std::string, uint64_t>>;

inline std::u32string chars_of(std::string_view s) {
  std::u32string out;
  for (size_t pos = 0; pos < s.size();) {
    const utf8::Step step = utf8::decode_step(s, pos);
    out.push_back(step.scalar);
    pos += step.length;
  }
  return out;
}

// Edit distance with unit insertion, deletion and substitution.
inline size_t edit_distance(const std::u32string& a, const std::u32string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      row[j] = std::min({up + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

inline size_t edit_distance(std::string_view a, std::string_view b) {
  return edit_distance(chars_of(a), chars_of(b));
}

// True when some prefix of `key` ending at a character boundary (the empty
// one and the whole key included) is within `dist` of `text`.
inline bool has_prefix_within(std::string_view key, std::string_view text, uint32_t dist) {
  const std::u32string k = chars_of(key);
  const std::u32string t = chars_of(text);
  for (size_t len = 0; len <= k.size(); ++len) {
    if (edit_distance(k.substr(0, len), t) <= dist) return true;
  }
  return false;
}

// Every concatenation of 0 to max_length members of `alphabet`.
inline std::vector<std::string> all_strings(const std::vector<std::string>& alphabet,
                                            size_t max_length) {
  std::vector<std::string> out{""};
  size_t level_begin = 0;
  for (size_t len = 1; len <= max_length; ++len) {
    const size_t level_end = out.size();
    for (size_t i = level_begin; i < level_end; ++i) {
      for (const std::string& letter : alphabet) out.push_back(out[i] + letter);
    }
    level_begin = level_end;
  }
  return out;
}

inline std::string unhex(const std::string& h) {
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) {
    out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  }
  return out;
}

// A key list under tests/data: hex key, tab, decimal value; one a line.
inline Entries read_entries(const std::string& relative) {
  std::ifstream in(vorlane::testing::data_path(relative));
  EXPECT_TRUE(in.good()) << relative;
  Entries out;
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    out.emplace_back(unhex(line.substr(0, tab)), std::stoull(line.substr(tab + 1)));
  }
  return out;
}

}  // namespace vorlane::levenshtein::testing
