// Fuzzy and token-subset fallbacks. Lengths and edit positions count
// characters. Edit variants of a street text are looked up from the
// dictionary node its unchanged prefix leads to, so a variant whose prefix
// is no key's prefix costs nothing, and most others die within a byte.
#include "vorlane/query/fallbacks.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/diagnosis/trace.h"
#include "vorlane/index/varint.h"
#include "vorlane/levenshtein/lev_cache.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/phonetic.h"
#include "vorlane/norm/script.h"
#include "vorlane/query/core_stats.h"
#include "vorlane/query/edit_distance.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

constexpr size_t kFallbackHypotheses = 5;
constexpr size_t kMinFuzzyChars = 5;
// Street texts of this many characters or more are searched at distance 2.
constexpr size_t kDistanceTwoChars = 12;
// Substitutions and insertions only for shorter texts (and with communes).
constexpr size_t kMaxSubstitutionChars = 27;
constexpr size_t kVariantScanCap = 50;
constexpr size_t kAutomatonKeyCap = 400;
constexpr size_t kMinWordChars = 3;
constexpr size_t kMinPhoneticChars = 3;
constexpr size_t kPostingsLimit = 16384;  // lists this long are too common to use
constexpr size_t kSubsetCommonCount = 9;
constexpr size_t kSubsetCap = 200;
static_assert(kSubsetCommonCount <= kSubsetCap);

constexpr std::u32string_view kLatinAlphabet = U"abcdefghijklmnopqrstuvwxyz";
constexpr std::u32string_view kCyrillicAlphabet = U"абвгдеёжзийклмнопрстуфхцчшщъыьэюя";

// What every street found in one split gets.
struct FoundFlags {
  bool commune_exact = false;
  bool commune_prefix = false;
  bool ml = false;
  std::optional<uint32_t> postcode;
};

void record_fuzzy(CandidateMap& out, uint32_t street_id, const StreetRecord& street,
                  const FoundFlags& found) {
  CandidateFlags& f = out[street_id];
  f.street_fuzzy = true;
  f.commune_exact |= found.commune_exact;
  f.commune_prefix |= found.commune_prefix;
  add_postcode_flags(f, street, found.postcode);
  f.ml |= found.ml;
  diagnosis::street(street_id, false, found.commune_exact || found.commune_prefix);
}

bool is_cyrillic_letter(char32_t c) { return (c >= 0x0430 && c <= 0x044F) || c == 0x0451; }

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The edit variants of one street text, looked up in the street-key
// dictionary from the nodes of their unchanged prefixes.
class EditVariantSearch {
 public:
  // Decodes the street once: its characters (an ill-formed subpart is one
  // U+FFFD), where each starts, and the node each prefix leads to.
  EditVariantSearch(const Index& index, std::string_view street)
      : index_(index), street_(street) {
    const fst::Map& keys = index.street_key_fst;
    chars_.reserve(street.size());
    starts_.reserve(street.size() + 1);
    prefixes_.reserve(street.size() + 1);
    starts_.push_back(0);
    prefixes_.push_back(keys.root());
    for (size_t pos = 0; pos < street.size();) {
      const utf8::Step step = utf8::decode_step(street, pos);
      chars_.push_back(step.valid ? step.scalar : utf8::kReplacement);
      const std::optional<fst::Map::Position>& last = prefixes_.back();
      prefixes_.push_back(last ? keys.descend(street.substr(pos, step.length), *last) : last);
      pos += step.length;
      starts_.push_back(pos);
    }
  }

  size_t chars() const { return chars_.size(); }

