// Candidate collection. Every candidate found here is an exact street-key
// match of some spelling of the street part; fuzzy matching belongs to the
// fallbacks. The German rescue (rescue mode on a German version-7 sheet)
// spends a budget per street found and accepts only streets that hold the
// requested house under the query's postcode.
#include "vorlane/query/candidates.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <limits>

#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/de/street_variants.h"
#include "vorlane/diagnosis/trace.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/script.h"
#include "vorlane/query/core_stats.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

// A commune-free scan of one street text stops after this many streets.
constexpr size_t kScanCap = 300;

struct WordPair {
  std::string_view from;
  std::string_view to;
};

constexpr std::array<WordPair, 34> kStreetAbbreviations = {{
    {"r", "rue"},         {"av", "avenue"},      {"avn", "avenue"},     {"bd", "boulevard"},
    {"bld", "boulevard"}, {"blvd", "boulevard"}, {"pl", "place"},       {"imp", "impasse"},
    {"chem", "chemin"},   {"all", "allee"},      {"sq", "square"},      {"rte", "route"},
    {"crs", "cours"},     {"fbg", "faubourg"},   {"st", "saint"},       {"ste", "sainte"},
    {"ln", "laan"},       {"str", "straat"},     {"v", "via"},          {"vle", "viale"},
    {"pza", "piazza"},    {"cso", "corso"},      {"vic", "vicolo"},     {"ул", "улица"},
    {"пр", "проспект"},   {"просп", "проспект"}, {"пер", "переулок"},   {"наб", "набережная"},
    {"ш", "шоссе"},       {"бул", "бульвар"},    {"пл", "площадь"},     {"кв", "квартал"},
    {"мкр", "микрорайон"}, {"мкрн", "микрорайон"},
}};

// Multi-word entries come before their parts.
constexpr std::array<WordPair, 24> kFrenchNumberWords = {{
    {"dix sept", "17"}, {"dix huit", "18"}, {"dix neuf", "19"}, {"vingt cinq", "25"},
    {"premier", "1er"}, {"une", "1"},       {"un", "1"},        {"deux", "2"},
    {"trois", "3"},     {"quatre", "4"},    {"cinq", "5"},      {"six", "6"},
    {"sept", "7"},      {"huit", "8"},      {"neuf", "9"},      {"dix", "10"},
    {"onze", "11"},     {"douze", "12"},    {"treize", "13"},   {"quatorze", "14"},
    {"quinze", "15"},   {"seize", "16"},    {"vingt", "20"},    {"trente", "30"},
}};

constexpr std::array<WordPair, 13> kSlavicTitleWords = {{
    {"knez", "kneza"},
    {"knjaz", "kneza"},
    {"knjaza", "kneza"},
    {"knjazja", "kneza"},
    {"kralj", "kralja"},
    {"korol", "kralja"},
    {"korolj", "kralja"},
    {"korolja", "kralja"},
    {"car", "cara"},
    {"carja", "cara"},
    {"vojvoda", "vojvode"},
    {"voevoda", "vojvode"},
    {"voevody", "vojvode"},
}};

// Whether two words are equal, their first bytes compared before the rest.
bool same_word(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a.empty() || (a[0] == b[0] && a == b));
}

template <size_t N>
std::optional<std::string_view> lookup_word(const std::array<WordPair, N>& table,
                                            std::string_view word) {
  for (const WordPair& p : table) {
    if (same_word(p.from, word)) return p.to;
  }
  return std::nullopt;
}

// Calls visit(piece) for each piece of `text` between single spaces, empty
// pieces included.
template <typename Visit>
void each_space_piece(std::string_view text, Visit visit) {
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find(' ', start), text.size());
    visit(text.substr(start, end - start));
    start = end + 1;
  }
}

bool contains_word(const rules::WordList& list, std::string_view word) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

size_t text_hash(std::string_view text) { return std::hash<std::string_view>{}(text); }

