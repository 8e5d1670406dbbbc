// The Levenshtein automaton against a plain edit distance over every short
// string of small alphabets (ASCII, and multi-byte characters sharing their
// leading bytes), its state counts, which decide which texts are refused,
// and the automaton operations a search relies on.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "lev_test_util.h"
#include "vorlane/fst/automaton.h"
#include "vorlane/levenshtein/levenshtein.h"

namespace vorlane::levenshtein {
namespace {

using testing::chars_of;
using testing::edit_distance;

static_assert(fst::Automaton<Levenshtein> && fst::Automaton<SharedLevenshtein>);

Levenshtein build_or_die(std::string_view query, uint32_t dist) {
  Result<Levenshtein> lev = Levenshtein::build(query, dist);
  EXPECT_TRUE(lev.has_value()) << query << "/" << dist;
  if (!lev) std::abort();
  return std::move(lev).value();
}

// Every concatenation of 0 to max_length members of `alphabet`.
std::vector<std::string> all_strings(const std::vector<std::string>& alphabet, size_t max_length) {
  std::vector<std::string> out{""};
  for (size_t begin = 0, len = 1; len <= max_length; ++len) {
    const size_t end = out.size();
    for (size_t i = begin; i < end; ++i) {
      for (const std::string& letter : alphabet) out.push_back(out[i] + letter);
    }
    begin = end;
  }
  return out;
}

TEST(Levenshtein, AgreesWithEditDistanceOnEveryShortString) {
  const struct {
    std::vector<std::string> patterns, alphabet;
    size_t max_length;
  } cases[] = {
      {{"", "a", "ab", "ba", "abc", "aab", "cabca", "abcabc"}, {"a", "b", "c"}, 6},
      // é (C3 A9), è (C3 A8) and ü (C3 BC) share their leading byte; € and 𝄞
      // are three and four bytes long; ø (C3 B8) is in no pattern. Any one
      // of them for another must cost exactly one edit.
      {{"é", "éè", "aüé", "€é𝄞", "èaè"}, {"a", "é", "è", "ü", "€", "𝄞", "ø"}, 4},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> inputs = all_strings(c.alphabet, c.max_length);
    for (const std::string& pattern : c.patterns) {
      for (uint32_t dist = 0; dist <= 3; ++dist) {
        const Levenshtein lev = build_or_die(pattern, dist);
        size_t wrong = 0;
        for (const std::string& input : inputs) {
          const bool expected = edit_distance(chars_of(input), chars_of(pattern)) <= dist;
          if (lev.matches(input) != expected && ++wrong <= 3) {
            ADD_FAILURE() << "pattern '" << pattern << "' dist " << dist << " input '" << input
                          << "': expected " << expected;
          }
        }
      }
    }
  }
}

TEST(Levenshtein, CharactersOutsideTheAlphabetsAndInvalidBytes) {
  // Bytes that are no character are never accepted as one.
  const std::tuple<const char*, uint32_t, const char*, bool> cases[] = {
      {"abc", 1, "a\xF0\x9F\x98\x80" "c", true}, {"", 1, "é", true}, {"é", 1, "e", true},
      {"abc", 1, "ab\x80", false}, {"abc", 1, "ab\xC3", false}, {"abc", 1, "a\xFF" "c", false}};
  for (const auto& [query, dist, input, accepted] : cases) {
    EXPECT_EQ(build_or_die(query, dist).matches(input), accepted) << query << " '" << input << "'";
  }
}

TEST(Levenshtein, StateCounts) {
  // Distance 0 is a chain: one state per byte of the query, plus the start.
  const std::tuple<const char*, uint32_t, size_t> cases[] = {
      {"ab", 1, 63},  {"abcde", 1, 135}, {"hauptstr", 1, 208}, {"abcdefghijkl", 2, 2207},
      {"abcdefghij", 3, 8622}, {"", 0, 1}, {"abc", 0, 4}, {"aé€", 0, 7}};
  for (const auto& [query, dist, states] : cases) {
    EXPECT_EQ(build_or_die(query, dist).state_count(), states) << query << "/" << dist;
  }
}

TEST(Levenshtein, RefusesAutomataOverTheStateLimit) {
  // The last one keeps every row live: only the limit ends the build.
  const std::pair<std::string, uint32_t> cases[] = {
      {"abcdefghijklmnopqrst", 3}, {std::string(10000, 'a'), 0}, {std::string(600, 'x'), 1},
      {"ab", 0xFFFFFFFF}};
  for (const auto& [query, dist] : cases) {
    const Result<Levenshtein> lev = Levenshtein::build(query, dist);
    ASSERT_FALSE(lev.has_value()) << query.size() << "/" << dist;
    EXPECT_EQ(lev.error().code(), ErrorCode::invalid_argument);
    EXPECT_NE(lev.error().message().find("10000"), std::string::npos);
  }
}

// Leaving the query for good ends in the one dead state, which stays, so
// that a search prunes it.
TEST(Levenshtein, DeadStateIsFinal) {
  const Levenshtein lev = build_or_die("ab", 1);
  const Levenshtein::State dead = lev.accept(lev.accept(lev.start(), 'x'), 'y');
  EXPECT_EQ(dead, Levenshtein::kDead);
  EXPECT_FALSE(lev.is_match(dead) || lev.can_match(dead));
  EXPECT_EQ(lev.accept(dead, 'a'), Levenshtein::kDead);
}

}  // namespace
}  // namespace vorlane::levenshtein