  // Calls visit(variant position after the separator) for every variant in
  // order that some key continues with the separator; the variant's text is
  // in variant() during the call.
  template <typename Visit>
  void each_variant(bool substitutions, Visit visit) {
    const std::u32string_view text(chars_);
    const auto is_space = [&](size_t p) { return text[p] == U' '; };
    char32_t buf[2];
    for (size_t p = 0; p < text.size(); ++p) {
      if (!is_space(p)) try_edit(p, {}, p + 1, visit);
    }
    for (size_t p = 0; p + 1 < text.size(); ++p) {
      if (is_space(p) || is_space(p + 1) || text[p] == text[p + 1]) continue;
      buf[0] = text[p + 1];
      buf[1] = text[p];
      try_edit(p, std::u32string_view(buf, 2), p + 2, visit);
    }
    if (!substitutions) return;
    const bool cyrillic = std::any_of(text.begin(), text.end(), is_cyrillic_letter);
    const std::u32string_view alphabet = cyrillic ? kCyrillicAlphabet : kLatinAlphabet;
    for (size_t p = 0; p < text.size(); ++p) {
      if (is_space(p)) continue;
      for (const char32_t letter : alphabet) {
        if (letter == text[p]) continue;
        buf[0] = letter;
        try_edit(p, std::u32string_view(buf, 1), p + 1, visit);
      }
    }
    for (size_t p = 0; p <= text.size(); ++p) {
      if (p > 0 && p < text.size() && is_space(p - 1) && is_space(p)) continue;
      for (const char32_t letter : alphabet) {
        buf[0] = letter;
        try_edit(p, std::u32string_view(buf, 1), p, visit);
      }
    }
  }

  std::string_view variant() const { return variant_; }

 private:
  template <typename Visit>
  void try_edit(size_t at, std::u32string_view head, size_t rest_from, Visit& visit) {
    const std::optional<fst::Map::Position>& prefix = prefixes_[at];
    if (!prefix) return;
    tail_.clear();
    for (const char32_t c : head) utf8::append(tail_, c);
    tail_.append(street_.substr(starts_[std::min(rest_from, chars_.size())]));
    tail_.push_back(kStreetKeySeparator);
    ++core_stats().descents;
    const std::optional<fst::Map::Position> end = index_.street_key_fst.descend(tail_, *prefix);
    if (!end) return;
    variant_.assign(street_.substr(0, starts_[at]));
    variant_.append(tail_, 0, tail_.size() - 1);
    visit(*end);
  }

  const Index& index_;
  std::string_view street_;
  std::u32string chars_;
  std::vector<size_t> starts_;  // byte offset of each character, and the end
  std::vector<std::optional<fst::Map::Position>> prefixes_;  // node after each prefix
  std::string tail_;
  std::string variant_;
};

// Some word of `street_part` lies within distance 1 of some significant
// word.
bool shares_significant_word(std::string_view street_part,
                             const std::vector<std::u32string>& significant) {
  for (size_t start = 0; start <= street_part.size();) {
    const size_t end = std::min(street_part.find(' ', start), street_part.size());
    const std::u32string word = utf8::decode_scalars(street_part.substr(start, end - start));
    for (const std::u32string& s : significant) {
      if (lev(word, s) < 2) return true;
    }
    start = end + 1;
  }
  return false;
}

std::vector<std::u32string> significant_words(std::string_view street) {
  const rules::Rules& rules = rules::current();
  std::vector<std::u32string> out;
  for (const std::string_view word : split_words(street)) {
    std::u32string chars = utf8::decode_scalars(word);
    if (chars.size() >= kMinWordChars && !rules.is_affix(word)) out.push_back(std::move(chars));
  }
  return out;
}

// The automaton pass: every street key having a prefix within distance d of
// the street text, in key order, whose street part shares a significant
// word (when there are any), under one of the wanted commune codes (when
// communes were named), its street in the query postcode's area (when not),
// until 400 keys are kept. All keys of one street part are settled when the
// first of them comes: a part without a shared word is skipped whole, and
// under named communes only the wanted codes are looked up, in byte order,
// each still run through the automaton (a code byte may complete a match).
// The search runs on an automaton that has not counted its states; only
// when it keeps something is the text's refusal looked up (the cached,
// counted automaton), and a refused text keeps nothing.
class AutomatonPass {
 public:
  using Search = fst::StartsWith<levenshtein::RowAutomaton::Handle>;