// Whether `text` (of hash `hash`) is one of `texts`, whose hashes are
// `hashes`: long streets have dozens of forms of equal length, which
// hashes tell apart before their bytes.
bool contains_hashed(const std::vector<std::string>& texts, const std::vector<size_t>& hashes,
                     std::string_view text, size_t hash) {
  for (size_t i = 0; i < hashes.size(); ++i) {
    if (hashes[i] == hash && texts[i] == text) return true;
  }
  return false;
}

std::vector<size_t> text_hashes(const std::vector<std::string>& texts) {
  std::vector<size_t> hashes;
  hashes.reserve(texts.size());
  for (const std::string& text : texts) hashes.push_back(text_hash(text));
  return hashes;
}

std::string concat(std::string_view a, std::string_view b) {
  std::string out;
  out.reserve(a.size() + 1 + b.size());
  out.append(a).push_back(' ');
  out.append(b);
  return out;
}

using de::trim_white_space;

std::optional<std::string> abbreviation_first(std::string_view text) {
  const size_t space = text.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const auto full = lookup_word(kStreetAbbreviations, text.substr(0, space));
  if (!full) return std::nullopt;
  return concat(*full, text.substr(space + 1));
}

std::optional<std::string> abbreviation_last(std::string_view text) {
  const size_t space = text.rfind(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const auto full = lookup_word(kStreetAbbreviations, text.substr(space + 1));
  if (!full) return std::nullopt;
  return concat(text.substr(0, space), *full);
}

using NumberWordSet = std::bitset<kFrenchNumberWords.size()>;

constexpr std::array<std::string_view, kFrenchNumberWords.size()> kFrenchNumberFirstWords = [] {
  std::array<std::string_view, kFrenchNumberWords.size()> first;
  for (size_t i = 0; i < first.size(); ++i) {
    const std::string_view from = kFrenchNumberWords[i].from;
    first[i] = from.substr(0, from.find(' '));
  }
  return first;
}();

// The entries of kFrenchNumberWords whose first word is one of the
// space-separated pieces of `text`. No other entry can match: a
// replacement writes only digits and "1er", so it never forms a number word.
NumberWordSet possible_number_words(std::string_view text) {
  NumberWordSet possible;
  each_space_piece(text, [&](std::string_view piece) {
    for (size_t i = 0; i < kFrenchNumberFirstWords.size(); ++i) {
      if (same_word(kFrenchNumberFirstWords[i], piece)) possible.set(i);
    }
  });
  return possible;
}

// Each entry in turn, over the result of the one before: every
// non-overlapping " from " becomes " to ", left to right.
std::optional<std::string> french_numbers(std::string_view text) {
  const NumberWordSet possible = possible_number_words(text);
  if (possible.none()) return std::nullopt;
  std::string padded = concat("", text);
  padded.push_back(' ');
  bool applied = false;
  for (size_t i = 0; i < kFrenchNumberWords.size(); ++i) {
    if (!possible[i]) continue;
    const WordPair& p = kFrenchNumberWords[i];
    std::string word = concat("", p.from);
    word.push_back(' ');
    if (padded.find(word) == std::string::npos) continue;
    std::string digits = concat("", p.to);
    digits.push_back(' ');
    padded = replace_all(padded, word, digits);
    applied = true;
  }
  if (!applied) return std::nullopt;
  // Replacements keep the padding spaces at both ends, which trimming drops.
  return std::string(trim_white_space(std::string_view(padded).substr(1, padded.size() - 2)));
}

std::string_view slavic_title(std::string_view word, std::string& scratch) {
  if (word.size() < 3) return word;
  if (const auto mapped = lookup_word(kSlavicTitleWords, word)) return *mapped;
  if ((word.ends_with("ova") || word.ends_with("eva")) && utf8::char_count(word) >= 5) {
    scratch.assign(word.substr(0, word.size() - 3));
    scratch.push_back('a');
    return scratch;
  }
  return word;
}

std::optional<std::string> slavic_titles(std::string_view text) {
  if (norm::has_cyrillic(text) || text.find(' ') == std::string_view::npos) return std::nullopt;
  std::string scratch;
  bool replaced = false;
  // Most streets hold no title word: nothing is built for them.
  each_space_piece(text, [&](std::string_view word) {
    replaced = replaced || slavic_title(word, scratch) != word;
  });
  if (!replaced) return std::nullopt;
  std::string out;
  bool first = true;
  each_space_piece(text, [&](std::string_view word) {
    if (!first) out.push_back(' ');
    out.append(slavic_title(word, scratch));
    first = false;
  });
  return out;
}

std::optional<std::string> moved_street_type(std::string_view text, const rules::WordList& types) {
  const size_t first_space = text.find(' ');
  if (first_space == std::string_view::npos) return std::nullopt;
  if (contains_word(types, text.substr(0, first_space))) {
    return concat(text.substr(first_space + 1), text.substr(0, first_space));
  }
  const size_t last_space = text.rfind(' ');
  if (contains_word(types, text.substr(last_space + 1))) {
    return concat(text.substr(last_space + 1), text.substr(0, last_space));
  }
  return std::nullopt;
}

// One split's lookups.
class SplitCollector {
 public:
  SplitCollector(const Index& index, const HypothesisQuery& hyp, RescueState& rescue,
                 LookupTools& tools, CandidateMap& out)
      : index_(index), hyp_(hyp), rescue_(rescue), tools_(tools), out_(out),
        rescue_sheet_(is_rescue_sheet(index)) {}

  bool exhausted() const { return exhausted_; }

  // Requires: `communes` names at least one commune.
  void under_communes(const CommuneLookups& lookups, const NamedCommunes& communes);
  void without_commune(const StreetVariants& variants);

 private:
  // Tests the rescue budget, spending one; false (and exhausted) when spent.
  bool spend_budget();
  bool holds_exact_house(uint32_t street_id, const StreetRecord& street);
  void record(uint32_t street_id, const StreetRecord& street, bool commune_exact,
              bool commune_prefix, bool german_variant, bool force_postcode);
  void scan_text(std::string_view text, bool german_variant);
  void rescue_scan_text(const std::string& text, bool german_variant);

  const Index& index_;
  const HypothesisQuery& hyp_;
  RescueState& rescue_;
  LookupTools& tools_;
  CandidateMap& out_;
  const bool rescue_sheet_;
  bool exhausted_ = false;
};

bool SplitCollector::spend_budget() {
  if (rescue_.budget == 0) {
    exhausted_ = true;
    return false;
  }
  --rescue_.budget;
  return true;
}

bool SplitCollector::holds_exact_house(uint32_t street_id, const StreetRecord& street) {
  if (!hyp_.has_number || !hyp_.postcode) return false;
  const auto exact = [&](uint32_t number) {
    return exact_house_postcode_candidate_cached(index_, rescue_.exact_houses, street_id, street,
                                                 number, hyp_.suffix_id, *hyp_.postcode);
  };
  if (!exact(hyp_.number)) return false;
  return rescue_.alternative_numbers.empty() || exact(rescue_.alternative_numbers.front());
}

void SplitCollector::record(uint32_t street_id, const StreetRecord& street, bool commune_exact,
                            bool commune_prefix, bool german_variant, bool force_postcode) {
  CandidateFlags& f = out_[street_id];
  f.street_exact = true;
  f.commune_exact |= commune_exact;
  f.commune_prefix |= commune_prefix;
  add_postcode_flags(f, street, hyp_.postcode);
  if (force_postcode) f.pc_exact = f.pc_dept = true;
  f.ml |= hyp_.ml;
  f.de_street_type |= german_variant;
  diagnosis::street(street_id, true, commune_exact || commune_prefix);
}

void SplitCollector::under_communes(const CommuneLookups& lookups,
                                    const NamedCommunes& communes) {
  for (const uint32_t commune_id : communes.ids) {
    const std::string_view code = *commune_code(index_, commune_id);
    for (size_t i = 0; i < lookups.ends.size(); ++i) {
      const std::optional<uint32_t> id = street_under_code(index_, lookups.ends[i], code);
      if (!id) continue;
      const StreetRecord street = *index_.street(*id);
      if (!rescue_.rescue) {
        record(*id, street, communes.exact, !communes.exact, lookups.german[i], false);
        continue;
      }
      if (!rescue_sheet_) continue;
      if (!spend_budget()) break;
      if (holds_exact_house(*id, street)) {
        record(*id, street, communes.exact, !communes.exact, lookups.german[i], true);
      }
    }
  }
}

void SplitCollector::without_commune(const StreetVariants& variants) {
  const bool rescue_scan = rescue_.rescue && rescue_sheet_ && hyp_.postcode && hyp_.has_number;
  for (size_t i = 0; i < variants.texts.size(); ++i) {
    if (rescue_scan) {
      rescue_scan_text(variants.texts[i], variants.german[i]);
    } else {
      scan_text(variants.texts[i], variants.german[i]);
    }
  }
}

void SplitCollector::scan_text(std::string_view text, bool german_variant) {
  size_t accepted = 0;
  tools_.scan.start(text);
  while (const std::optional<uint32_t> id = tools_.scan.next()) {
    const StreetRecord street = *index_.street(*id);
    if (outside_postcode_area(street, hyp_.postcode)) continue;
    record(*id, street, false, false, german_variant, false);
    if (++accepted == kScanCap) break;
  }
}

void SplitCollector::rescue_scan_text(const std::string& text, bool german_variant) {
  if (!rescue_.seen.insert(text).second) return;
  tools_.scan.start(text);
  while (const std::optional<uint32_t> id = tools_.scan.next()) {
    if (!spend_budget()) break;
    const StreetRecord street = *index_.street(*id);
    if (holds_exact_house(*id, street)) record(*id, street, false, false, german_variant, true);
  }
}

// The length of the longest prefix of `text` that some key begins with.
size_t key_prefix_length(const fst::Map& keys, std::string_view text) {
  std::optional<fst::Map::Position> at = keys.root();
  size_t length = 0;
  while (length < text.size()) {
    at = keys.descend(text.substr(length, 1), *at);
    if (!at) break;
    ++length;
  }
  return length;
}

// The German street-type variants of each text so far, in order, each
// unless it is already there. With
// `scanned_keys`, the variants are only scanned for under that dictionary:
// one that keeps more of its text than any key begins with could find
// nothing and is left out.
void add_german_variants(StreetVariants& v, const fst::Map* scanned_keys) {
  std::vector<size_t> hashes = text_hashes(v.texts);
  const size_t base = v.texts.size();
  for (size_t i = 0; i < base; ++i) {
    const size_t differ_before =
        scanned_keys ? key_prefix_length(*scanned_keys, v.texts[i]) + 1 : SIZE_MAX;
    for (std::string& variant : de::street_variants(v.texts[i], differ_before)) {
      const size_t variant_hash = text_hash(variant);
      if (contains_hashed(v.texts, hashes, variant, variant_hash)) continue;
      v.texts.push_back(std::move(variant));
      v.german.push_back(true);
      hashes.push_back(variant_hash);
    }
  }
}

// A street part and its abbreviation, number-word, title and moved-type
// forms, none of them German.
StreetVariants base_street_variants(std::string_view street) {
  StreetVariants v;
  const auto add = [&](std::optional<std::string> text) {
    if (text) v.texts.push_back(std::move(*text));
  };
  v.texts.emplace_back(street);
  add(abbreviation_first(street));
  add(abbreviation_last(street));
  add(french_numbers(street));
  add(slavic_titles(street));
  const rules::WordList& types = rules::current().russian_street_types();
  const size_t movable = std::min<size_t>(v.texts.size(), 2);
  for (size_t i = 0; i < movable; ++i) add(moved_street_type(v.texts[i], types));
  v.german.assign(v.texts.size(), false);
  return v;
}

}  // namespace

