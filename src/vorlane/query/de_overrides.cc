// The qualifier move, the strict-source typo override and the blank-postcode
// house override of the German branch. Their street loops are bounded by
// the roster range or the display projection (at most 8192 streets) and the
// blank-postcode step by one budget of 8192 decoded house records; typo
// candidates pass the first-byte and length filters before any distance is
// computed.
#include "vorlane/query/de_overrides.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

#include "vorlane/de/chars.h"
#include "vorlane/de/text.h"
#include "vorlane/query/de_rescue.h"
#include "vorlane/query/de_roster.h"
#include "vorlane/query/de_rows.h"
#include "vorlane/query/de_text.h"
#include "vorlane/query/decimal.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using namespace de_rows;
using std::nullopt;
using std::string_view;

constexpr size_t kMaxQualifiedStreetBytes = 192;
// Rows after the top that the qualifier move looks at.
constexpr size_t kQualifierRowsLooked = 4;
constexpr size_t kMaxTypoStreetBytes = 96;
// Typo candidates differ by fewer bytes than this once white space is gone.
constexpr size_t kTypoLengthSlack = 3;
constexpr size_t kMaxTypoEdits = 2;
// The matching ratio 2M / (la + lb) must reach 0.9: 20 M >= 9 (la + lb).
constexpr size_t kRatioNumerator = 20;
constexpr size_t kRatioDenominator = 9;
// House records the blank-postcode step decodes across all its streets.
constexpr uint64_t kBlankRecordBudget = 8192;

// A character below U+0020 or in U+007F..U+009F.
bool has_control_character(string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const de::CharAt ch = de::char_at(text, pos);
    if (ch.c < 0x20 || (ch.c >= 0x7F && ch.c <= 0x9F)) return true;
    pos += ch.length;
  }
  return false;
}

bool is_ascii_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

std::string without_ascii_white_space(string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (!is_ascii_white_space(c)) out.push_back(c);
  }
  return out;
}

}  // namespace

bool de_qualified_street_row(const ScoredHit& row, const DeStreetLocalityQualifierSpec& spec) {
  const Hit& hit = row.first;
  const string_view name = hit.street;
  if (name.empty() || name.size() > kMaxQualifiedStreetBytes ||
      de::trim_white_space(name) != name || !name.ends_with(')')) {
    return false;
  }
  const size_t open = name.find(" (");
  if (open == string_view::npos || name.find(" (", open + 1) != string_view::npos) return false;
  const string_view before = name.substr(0, open);
  const string_view inside = name.substr(open + 2, name.size() - open - 3);
  if (before.empty() || inside.empty() || de::has_any_of(before, "()") ||
      de::has_any_of(inside, "()") || has_control_character(inside)) {
    return false;
  }
  return de_product_normalize_street(before) == spec.street &&
         de_product_normalize_text(inside) == spec.locality &&
         hit.precision == kPrecisionHouse && has(row, kHouseRep) && has(row, kStreetExact) &&
         hit.postcode.empty() && de_house_token_matches(hit, spec.house) &&
         de_locality_is_exact_or_query_prefix(spec.locality,
                                              de_product_normalize_text(hit.commune));
}

std::optional<size_t> de_street_locality_qualifier_move(std::span<const ScoredHit> best,
                                                        const DeStreetLocalityQualifierSpec& spec) {
  if (best.empty()) return nullopt;
  const ScoredHit& top = best.front();
  const Hit& hit = top.first;
  if (hit.precision != kPrecisionHouse || has(top, kPostcodeExact) || !has(top, kPostcodeDept) ||
      !has(top, kHouseRep) || !has(top, kStreetExact)) {
    return nullopt;
  }
  if (!is_five_digit_postcode(hit.postcode) || hit.postcode == spec.postcode) return nullopt;
  if (de_product_normalize_street(hit.street) != spec.street ||
      !de_house_token_matches(hit, spec.house)) {
    return nullopt;
  }
  std::optional<size_t> found;
  const size_t end = std::min(best.size(), 1 + kQualifierRowsLooked);
  for (size_t i = 1; i < end; ++i) {
    if (!de_qualified_street_row(best[i], spec)) continue;
    if (found) return nullopt;
    found = i;
  }
  return found;
}

