// The Levenshtein automaton against a plain edit distance over every short
// string of small alphabets (ASCII, and multi-byte characters sharing their
// leading bytes), its state counts, which decide which texts are refused,
// and the fst automaton operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lev_test_util.h"
#include "vorlane/fst/automaton.h"
#include "vorlane/levenshtein/levenshtein.h"

namespace vorlane::levenshtein {
namespace {

using testing::all_strings;
using testing::edit_distance;

static_assert(fst::Automaton<Levenshtein>);
static_assert(fst::Automaton<SharedLevenshtein>);
static_assert(fst::Automaton<fst::StartsWith<SharedLevenshtein>>);

Levenshtein build_or_die(std::string_view query, uint32_t dist) {
  Result<Levenshtein> lev = Levenshtein::build(query, dist);
  EXPECT_TRUE(lev.has_value()) << query << "/" << dist;
  if (!lev) std::abort();
  return std::move(lev).value();
}

// Checks the automaton for every pattern and distance 0-3 against the edit
// distance on every string of `alphabet` up to `max_length` letters.
void expect_agrees_with_edit_distance(const std::vector<std::string>& patterns,
                                      const std::vector<std::string>& alphabet,
                                      size_t max_length) {
  const std::vector<std::string> inputs = all_strings(alphabet, max_length);
  for (const std::string& pattern : patterns) {
    for (uint32_t dist = 0; dist <= 3; ++dist) {
      const Levenshtein lev = build_or_die(pattern, dist);
      size_t wrong = 0;
      for (const std::string& input : inputs) {
        const bool expected = edit_distance(input, pattern) <= dist;
        if (lev.matches(input) != expected && ++wrong <= 3) {
          ADD_FAILURE() << "pattern '" << pattern << "' dist " << dist << " input '" << input
                        << "': expected " << expected;
        }
      }
    }
  }
}

TEST(Levenshtein, AgreesWithEditDistanceOnAsciiStrings) {
  expect_agrees_with_edit_distance({"", "a", "ab", "ba", "abc", "aab", "cabca", "abcabc"},
                                   {"a", "b", "c"}, 6);
}

// é (C3 A9), è (C3 A8) and ü (C3 BC) share their leading byte; € and 𝄞 are
// three and four bytes long. Substituting one of them for another, or for a
// character that is in no pattern (ø, C3 B8), must cost exactly one edit.
TEST(Levenshtein, AgreesWithEditDistanceOnMultiByteStrings) {
  expect_agrees_with_edit_distance({"é", "éè", "aüé", "€é𝄞", "èaè"},
                                   {"a", "é", "è", "ü", "€", "𝄞", "ø"}, 4);
}

TEST(Levenshtein, AcceptsAndRejects) {
  struct Case {
    const char* query;
    uint32_t dist;
    const char* input;
    bool accepted;
  };
  const Case cases[] = {
      {"abc", 0, "abc", true},   {"abc", 0, "ab", false},    {"abc", 0, "abcd", false},
      {"abc", 1, "abc", true},   {"abc", 1, "ab", true},     {"abc", 1, "abx", true},
      {"abc", 1, "xabc", true},  {"abc", 1, "axc", true},    {"abc", 1, "abcd", true},
      {"abc", 1, "ba", false},   {"abc", 1, "xyz", false},   {"abc", 1, "aéc", true},
      {"abc", 1, "a\xF0\x9F\x98\x80" "c", true},             {"abc", 1, "", false},
      {"ab", 2, "", true},       {"", 0, "", true},          {"", 0, "a", false},
      {"", 1, "é", true},        {"", 1, "ab", false},       {"é", 1, "ü", true},
      {"é", 0, "ü", false},      {"é", 1, "e", true},        {"é", 1, "", true},
      // Bytes that are no character are never accepted as one.
      {"abc", 1, "ab\x80", false}, {"abc", 1, "ab\xC3", false}, {"abc", 1, "a\xFF" "c", false},
  };
  for (const Case& c : cases) {
    const Levenshtein lev = build_or_die(c.query, c.dist);
    EXPECT_EQ(lev.matches(c.input), c.accepted) << c.query << "/" << c.dist << " '" << c.input << "'";
  }
}

TEST(Levenshtein, StateCounts) {
  struct Case {
    const char* query;
    uint32_t dist;
    size_t states;
  };
  const Case cases[] = {
      {"ab", 1, 63},
      {"abcde", 1, 135},
      {"hauptstr", 1, 208},
      {"abcdefghijkl", 2, 2207},
      {"abcdefghij", 3, 8622},
      // Distance 0 is a chain: one state per byte of the query, plus the start.
      {"", 0, 1},
      {"abc", 0, 4},
      {"aé€", 0, 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(build_or_die(c.query, c.dist).state_count(), c.states) << c.query << "/" << c.dist;
  }
}

TEST(Levenshtein, RefusesAutomataOverTheStateLimit) {
  const std::string long_text(10000, 'a');
  const struct {
    std::string query;
    uint32_t dist;
  } cases[] = {
      {"abcdefghijklmnopqrst", 3},
      {long_text, 0},
      {std::string(600, 'x'), 1},
      {"ab", 0xFFFFFFFF},  // every row stays live: the limit ends the build
  };
  for (const auto& c : cases) {
    const Result<Levenshtein> lev = Levenshtein::build(c.query, c.dist);
    ASSERT_FALSE(lev.has_value()) << c.query.size() << "/" << c.dist;
    EXPECT_EQ(lev.error().code(), ErrorCode::invalid_argument);
    EXPECT_NE(lev.error().message().find("10000"), std::string::npos);
  }
}

TEST(Levenshtein, AutomatonOperations) {
  const Levenshtein lev = build_or_die("ab", 1);
  EXPECT_EQ(lev.query(), "ab");
  EXPECT_EQ(lev.dist(), 1u);
  const Levenshtein::State start = lev.start();
  EXPECT_EQ(start, 0u);
  EXPECT_FALSE(lev.is_match(start));
  EXPECT_TRUE(lev.can_match(start));

  const Levenshtein::State a = lev.accept(start, 'a');
  EXPECT_TRUE(lev.is_match(a));  // "a" is one deletion from "ab"
  const Levenshtein::State dead = lev.accept(lev.accept(a, 'x'), 'y');
  EXPECT_EQ(dead, Levenshtein::kDead);
  EXPECT_FALSE(lev.is_match(dead));
  EXPECT_FALSE(lev.can_match(dead));
  EXPECT_EQ(lev.accept(dead, 'a'), Levenshtein::kDead);

  // A query of at most dist characters makes the start state a match.
  EXPECT_TRUE(build_or_die("a", 1).is_match(0));
  EXPECT_TRUE(build_or_die("", 0).is_match(0));
}

// Every state a search can reach must still lead to a match: can_match is
// what prunes the dictionary, so a live state with no accepted continuation
// would only cost time, but a pruned state with one would lose keys.
TEST(Levenshtein, EveryReachableStateCanStillMatch) {
  for (const char* query : {"ab", "hauptstr", "é€"}) {
    const Levenshtein lev = build_or_die(query, 1);
    for (Levenshtein::State s = 0; s < lev.state_count(); ++s) {
      std::vector<bool> seen(lev.state_count(), false);
      std::vector<Levenshtein::State> todo{s};
      bool reaches_match = false;
      while (!todo.empty() && !reaches_match) {
        const Levenshtein::State t = todo.back();
        todo.pop_back();
        if (seen[t]) continue;
        seen[t] = true;
        reaches_match = lev.is_match(t);
        for (unsigned b = 0; b < 256; ++b) {
          const Levenshtein::State u = lev.accept(t, static_cast<uint8_t>(b));
          if (u != Levenshtein::kDead) todo.push_back(u);
        }
      }
      EXPECT_TRUE(reaches_match) << query << " state " << s;
    }
  }
}

}  // namespace
}  // namespace vorlane::levenshtein
