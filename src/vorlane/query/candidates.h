// Candidate collection for one house-number hypothesis of the matching core:
// every cut of the hypothesis's words into a street part and a trailing
// commune part, the street part widened into variant spellings, each variant
// looked up in the street-key dictionary under the named communes or under
// every commune. Internal to the matching core.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vorlane/query/core.h"
#include "vorlane/query/de_roster.h"
#include "vorlane/query/hit.h"
#include "vorlane/query/index.h"
#include "vorlane/query/street_keys.h"

namespace vorlane::query {

struct CoreTextMemo;

// A commune part takes at most this many of a hypothesis's last words.
inline constexpr size_t kMaxCommuneWords = 9;

// How one street was matched: the eleven MatchInfo booleans. Later matches
// of the same street only set booleans.
using CandidateFlags = MatchInfo;

// Street id -> flags. Entries are kept in insertion order, but nothing may
// depend on that order: the core orders candidates itself. clear() keeps the
// storage for the next use.
class CandidateMap {
 public:
  using Entry = std::pair<uint32_t, CandidateFlags>;

  // The entry of `street_id`, created all false when absent.
  CandidateFlags& operator[](uint32_t street_id);
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  void clear();
  std::span<const Entry> entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
  std::unordered_map<uint32_t, uint32_t> position_;
};

// The candidate map chosen so far among the hypotheses, with the index of
// the hypothesis that produced it and its candidate score.
struct KeptCandidates {
  CandidateMap map;
  size_t hyp = 0;
  int32_t score = 0;

  bool empty() const { return map.empty(); }
  // Takes `map` (leaving it with the storage of the map it replaced) when
  // it is not empty and either nothing is kept or it scores strictly
  // higher; returns whether it did.
  bool offer(CandidateMap& map, size_t hyp_index);
};

// A German sheet: its first "country" metadata entry is exactly "de".
bool is_german_sheet(const Index& index);
// A German sheet of format 7 or later, where the German rescue's house and
// postcode checks apply.
bool is_rescue_sheet(const Index& index);

// Postcodes in the same thousand-block share an area.
inline constexpr uint32_t kPostcodeAreaDivisor = 1000;
inline bool same_postcode_area(uint32_t a, uint32_t b) {
  return a / kPostcodeAreaDivisor == b / kPostcodeAreaDivisor;
}
// The street has a postcode outside the query postcode's area.
bool outside_postcode_area(const StreetRecord& street, std::optional<uint32_t> postcode);
// Sets pc_exact and pc_dept as the street's postcode agrees with the
// query's (nothing without either).
void add_postcode_flags(CandidateFlags& f, const StreetRecord& street,
                        std::optional<uint32_t> postcode);

// The highest candidate score a map can reach: its street matched exactly
// (else fuzzily), a commune named exactly, and the query postcode exact.
// Once a kept map reaches it no later map can replace it, so the search may
// end early wherever nothing else records what it does (no diagnosis trace,
// no rescue budget).
int32_t best_possible_score(bool exact_street, bool has_postcode);

// The largest flag score over a map's entries (see flag_score), or the
// smallest i32 for an empty map.
int32_t candidate_score(const CandidateMap& map);
// (commune_exact ? 3 : 2 commune_prefix) + (street_exact ? 3 : 2
// street_fuzzy) + 2 pc_exact + (house_rep ? 2 : house_found).
int32_t flag_score(const CandidateFlags& f);

// The communes a commune text names: exact names (with the lookup's
// retries) or, failing those, names it begins. Ids past the commune table
// are dropped, as their records would be empty.
struct NamedCommunes {
  std::vector<uint32_t> ids;
  bool exact = false;  // from the exact lookup
};

// Hashes a std::string key and a std::string_view probe alike, so that a
// map keyed by text is searched without building a string.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
template <typename T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

// Commune lookups of one core call, memoised by text (in the open
// CoreTextMemoScope when it serves the sheet) except while a diagnosis
// trace records (each lookup is then recorded as it happens).
class CommuneResolver {
 public:
  explicit CommuneResolver(const Index& index) : index_(index) {}
  const NamedCommunes& resolve(std::string_view text);

 private:
  NamedCommunes lookup(std::string_view text) const;