size_t de_osa_distance(string_view a, string_view b, size_t limit) {
  const size_t cap = limit + 1;
  const size_t m = b.size();
  if (a.size() > m + limit || m > a.size() + limit) return cap;
  // Three rows of the table (i - 2, i - 1, i), on the stack for street-sized
  // texts. Only the band |i - j| <= limit is computed; the cell just outside
  // it on either side holds `cap`.
  constexpr size_t kStackRow = kMaxTypoStreetBytes + 1;
  std::array<size_t, 3 * kStackRow> stack;
  std::vector<size_t> heap;
  size_t* base = stack.data();
  if (m + 1 > kStackRow) {
    heap.resize(3 * (m + 1));
    base = heap.data();
  }
  size_t* two_back = base;
  size_t* one_back = base + (m + 1);
  size_t* row = base + 2 * (m + 1);
  for (size_t j = 0; j <= m; ++j) one_back[j] = std::min(j, cap);
  for (size_t i = 1; i <= a.size(); ++i) {
    const size_t lo = i > limit ? i - limit : 1;
    const size_t hi = std::min(m, i + limit);
    row[lo - 1] = lo == 1 ? std::min(i, cap) : cap;
    for (size_t j = lo; j <= hi; ++j) {
      const size_t substitution = one_back[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      size_t best = std::min({one_back[j] + 1, row[j - 1] + 1, substitution});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        best = std::min(best, two_back[j - 2] + 1);
      }
      row[j] = std::min(best, cap);
    }
    if (hi < m) row[hi + 1] = cap;
    size_t* const oldest = two_back;
    two_back = one_back;
    one_back = row;
    row = oldest;
  }
  return one_back[m];
}

namespace {

struct Block {
  size_t a = 0;
  size_t b = 0;
  size_t size = 0;
};

// The longest common block of a[alo, ahi) and b[blo, bhi); of equal ones
// the earliest in a, then in b. `run` and `previous` are scratch rows of
// b.size() + 1 entries.
Block longest_block(string_view a, string_view b, size_t alo, size_t ahi, size_t blo, size_t bhi,
                    std::vector<size_t>& run, std::vector<size_t>& previous) {
  Block best{alo, blo, 0};
  std::fill(previous.begin() + static_cast<ptrdiff_t>(blo),
            previous.begin() + static_cast<ptrdiff_t>(bhi) + 1, 0);
  for (size_t i = alo; i < ahi; ++i) {
    run[blo] = 0;
    for (size_t j = blo; j < bhi; ++j) {
      // run[j + 1]: length of the common run ending at a[i], b[j].
      run[j + 1] = a[i] == b[j] ? previous[j] + 1 : 0;
      if (run[j + 1] > best.size) best = {i + 1 - run[j + 1], j + 1 - run[j + 1], run[j + 1]};
    }
    std::swap(run, previous);
  }
  return best;
}

size_t matching_bytes_in(string_view a, string_view b, size_t alo, size_t ahi, size_t blo,
                         size_t bhi, std::vector<size_t>& run, std::vector<size_t>& previous) {
  if (alo >= ahi || blo >= bhi) return 0;
  const Block block = longest_block(a, b, alo, ahi, blo, bhi, run, previous);
  if (block.size == 0) return 0;
  return block.size + matching_bytes_in(a, b, alo, block.a, blo, block.b, run, previous) +
         matching_bytes_in(a, b, block.a + block.size, ahi, block.b + block.size, bhi, run,
                           previous);
}

}  // namespace