bool is_german_sheet(const Index& index) {
  const std::optional<std::string_view> country = index.country();
  return country && *country == "de";
}

bool is_rescue_sheet(const Index& index) { return is_german_sheet(index) && index.version >= 7; }

bool outside_postcode_area(const StreetRecord& street, std::optional<uint32_t> postcode) {
  return postcode && street.postcode != 0 && !same_postcode_area(street.postcode, *postcode);
}

void add_postcode_flags(CandidateFlags& f, const StreetRecord& street,
                        std::optional<uint32_t> postcode) {
  if (!postcode || street.postcode == 0) return;
  f.pc_exact |= street.postcode == *postcode;
  f.pc_dept |= same_postcode_area(street.postcode, *postcode);
}

CandidateFlags& CandidateMap::operator[](uint32_t street_id) {
  const auto [it, inserted] = position_.try_emplace(street_id, static_cast<uint32_t>(entries_.size()));
  if (inserted) entries_.emplace_back(street_id, CandidateFlags{});
  return entries_[it->second].second;
}

void CandidateMap::clear() {
  entries_.clear();
  position_.clear();
}

int32_t flag_score(const CandidateFlags& f) {
  const int32_t commune = f.commune_exact ? 3 : 2 * int32_t{f.commune_prefix};
  const int32_t street = f.street_exact ? 3 : 2 * int32_t{f.street_fuzzy};
  const int32_t house = f.house_rep ? 2 : int32_t{f.house_found};
  return commune + street + 2 * int32_t{f.pc_exact} + house;
}