  const Index& index_;
  TextMap<NamedCommunes> memo_;
  NamedCommunes uncached_;
};

// The street texts tried for one street part, in order, and which of them
// are German street-type variants.
struct StreetVariants {
  std::vector<std::string> texts;
  std::vector<bool> german;  // parallel to texts
};
StreetVariants street_variants_of(const Index& index, std::string_view street);
// For scans of the street-key dictionary: every text of street_variants_of
// that some key begins with, in the same order and with the same marks; of
// the German variants, those that keep more of their text unchanged than
// any key begins with are left out.
StreetVariants scanned_street_variants(const Index& index, std::string_view street);

// The texts looked up under a commune: the variants, the street text framed
// by each street-type word when it holds none, then swapped and unglued
// forms, without repeats of the additions.
std::vector<std::string> commune_lookup_texts(const std::vector<std::string>& variants);
// The same with the swapped and unglued forms limited as by
// street_text_variants.
std::vector<std::string> commune_lookup_texts_within(const std::vector<std::string>& variants,
                                                     std::span<const size_t> differ_before);

// The lookup texts of a street part (commune_lookup_texts of its variants)
// that the street-key dictionary holds keys of, in their order: where each
// one's keys continue after the separator, and whether it is a German
// variant. The others could find no street under any commune.
struct CommuneLookups {
  std::vector<fst::Map::Position> ends;
  std::vector<bool> german;  // parallel to ends
};
CommuneLookups commune_lookups_of(const Index& index, std::string_view street);

// What one core call reads of each text: from the open CoreTextMemoScope
// when it serves the sheet, else made afresh (street parts) or kept for the
// call (pieces).
class TextLookups {
 public:
  // Street ids the subset search keeps by text: a word piece's street
  // list, and the streets kept for a commune part and a set of pieces.
  enum class Ids { piece_streets, subset_streets };

  explicit TextLookups(const Index& index) : index_(index) {}
  // scanned_street_variants; valid until the next call.
  const StreetVariants& scanned_variants(std::string_view street);
  // commune_lookups_of; valid until the next call.
  const CommuneLookups& commune_lookups(std::string_view street);
  // The ids of `kind` under `key`, made by make() the first time; valid for
  // the core call.
  template <typename Make>
  const std::vector<uint32_t>& ids(Ids kind, std::string_view key, Make make) {
    if (const std::vector<uint32_t>* found = find_ids(kind, key)) return *found;
    return keep_ids(kind, key, make());
  }

 private:
  template <typename T>
  const T& remembered(TextMap<T> CoreTextMemo::*kind, T (*make)(const Index&, std::string_view),
                      std::string_view text, T& uncached);
  const std::vector<uint32_t>* find_ids(Ids kind, std::string_view key);
  const std::vector<uint32_t>& keep_ids(Ids kind, std::string_view key, std::vector<uint32_t> ids);

  const Index& index_;
  StreetVariants uncached_variants_;
  CommuneLookups uncached_lookups_;
  TextMap<std::vector<uint32_t>> call_ids_[2];  // by Ids, when the memo is off or full
};

// The German rescue's shared state: its budget, the street texts it already
// scanned, and the memo of exact house-with-postcode answers.
struct RescueState {
  bool rescue = false;
  std::span<const uint32_t> alternative_numbers;
  uint64_t& budget;
  SeenStreetVariants& seen;
  ExactHouseCache& exact_houses;
};

// What a hypothesis asks of collection besides its words.
struct HypothesisQuery {
  std::optional<uint32_t> postcode;
  bool has_number = false;
  uint32_t number = 0;
  uint32_t suffix_id = 0;
  bool ml = false;
};

// Reusable lookup machinery of one core call.
struct LookupTools {
  explicit LookupTools(const Index& index) : communes(index), texts(index), scan(index) {}
  CommuneResolver communes;
  TextLookups texts;
  StreetTextScan scan;
};

// A hypothesis's words joined with single spaces once, so that each split's
// street part (its first words) and commune part (its last words) is a
// slice of one text, the same as joining those words alone.
class JoinedWords {
 public:
  explicit JoinedWords(std::span<const std::string_view> words);

  // The first `count` words; the whole text for all of them.
  std::string_view first(size_t count) const;
  // The last `count` words; empty for none.
  std::string_view last(size_t count) const;

 private:
  std::string text_;
  std::vector<size_t> starts_;  // byte offset of each word in text_
};

// Collects into `out` (cleared first) the streets matched by any split of
// `tokens` (at least one). Returns true when the rescue budget ran out.
bool collect_candidates(const Index& index, std::span<const std::string_view> tokens,
                        const HypothesisQuery& hyp, RescueState& rescue, LookupTools& tools,
                        CandidateMap& out);

}  // namespace vorlane::query