size_t de_matching_bytes(string_view a, string_view b) {
  std::vector<size_t> run(b.size() + 1), previous(b.size() + 1);
  return matching_bytes_in(a, b, 0, a.size(), 0, b.size(), run, previous);
}

namespace {

// The product names of communes, each folded once per scan.
class CommuneForms {
 public:
  explicit CommuneForms(const Index& index) : index_(index) {}
  const std::string& of(uint32_t commune) {
    auto [it, fresh] = forms_.try_emplace(commune);
    if (fresh) it->second = de_product_normalize_text(index_.commune_name(commune));
    return it->second;
  }

 private:
  const Index& index_;
  std::unordered_map<uint32_t, std::string> forms_;
};

// Whether the street name `name` (product form) is a typing error of the
// typed street: same first byte, one or two edits, similar enough overall.
bool is_typo_of(string_view typed, string_view typed_compact, string_view name) {
  if (name.empty() || name.size() > kMaxTypoStreetBytes || name == typed || name[0] != typed[0]) {
    return false;
  }
  const std::string compact = without_ascii_white_space(name);
  const size_t length_gap = compact.size() > typed_compact.size()
                                ? compact.size() - typed_compact.size()
                                : typed_compact.size() - compact.size();
  if (length_gap >= kTypoLengthSlack) return false;
  const size_t edits = de_osa_distance(typed_compact, compact, kMaxTypoEdits);
  if (edits < 1 || edits > kMaxTypoEdits) return false;
  return kRatioNumerator * de_matching_bytes(typed, name) >=
         kRatioDenominator * (typed.size() + name.size());
}

// The street holds the typed house without suffix as an exact record in
// the typed postcode.
bool holds_typed_house(const Index& index, ExactHouseCache& cache, uint32_t street_id,
                       const StreetRecord& street, const DeStrictSourceStreetTypoSpec& spec) {
  if (!exact_house_postcode_candidate_cached(index, cache, street_id, street, spec.house, 0,
                                             spec.postcode)) {
    return false;
  }
  const auto house = index.find_house(street_id, street, spec.house, 0, true, spec.postcode);
  return house && house->kind == HouseMatchKind::Exact &&
         index.postcode_for_house(street, house->postcode_ref) == spec.postcode_text;
}

struct TypoPair {
  uint32_t street_id;
  bool locality_exact;  // the street's commune is the typed locality
};

std::optional<std::vector<ScoredHit>> typo_hit(const Index& index, const TypoPair& pair,
                                               const DeStrictSourceStreetTypoSpec& spec) {
  MatchInfo m;
  m.street_fuzzy = true;
  m.pc_exact = true;
  m.pc_dept = true;
  m.commune_exact = pair.locality_exact;
  m.commune_prefix = !pair.locality_exact;
  const auto words = query_words(spec.street);
  RankedHit row =
      index.make_hit(pair.street_id, m, true, spec.house, 0, true, spec.postcode, words);
  if (row.hit.precision != kPrecisionHouse || !has(row.features, kPostcodeExact) ||
      !has(row.features, kHouseRep) || row.hit.housenumber != std::to_string(spec.house) ||
      row.hit.postcode != spec.postcode_text) {
    return nullopt;
  }
  add_flag(row.hit, "de_strict_source_street_typo");
  std::vector<ScoredHit> answer;
  answer.emplace_back(std::move(row.hit), row.features);
  return answer;
}

// The one street of the postcode's range whose name is a typing error of
// the typed street and that holds the typed house there.
std::optional<std::vector<ScoredHit>> roster_typo(
    const Index& index, std::span<const std::pair<uint32_t, uint32_t>> range,
    const DeStrictSourceStreetTypoSpec& spec) {
  if (spec.street.empty() || spec.street.size() > kMaxTypoStreetBytes) return nullopt;
  const std::string typed_compact = without_ascii_white_space(spec.street);
  ExactHouseCache cache;
  CommuneForms communes(index);
  std::map<std::string, std::vector<TypoPair>> groups;
  for (const auto& [postcode, street_id] : range) {
    const auto street = index.street(street_id);
    if (!street) continue;
    std::string name = de_product_normalize_street(index.name(street->name_offset));
    if (!is_typo_of(spec.street, typed_compact, name)) continue;
    const std::string& commune = communes.of(street->commune);
    if (!de_p3_locality_compatible(spec.locality, commune)) continue;
    if (!holds_typed_house(index, cache, street_id, *street, spec)) continue;
    groups[std::move(name)].push_back({street_id, commune == spec.locality});
  }
  if (groups.size() != 1) return nullopt;
  std::vector<TypoPair>& pairs = groups.begin()->second;
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const TypoPair& x, const TypoPair& y) { return x.street_id < y.street_id; });
  return typo_hit(index, pairs.front(), spec);
}