  AutomatonPass(const Index& index, std::shared_ptr<const levenshtein::RowAutomaton> automaton,
                std::string_view street, uint32_t distance,
                const std::vector<std::string_view>* codes, const FoundFlags& found,
                CandidateMap& out)
      : index_(index), search_(levenshtein::RowAutomaton::Handle(std::move(automaton))),
        street_(street), distance_(distance), significant_(significant_words(street)),
        found_(found), out_(out) {
    if (codes) {
      codes_.emplace(*codes);
      std::sort(codes_->begin(), codes_->end());
      codes_->erase(std::unique(codes_->begin(), codes_->end()), codes_->end());
    }
  }

  void run() {
    auto stream = index_.street_key_fst.search(search_);
    while (kept_.size() < kAutomatonKeyCap && stream.next()) {
      const std::string_view key = stream.key_string();
      const size_t separator = key.find(kStreetKeySeparator);
      if (separator == std::string_view::npos) continue;
      const std::string_view part = key.substr(0, separator);
      if (!significant_.empty() && !shares_significant_word(part, significant_)) {
        skip_part(stream, part);
        continue;
      }
      if (codes_) {
        keep_wanted_codes(part);
        skip_part(stream, part);
        continue;
      }
      if (const std::optional<uint32_t> id = checked_street_id(index_, stream.value())) {
        const StreetRecord street = *index_.street(*id);
        if (!outside_postcode_area(street, found_.postcode)) keep(*id, street);
      }
    }
    if (kept_.empty() || !cached_row_automaton(street_, distance_)) return;
    for (const auto& [id, street] : kept_) record_fuzzy(out_, id, street, found_);
  }

 private:
  template <typename Stream>
  void skip_part(Stream& stream, std::string_view part) {
    next_part_.assign(part);
    next_part_.push_back(kStreetKeySeparatorEnd);
    stream.restart(ByteView(next_part_), std::nullopt);
  }

  void keep_wanted_codes(std::string_view part) {
    const fst::Map& keys = index_.street_key_fst;
    prefix_.assign(part);
    prefix_.push_back(kStreetKeySeparator);
    const std::optional<fst::Map::Position> under = keys.descend(prefix_, keys.root());
    Search::State state = search_.start();
    for (const char c : prefix_) state = search_.accept(state, static_cast<uint8_t>(c));
    if (!under || !search_.can_match(state)) return;
    for (const std::string_view code : *codes_) {
      if (kept_.size() == kAutomatonKeyCap) return;
      ++core_stats().descents;
      const std::optional<fst::Map::Position> end = keys.descend(code, *under);
      const std::optional<uint64_t> value = end ? keys.value_at(*end) : std::nullopt;
      if (!value) continue;
      Search::State s = state;
      for (const char c : code) s = search_.accept(s, static_cast<uint8_t>(c));
      if (!search_.is_match(s)) continue;
      if (const std::optional<uint32_t> id = checked_street_id(index_, *value)) {
        keep(*id, *index_.street(*id));
      }
    }
  }

  void keep(uint32_t id, const StreetRecord& street) { kept_.emplace_back(id, street); }

  const Index& index_;
  Search search_;
  std::string_view street_;
  uint32_t distance_;
  const std::vector<std::u32string> significant_;
  std::optional<std::vector<std::string_view>> codes_;  // sorted, distinct
  const FoundFlags& found_;
  CandidateMap& out_;
  std::vector<std::pair<uint32_t, StreetRecord>> kept_;
  std::string next_part_;
  std::string prefix_;
};

void automaton_pass(const Index& index, std::string_view street, uint32_t distance,
                    const std::vector<std::string_view>* codes, const FoundFlags& found,
                    CandidateMap& out) {
  ++core_stats().automata;
  Result<levenshtein::RowAutomaton> automaton =
      levenshtein::RowAutomaton::unchecked(street, distance);
  if (!automaton || automaton->surely_refused()) return;
  auto shared = std::make_shared<const levenshtein::RowAutomaton>(std::move(automaton).value());
  AutomatonPass(index, std::move(shared), street, distance, codes, found, out).run();
}

