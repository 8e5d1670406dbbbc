// The lazily evaluated automaton against the eager one: the same state
// counts and refusals, the same verdict on every short byte string (invalid
// UTF-8 included), the same keys from a prefix search.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/key_list.h"
#include "support/test_data.h"
#include "vorlane/fst/map.h"
#include "vorlane/levenshtein/levenshtein.h"
#include "vorlane/levenshtein/prefix_search.h"
#include "vorlane/levenshtein/row_automaton.h"

namespace vorlane::levenshtein {
namespace {

static_assert(fst::Automaton<RowAutomaton> && fst::Automaton<RowAutomaton::Handle>);

TEST(RowAutomaton, StateCountsAndRefusalsAreTheEagerOnes) {
  const std::vector<std::pair<std::string, uint32_t>> cases = {
      {"ab", 1}, {"abcde", 1}, {"hauptstr", 1}, {"abcdefghijkl", 2}, {"abcdefghij", 3},
      {"", 0}, {"", 2}, {"abc", 0}, {"aé€", 0}, {"aé€𝄞", 2}, {"grande rxe velmont", 2},
      {"rue de la republique fontaine les bains", 2}, {"улица линина", 1}, {"улица ленина химки", 2},
      {"aaaaaaaaaaaa", 2}, {"abababab", 3}, {"abcdefghijklmnopqrst", 3},
      {std::string(10000, 'a'), 0}, {std::string(600, 'x'), 1},
      {"champs elysees avenue des", 2}, {"rue de la republique fontaine les bains du lac", 2}};
  for (const auto& [text, dist] : cases) {
    const Result<Levenshtein> eager = Levenshtein::build(text, dist);
    const Result<RowAutomaton> lazy = RowAutomaton::build(text, dist);
    ASSERT_EQ(lazy.has_value(), eager.has_value()) << text.substr(0, 40) << "/" << dist;
    if (eager) {
      EXPECT_EQ(lazy->state_count(), eager->state_count()) << text << "/" << dist;
    }
  }
}

TEST(RowAutomaton, AcceptsWhatTheEagerAutomatonAccepts) {
  const std::vector<std::string> alphabet = {"a", "b", "é", "è", "€", "𝄞", "\x80", "\xC3",
                                             "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE0\x80"};
  std::vector<std::string> inputs{""};
  for (size_t begin = 0, len = 1; len <= 4; ++len) {
    const size_t end = inputs.size();
    for (size_t i = begin; i < end; ++i) {
      for (const std::string& letter : alphabet) inputs.push_back(inputs[i] + letter);
    }
    begin = end;
  }
  for (const char* pattern : {"", "ab", "éb", "a€𝄞", "bèa"}) {
    for (uint32_t dist = 0; dist <= 2; ++dist) {
      const Levenshtein eager = std::move(Levenshtein::build(pattern, dist)).value();
      const RowAutomaton lazy = std::move(RowAutomaton::build(pattern, dist)).value();
      size_t wrong = 0;
      for (const std::string& input : inputs) {
        if (lazy.matches(input) != eager.matches(input) && ++wrong <= 3) {
          ADD_FAILURE() << pattern << "/" << dist << " on '" << input << "'";
        }
      }
    }
  }
}

TEST(RowAutomaton, PrefixSearchFindsTheEagerKeys) {
  const std::vector<uint8_t> bytes =
      vorlane::testing::read_file(vorlane::testing::data_path("lev/street_keys.fst"));
  const fst::Map map = std::move(fst::Map::open(ByteView(bytes.data(), bytes.size()))).value();
  for (const auto& [text, dist] : std::vector<std::pair<const char*, uint32_t>>{
           {"hauptstr", 1}, {"hauptstr", 2}, {"grande rue", 2}, {"улица", 1}, {"straße", 2}, {"h", 1}}) {
    std::vector<std::string> eager, lazy;
    PrefixStream e = fuzzy_prefix_search(
        map, std::make_shared<Levenshtein>(std::move(Levenshtein::build(text, dist)).value()));
    while (e.next()) eager.emplace_back(e.key_string());
    auto l = map.search(fst::StartsWith(RowAutomaton::Handle(
        std::make_shared<RowAutomaton>(std::move(RowAutomaton::build(text, dist)).value()))));
    while (l.next()) lazy.emplace_back(l.key_string());
    EXPECT_EQ(lazy, eager) << text << "/" << dist;
    EXPECT_FALSE(lazy.empty());
  }
}

}  // namespace
}  // namespace vorlane::levenshtein