// The best answer without the rows that name the typed house in another
// postcode and an incompatible locality; nothing when no row goes.
std::optional<std::vector<ScoredHit>> filter_contradicting_rows(
    std::span<const ScoredHit> best, const DeStrictSourceStreetTypoSpec& spec) {
  const std::string house = std::to_string(spec.house);
  std::vector<ScoredHit> kept;
  bool dropped = false;
  for (const ScoredHit& row : best) {
    const Hit& hit = row.first;
    const bool contradicts =
        !has_flag(hit, "de_city_alias") && !has_flag(hit, "de_official_commune_alias") &&
        hit.housenumber == house && !hit.postcode.empty() && hit.postcode != spec.postcode_text &&
        !de_p3_locality_compatible(de_product_normalize_text(hit.commune), spec.locality);
    if (contradicts) {
      dropped = true;
    } else {
      kept.push_back(row);
    }
  }
  if (!dropped) return nullopt;
  return kept;
}

}  // namespace

std::optional<std::vector<ScoredHit>> de_strict_source_street_typo_answer(
    const Index& index, std::span<const ScoredHit> best, const DeStrictSourceStreetTypoSpec& spec) {
  if (!best.empty()) {
    const Hit& top = best.front().first;
    if (top.precision == kPrecisionHouse && top.housenumber == std::to_string(spec.house) &&
        top.postcode == spec.postcode_text) {
      return nullopt;
    }
  }
  const auto range = de_roster_range(index.de_postcode_streets, spec.postcode);
  if (range.empty() || range.size() > kDeRosterScanLimit) {
    return filter_contradicting_rows(best, spec);
  }
  return roster_typo(index, range, spec);
}