void lookup_edit_variants(const Index& index, EditVariantSearch& variants, bool with_communes,
                          const std::vector<std::string_view>& codes, const FoundFlags& found,
                          LookupTools& tools, CandidateMap& out) {
  const bool substitutions = with_communes && variants.chars() < kMaxSubstitutionChars;
  variants.each_variant(substitutions, [&](fst::Map::Position after_separator) {
    if (with_communes) {
      for (const std::string_view code : codes) {
        ++core_stats().descents;
        const std::optional<fst::Map::Position> end =
            index.street_key_fst.descend(code, after_separator);
        const std::optional<uint64_t> value = end ? index.street_key_fst.value_at(*end) : std::nullopt;
        const std::optional<uint32_t> id = value ? checked_street_id(index, *value) : std::nullopt;
        if (id) record_fuzzy(out, *id, *index.street(*id), found);
      }
      return;
    }
    size_t accepted = 0;
    tools.scan.start(variants.variant());
    while (accepted < kVariantScanCap) {
      const std::optional<uint32_t> id = tools.scan.next();
      if (!id) break;
      const StreetRecord street = *index.street(*id);
      if (outside_postcode_area(street, found.postcode)) continue;
      record_fuzzy(out, *id, street, found);
      ++accepted;
    }
  });
}

// Apostrophes stay inside subset pieces.
bool is_apostrophe(char32_t c) {
  return c == 0x27 || c == 0x60 || c == 0x2BB || c == 0x2BC || c == 0x2018 || c == 0x2019;
}

std::vector<std::string_view> subset_pieces(std::string_view word) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t pos = 0; pos < word.size();) {
    const utf8::Step step = utf8::decode_step(word, pos);
    const bool keeps = step.valid && (norm::is_alphanumeric(step.scalar) || is_apostrophe(step.scalar));
    if (!keeps) {
      if (pos > start) pieces.push_back(word.substr(start, pos - start));
      start = pos + step.length;
    }
    pos += step.length;
  }
  if (start < word.size()) pieces.push_back(word.substr(start));
  return pieces;
}

// The street ids of the postings entry at `offset`: a count, then gaps whose
// running sums are the ids. Stops early at the end of the section, and at
// kPostingsLimit ids.
std::vector<uint32_t> decode_postings(const Index& index, uint64_t offset) {
  std::vector<uint32_t> ids;
  ++core_stats().postings;
  if (offset >= index.word_postings.size()) return ids;
  size_t pos = static_cast<size_t>(offset);
  const std::optional<uint64_t> count = index::strict_varint(index.word_postings, pos);
  if (!count) return ids;
  uint64_t id = 0;
  for (uint64_t i = 0; i < *count && ids.size() < kPostingsLimit; ++i) {
    const std::optional<uint64_t> gap = index::strict_varint(index.word_postings, pos);
    if (!gap || __builtin_add_overflow(id, *gap, &id)) break;
    const std::optional<uint32_t> street = checked_street_id(index, id);
    if (!street) break;
    ids.push_back(*street);
  }
  return ids;
}

// The shortest usable postings list of one subset piece; empty when the
// piece is too short, a street-type word, or has no list of 1 to 16383 ids.
std::vector<uint32_t> shortest_postings(const Index& index, std::string_view piece) {
  const std::string word = norm::normalize(piece);
  if (utf8::char_count(word) < kMinWordChars) return {};
  std::vector<std::string> texts{word};
  if (std::string latin = norm::normalize(norm::translit_cyr_lat(word)); latin != word) {
    texts.push_back(std::move(latin));
  }
  if (std::string cyrillic = norm::normalize(norm::translit_lat_cyr(word));
      std::find(texts.begin(), texts.end(), cyrillic) == texts.end()) {
    texts.push_back(std::move(cyrillic));
  }
  const rules::Rules& rules = rules::current();
  for (const std::string& t : texts) {
    if (rules.is_street_type(t)) return {};
  }
  if (const std::string key = norm::phonetic_key(word); utf8::char_count(key) >= kMinPhoneticChars) {
    texts.push_back("~" + key);
  }
  std::vector<uint32_t> best;
  for (const std::string& t : texts) {
    const std::optional<uint64_t> offset = index.words_fst.get(t);
    if (!offset) continue;
    std::vector<uint32_t> ids = decode_postings(index, *offset);
    if (ids.empty() || ids.size() >= kPostingsLimit) continue;
    if (best.empty() || ids.size() < best.size()) best = std::move(ids);
  }
  return best;
}