int32_t best_possible_score(bool exact_street, bool has_postcode) {
  CandidateFlags best;
  best.street_exact = exact_street;
  best.street_fuzzy = !exact_street;
  best.commune_exact = true;
  best.pc_exact = has_postcode;
  return flag_score(best);
}

int32_t candidate_score(const CandidateMap& map) {
  int32_t best = std::numeric_limits<int32_t>::min();
  for (const auto& [id, flags] : map.entries()) best = std::max(best, flag_score(flags));
  return best;
}

bool KeptCandidates::offer(CandidateMap& candidates, size_t hyp_index) {
  if (candidates.empty()) return false;
  const int32_t candidate = candidate_score(candidates);
  if (!map.empty() && candidate <= score) return false;
  std::swap(map, candidates);
  hyp = hyp_index;
  score = candidate;
  return true;
}

struct CoreTextMemo {
  const Index* index = nullptr;
  const rules::Rules* rules = nullptr;
  TextMap<StreetVariants> scanned_variants;
  TextMap<CommuneLookups> commune_lookups;
  TextMap<std::vector<uint32_t>> ids[2];  // by TextLookups::Ids
  size_t bytes = 0;  // of what the maps above hold
  TextMap<NamedCommunes> communes;
};

namespace {

thread_local CoreTextMemo* CORE_TEXT_MEMO = nullptr;

// The open memo when it serves `index` under the rules in force.
CoreTextMemo* core_text_memo(const Index& index) {
  CoreTextMemo* memo = CORE_TEXT_MEMO;
  if (memo == nullptr || memo->index != &index || memo->rules != &rules::current()) return nullptr;
  return memo;
}

size_t value_bytes(const StreetVariants& v) {
  size_t bytes = 0;
  for (const std::string& text : v.texts) bytes += text.size();
  return bytes;
}

size_t value_bytes(const CommuneLookups& lookups) {
  return lookups.ends.size() * sizeof(fst::Map::Position);
}

size_t value_bytes(const std::vector<uint32_t>& ids) { return ids.size() * sizeof(uint32_t); }

// Whether the memo may also keep `bytes` more; counts them when it may.
bool make_room(CoreTextMemo& memo, size_t bytes) {
  if (memo.bytes + bytes > kCoreTextMemoBytes) return false;
  memo.bytes += bytes;
  return true;
}

}  // namespace