namespace {

// "12a" (digits, then at most one ASCII letter) and a numeric postcode.
std::optional<DeBlankPostcodeHouseSpec> blank_spec(const DeStreetLocalityQualifierSpec& s) {
  size_t digits = 0;
  while (digits < s.house.size() && de::is_digit_byte(s.house[digits])) ++digits;
  const string_view suffix = string_view(s.house).substr(digits);
  if (digits == 0 || suffix.size() > 1 || (suffix.size() == 1 && !de::is_ascii_letter_byte(suffix[0]))) {
    return nullopt;
  }
  const auto house = parse_u32(string_view(s.house).substr(0, digits));
  const auto postcode = parse_u32(s.postcode);
  if (!house || !postcode) return nullopt;
  return DeBlankPostcodeHouseSpec{s.street, s.locality, std::string(suffix), s.postcode, *house,
                                  *postcode};
}

// The best answer is only near the typed house, on the typed street and
// locality in the typed postcode, and reached without rewriting.
bool best_is_near_typed_house(std::span<const ScoredHit> best,
                              const DeStreetLocalityQualifierSpec& s) {
  if (best.empty()) return false;
  const ScoredHit& top = best.front();
  const Hit& hit = top.first;
  const bool near_or_interp =
      hit.precision == kPrecisionNear || hit.precision == kPrecisionInterp;
  if (!near_or_interp || !has(top, kStreetExact) || !has(top, kCommuneExact) ||
      !has(top, kPostcodeExact) || has(top, kHouseRep)) {
    return false;
  }
  for (const string_view flag :
       {"dropped_prefix", "dropped_suffix", "de_city_alias", "de_official_commune_alias"}) {
    if (has_flag(hit, flag)) return false;
  }
  return hit.postcode == s.postcode && de_product_normalize_street(hit.street) == s.street &&
         de_product_normalize_text(hit.commune) == s.locality;
}

struct BlankCandidate {
  uint32_t street_id;
  std::string postcode;
};

// The one house record of the number on the projected streets of the
// parsed street and locality; nothing when none, several, or the budget
// runs out.
std::optional<BlankCandidate> unique_blank_record(const Index& index,
                                                  std::span<const uint32_t> street_ids,
                                                  const DeBlankPostcodeHouseSpec& b,
                                                  uint32_t suffix_id) {
  uint64_t budget = kBlankRecordBudget;
  std::optional<BlankCandidate> found;
  for (const uint32_t street_id : street_ids) {
    const auto street = index.street(street_id);
    if (!street || de_product_normalize_street(index.name(street->name_offset)) != b.street ||
        de_product_normalize_text(index.commune_name(street->commune)) != b.locality) {
      continue;
    }
    auto postcodes =
        de_exact_house_record_postcodes(index, street_id, *street, b.house, suffix_id, budget);
    if (!postcodes) return nullopt;
    for (std::string& postcode : *postcodes) {
      if (found) return nullopt;
      found = BlankCandidate{street_id, std::move(postcode)};
    }
  }
  return found;
}

}  // namespace

std::optional<std::vector<ScoredHit>> de_blank_postcode_house_answer(
    const Index& index, string_view q, std::span<const ScoredHit> best,
    const std::optional<DeStreetLocalityQualifierSpec>& s) {
  if (index.country() != "de" || index.version < 7 || de::has_any_of(q, "()/\\") || !s) {
    return nullopt;
  }
  const auto b = blank_spec(*s);
  if (!b || !best_is_near_typed_house(best, *s)) return nullopt;
  uint32_t suffix_id = 0;
  if (!b->suffix.empty()) {
    const auto it = index.suffix_ids.find(b->suffix);
    if (it == index.suffix_ids.end()) return nullopt;
    suffix_id = it->second;
  }
  const auto anchor = de_blank_postcode_anchor_commune_id(index, *b);
  const auto ids = index.de_blank_postcode_display_streets.get(s->street, s->locality);
  if (!anchor || !ids || ids->empty() || ids->size() > kDeRosterScanLimit) return nullopt;
  const auto candidate = unique_blank_record(index, *ids, *b, suffix_id);
  if (!candidate) return nullopt;
  const auto street = index.street(candidate->street_id);
  if (!street || street->commune != *anchor || !candidate->postcode.empty() ||
      street->postcode != 0 || street->postcode_field != 0) {
    return nullopt;
  }

  MatchInfo m;
  m.street_exact = true;
  m.commune_exact = true;
  const auto words = query_words(s->street);
  RankedHit row =
      index.make_hit(candidate->street_id, m, true, b->house, suffix_id, false, 0, words);
  const Hit& hit = row.hit;
  if (hit.precision != kPrecisionHouse || !has(row.features, kStreetExact) ||
      !has(row.features, kCommuneExact) || !has(row.features, kHouseRep) ||
      has(row.features, kPostcodeExact) || has(row.features, kPostcodeDept) ||
      hit.housenumber != index.house_number(b->house, suffix_id) || !hit.postcode.empty() ||
      de_product_normalize_street(hit.street) != s->street ||
      de_product_normalize_text(hit.commune) != s->locality) {
    return nullopt;
  }
  add_flag(row.hit, "de_blank_postcode_house_override");
  std::vector<ScoredHit> answer;
  answer.emplace_back(std::move(row.hit), row.features);
  return answer;
}

}  // namespace vorlane::query