// A piece's street list as the subset search intersects it: its shortest
// postings, ascending, no repeats (postings may name a street twice).
std::vector<uint32_t> piece_streets(const Index& index, std::string_view piece) {
  std::vector<uint32_t> ids = shortest_postings(index, piece);
  if (!std::is_sorted(ids.begin(), ids.end())) std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

// The streets on every list (each ascending, no repeats), ascending; the
// shortest lists are intersected first, and a list met twice (a piece
// written twice) once.
std::vector<uint32_t> intersect_lists(std::vector<const std::vector<uint32_t>*>& lists) {
  std::sort(lists.begin(), lists.end());
  lists.erase(std::unique(lists.begin(), lists.end()), lists.end());
  std::stable_sort(lists.begin(), lists.end(),
                   [](const auto* a, const auto* b) { return a->size() < b->size(); });
  std::vector<uint32_t> common = *lists.front();
  std::vector<uint32_t> next;
  for (size_t i = 1; i < lists.size() && !common.empty(); ++i) {
    next.clear();
    std::set_intersection(common.begin(), common.end(), lists[i]->begin(), lists[i]->end(),
                          std::back_inserter(next));
    common.swap(next);
  }
  return common;
}

// The streets of `ids` whose commune is one of `communes`, in order, at
// most `enough` of them.
std::vector<uint32_t> streets_in_communes(const Index& index, const std::vector<uint32_t>& ids,
                                          std::vector<uint32_t> communes, size_t enough) {
  std::sort(communes.begin(), communes.end());
  std::vector<uint32_t> kept;
  for (const uint32_t id : ids) {
    if (kept.size() == enough) break;
    if (std::binary_search(communes.begin(), communes.end(), *index.street_commune(id))) {
      kept.push_back(id);
    }
  }
  return kept;
}

// What the streets a subset split keeps depend on: its commune part, how
// many it may keep, and its distinct pieces with streets (in byte order),
// each part preceded by its length.
std::string subset_key(std::string_view commune_text, size_t enough,
                       std::vector<std::string_view> pieces) {
  std::sort(pieces.begin(), pieces.end());
  pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
  std::string key;
  const auto append = [&key](std::string_view part) {
    const uint32_t size = static_cast<uint32_t>(part.size());
    key.append(reinterpret_cast<const char*>(&size), sizeof size).append(part);
  };
  append(commune_text);
  append(std::to_string(enough));
  for (const std::string_view piece : pieces) append(piece);
  return key;
}

FoundFlags commune_flags(const NamedCommunes* communes, std::optional<uint32_t> postcode, bool ml) {
  FoundFlags found;
  found.commune_exact = communes && communes->exact;
  found.commune_prefix = communes && !communes->exact;
  found.postcode = postcode;
  found.ml = ml;
  return found;
}

}  // namespace