CoreTextMemoScope::CoreTextMemoScope(const Index& index)
    : memo_(std::make_unique<CoreTextMemo>()), previous_(CORE_TEXT_MEMO) {
  memo_->index = &index;
  memo_->rules = &rules::current();
  CORE_TEXT_MEMO = memo_.get();
}

CoreTextMemoScope::~CoreTextMemoScope() { CORE_TEXT_MEMO = previous_; }

NamedCommunes CommuneResolver::lookup(std::string_view text) const {
  NamedCommunes named;
  named.ids = index_.communes_by_name(text);
  named.exact = !named.ids.empty();
  if (!named.exact) named.ids = index_.communes_by_prefix(text);
  std::erase_if(named.ids, [&](uint32_t id) { return id >= index_.commune_count(); });
  return named;
}

const NamedCommunes& CommuneResolver::resolve(std::string_view text) {
  if (diagnosis::enabled()) {
    uncached_ = lookup(text);
    return uncached_;
  }
  if (CoreTextMemo* shared = core_text_memo(index_)) {
    if (const auto it = shared->communes.find(text); it != shared->communes.end()) {
      return it->second;
    }
    if (shared->communes.size() < kCoreTextMemoCommunes) {
      return shared->communes.emplace(std::string(text), lookup(text)).first->second;
    }
  }
  if (const auto it = memo_.find(text); it != memo_.end()) return it->second;
  return memo_.emplace(std::string(text), lookup(text)).first->second;
}

