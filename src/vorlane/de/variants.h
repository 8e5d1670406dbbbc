// The German variant generator: one query in, at most 20 distinct rewritten
// texts out, in a fixed order, each with the rewrite steps that made it and
// the commune a commune-alias step asserted. German vocabulary (commune
// aliases, token replacements, dropped and cut words) comes from the rules
// in force on the calling thread; the built-in rules hold none.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "vorlane/de/seed.h"
#include "vorlane/rules/rules.h"

namespace vorlane::de {

inline constexpr size_t kMaxQueryVariants = 20;

struct QueryVariant {
  std::string text;
  Effects effects;  // empty for the query itself
  std::optional<std::string> commune;  // set by a commune-alias step, then inherited

  bool operator==(const QueryVariant&) const = default;
};

using SeenTexts = std::unordered_set<std::string, rules::TextHash, std::equal_to<>>;

// Appends `row` unless its text is in `seen` (then it is dropped whole);
// records the text as seen.
void push_unique(std::vector<QueryVariant>& rows, SeenTexts& seen, QueryVariant row);

// Row 0 (the query as received, or its letter-range seed), the raw clean-up
// rows, then seed by seed each rewritten row followed by its zero-postcode,
// umlaut-folding and sharp-s rows; the first 20 distinct texts.
std::vector<QueryVariant> query_variants(std::string_view query);

// (text with the official commune spelling, official name) when the text
// ends with " " + a known unofficial spelling right after a five-digit word.
std::optional<std::pair<std::string, std::string_view>> expand_de_official_commune_alias(
    std::string_view text);

// "frankfurt oder" or "frankfurt am main" when the canonical query names
// one of them as whole words.
std::optional<std::string_view> frankfurt_qualifier(std::string_view query);

// False when some derived seed of the query rewrote a house range or a
// half number.
bool postal_tail_eligible(std::string_view query);

}  // namespace vorlane::de