void fuzzy_street_search(const Index& index, std::span<const std::string_view> words,
                         std::optional<uint32_t> postcode, bool ml, LookupTools& tools,
                         CandidateMap& out) {
  out.clear();
  ++core_stats().collections;
  const size_t n = words.size();
  const JoinedWords joined(words);
  // A street part's characters: its words' and the spaces between them.
  std::vector<size_t> chars_of_first(n + 1, 0);
  for (size_t i = 0; i < n; ++i) {
    chars_of_first[i + 1] = chars_of_first[i] + (i > 0) + utf8::char_count(words[i]);
  }
  for (size_t s = 0; s <= std::min(n - 1, kMaxCommuneWords); ++s) {
    const std::string_view street = joined.first(n - s);
    ++core_stats().splits;
    const size_t chars = chars_of_first[n - s];
    if (chars < kMinFuzzyChars) continue;
    const uint32_t distance = chars < kDistanceTwoChars ? 1 : 2;
    const NamedCommunes* communes = nullptr;
    std::vector<std::string_view> codes;
    if (s > 0) {
      communes = &tools.communes.resolve(joined.last(s));
      if (communes->ids.empty()) continue;
      for (const uint32_t id : communes->ids) codes.push_back(*commune_code(index, id));
    }
    const FoundFlags found = commune_flags(communes, postcode, ml);
    EditVariantSearch variants(index, street);
    lookup_edit_variants(index, variants, s > 0, codes, found, tools, out);
    if (!out.empty()) {
      if (s > 0) break;
      continue;
    }
    if (!is_ascii(street)) continue;
    automaton_pass(index, street, distance, s > 0 ? &codes : nullptr, found, out);
    if (!out.empty() && s > 0) break;
  }
}

void token_subset_search(const Index& index, std::span<const std::string_view> words,
                         std::optional<uint32_t> postcode, LookupTools& tools, CandidateMap& out) {
  out.clear();
  ++core_stats().collections;
  const size_t n = words.size();
  const JoinedWords joined(words);
  for (size_t t = 1; t <= std::min(n - 1, kMaxCommuneWords); ++t) {
    ++core_stats().splits;
    const NamedCommunes& communes = tools.communes.resolve(joined.last(t));
    if (communes.ids.empty()) continue;
    std::vector<const std::vector<uint32_t>*> lists;
    std::vector<std::string_view> pieces;  // those with streets
    for (const std::string_view word : words.first(n - t)) {
      for (const std::string_view piece : subset_pieces(word)) {
        const std::vector<uint32_t>& streets = tools.texts.ids(
            TextLookups::Ids::piece_streets, piece, [&] { return piece_streets(index, piece); });
        if (streets.empty()) continue;
        lists.push_back(&streets);
        pieces.push_back(piece);
      }
    }
    if (lists.empty()) continue;
    const size_t contributed = lists.size();
    // At most kSubsetCap streets count, and a lone word naming
    // kSubsetCommonCount streets of the communes or more is too common to
    // count at all: the first that many settle each.
    const size_t enough = contributed == 1 ? kSubsetCommonCount : kSubsetCap;
    const std::vector<uint32_t>& streets = tools.texts.ids(
        TextLookups::Ids::subset_streets, subset_key(joined.last(t), enough, std::move(pieces)),
        [&] { return streets_in_communes(index, intersect_lists(lists), communes.ids, enough); });
    if (contributed == 1 && streets.size() >= kSubsetCommonCount) continue;
    const FoundFlags found = commune_flags(&communes, postcode, false);
    for (const uint32_t id : streets) record_fuzzy(out, id, *index.street(id), found);
  }
}

void run_fallbacks(const Index& index, const KeyTokens& key, std::span<const Hyp> hyps,
                   LookupTools& tools, KeptCandidates& kept) {
  const size_t tried = std::min(hyps.size(), kFallbackHypotheses);
  const int32_t best_score = best_possible_score(false, key.postcode.has_value());
  const auto unbeatable = [&] {
    return !kept.empty() && kept.score >= best_score && !diagnosis::enabled();
  };
  CandidateMap map;
  for (size_t h = 0; h < tried && !unbeatable(); ++h) {
    const std::vector<std::string_view> words = hypothesis_words(key, hyps[h]);
    if (words.empty()) continue;
    fuzzy_street_search(index, words, key.postcode, hyps[h].flag == 1, tools, map);
    kept.offer(map, h);
  }
  if (!kept.empty() || std::getenv("VORLANE_NO_SUBSET") != nullptr) return;
  for (size_t h = 0; h < tried && !unbeatable(); ++h) {
    const std::vector<std::string_view> words = hypothesis_words(key, hyps[h]);
    if (words.size() < 2) continue;
    token_subset_search(index, words, key.postcode, tools, map);
    kept.offer(map, h);
  }
}

}  // namespace vorlane::query