const StreetVariants& TextLookups::scanned_variants(std::string_view street) {
  return remembered(&CoreTextMemo::scanned_variants, scanned_street_variants, street,
                    uncached_variants_);
}

const CommuneLookups& TextLookups::commune_lookups(std::string_view street) {
  return remembered(&CoreTextMemo::commune_lookups, commune_lookups_of, street,
                    uncached_lookups_);
}

const std::vector<uint32_t>* TextLookups::find_ids(Ids kind, std::string_view key) {
  if (CoreTextMemo* shared = core_text_memo(index_)) {
    const TextMap<std::vector<uint32_t>>& memo = shared->ids[static_cast<size_t>(kind)];
    if (const auto it = memo.find(key); it != memo.end()) return &it->second;
  }
  const TextMap<std::vector<uint32_t>>& local = call_ids_[static_cast<size_t>(kind)];
  const auto it = local.find(key);
  return it != local.end() ? &it->second : nullptr;
}

const std::vector<uint32_t>& TextLookups::keep_ids(Ids kind, std::string_view key,
                                                  std::vector<uint32_t> ids) {
  CoreTextMemo* shared = core_text_memo(index_);
  const bool room = shared != nullptr && make_room(*shared, key.size() + value_bytes(ids));
  TextMap<std::vector<uint32_t>>& kept =
      room ? shared->ids[static_cast<size_t>(kind)] : call_ids_[static_cast<size_t>(kind)];
  return kept.emplace(std::string(key), std::move(ids)).first->second;
}

template <typename T>
const T& TextLookups::remembered(TextMap<T> CoreTextMemo::*kind,
                                 T (*make)(const Index&, std::string_view), std::string_view text,
                                 T& uncached) {
  CoreTextMemo* shared = core_text_memo(index_);
  if (shared == nullptr) {
    uncached = make(index_, text);
    return uncached;
  }
  TextMap<T>& memo = shared->*kind;
  if (const auto it = memo.find(text); it != memo.end()) return it->second;
  T made = make(index_, text);
  if (!make_room(*shared, text.size() + value_bytes(made))) {
    uncached = std::move(made);
    return uncached;
  }
  return memo.emplace(std::string(text), std::move(made)).first->second;
}

JoinedWords::JoinedWords(std::span<const std::string_view> words) {
  size_t bytes = words.size();
  for (const std::string_view word : words) bytes += word.size();
  text_.reserve(bytes);
  starts_.reserve(words.size());
  for (const std::string_view word : words) {
    if (!starts_.empty()) text_.push_back(' ');
    starts_.push_back(text_.size());
    text_.append(word);
  }
}

std::string_view JoinedWords::first(size_t count) const {
  if (count >= starts_.size()) return text_;
  if (count == 0) return {};
  return std::string_view(text_).substr(0, starts_[count] - 1);
}

std::string_view JoinedWords::last(size_t count) const {
  if (count == 0) return {};
  if (count >= starts_.size()) return text_;
  return std::string_view(text_).substr(starts_[starts_.size() - count]);
}

StreetVariants street_variants_of(const Index& index, std::string_view street) {
  StreetVariants v = base_street_variants(street);
  if (is_german_sheet(index)) add_german_variants(v, nullptr);
  return v;
}

CommuneLookups commune_lookups_of(const Index& index, std::string_view street) {
  const StreetVariants variants = street_variants_of(index, street);
  const auto german = [&](std::string_view text) {
    for (size_t i = 0; i < variants.texts.size(); ++i) {
      if (variants.german[i] && variants.texts[i] == text) return true;
    }
    return false;
  };
  // A swapped or unglued form that keeps more of its variant than any key
  // begins with could find nothing.
  const fst::Map& keys = index.street_key_fst;
  std::vector<size_t> differ_before;
  for (const std::string& text : variants.texts) {
    differ_before.push_back(key_prefix_length(keys, text) + 1);
  }
  CommuneLookups lookups;
  for (const std::string& text : commune_lookup_texts_within(variants.texts, differ_before)) {
    const std::optional<fst::Map::Position> end = street_text_end(index, text);
    if (!end) continue;
    lookups.ends.push_back(*end);
    lookups.german.push_back(german(text));
  }
  return lookups;
}

StreetVariants scanned_street_variants(const Index& index, std::string_view street) {
  StreetVariants v = base_street_variants(street);
  if (is_german_sheet(index)) add_german_variants(v, &index.street_key_fst);
  return v;
}

std::vector<std::string> commune_lookup_texts(const std::vector<std::string>& variants) {
  return commune_lookup_texts_within(variants, {});
}

std::vector<std::string> commune_lookup_texts_within(const std::vector<std::string>& variants,
                                                     std::span<const size_t> differ_before) {
  std::vector<std::string> lookups = variants;
  const std::string& street = variants.front();
  const rules::Rules& rules = rules::current();
  const rules::WordList& types = norm::has_cyrillic(street) ? rules.russian_street_types()
                                                      : rules.french_italian_street_types();
  bool has_type_word = false;
  for (size_t start = 0; start <= street.size() && !has_type_word;) {
    const size_t end = std::min(street.find(' ', start), street.size());
    has_type_word = contains_word(types, std::string_view(street).substr(start, end - start));
    start = end + 1;
  }
  if (!has_type_word) {
    for (const std::string& type : types) {
      lookups.push_back(concat(type, street));
      lookups.push_back(concat(street, type));
    }
  }
  std::vector<size_t> hashes = text_hashes(lookups);
  for (std::string& text : street_text_variants(variants, differ_before)) {
    const size_t hash = text_hash(text);
    if (contains_hashed(lookups, hashes, text, hash)) continue;
    lookups.push_back(std::move(text));
    hashes.push_back(hash);
  }
  return lookups;
}

bool collect_candidates(const Index& index, std::span<const std::string_view> tokens,
                        const HypothesisQuery& hyp, RescueState& rescue, LookupTools& tools,
                        CandidateMap& out) {
  out.clear();
  ++core_stats().collections;
  const std::optional<uint32_t> number =
      hyp.has_number ? std::optional<uint32_t>(hyp.number) : std::nullopt;
  if (diagnosis::enabled()) {
    diagnosis::hypothesis(join_words(tokens), std::nullopt, hyp.postcode, number, hyp.suffix_id);
  }
  SplitCollector collector(index, hyp, rescue, tools, out);
  const size_t n = tokens.size();
  const size_t splits = std::min(n - 1, kMaxCommuneWords);
  const JoinedWords joined(tokens);
  for (size_t s = 0; s <= splits; ++s) {
    const std::string_view street = joined.first(n - s);
    const std::string_view commune = joined.last(s);
    ++core_stats().splits;
    diagnosis::split(street, s > 0 ? std::optional<std::string_view>(commune) : std::nullopt,
                     hyp.postcode, number);
    if (s == 0) {
      collector.without_commune(tools.texts.scanned_variants(street));
      continue;
    }
    // Most commune parts of a long query name no commune; their street
    // parts are then never looked up and need no variants.
    const NamedCommunes& communes = tools.communes.resolve(commune);
    if (communes.ids.empty()) continue;
    collector.under_communes(tools.texts.commune_lookups(street), communes);
  }
  return collector.exhausted();
}

}  // namespace vorlane::query
