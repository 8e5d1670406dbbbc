// The audited compound fallback. Every doubt ends the call with no answer:
// a query of two shapes, too many street forms or communes, several
// streets, a hit that does not confirm every part of the query. The work
// is bounded before the roster scan (32 forms, 16 communes, 64 pairs of
// them, 8192 roster entries).
#include "vorlane/query/de_audited.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "vorlane/base/strings.h"
#include "vorlane/base/utf8.h"
#include "vorlane/de/chars.h"
#include "vorlane/de/street_variants.h"
#include "vorlane/de/text.h"
#include "vorlane/de/variants.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/de_roster.h"
#include "vorlane/query/de_rows.h"
#include "vorlane/query/de_text.h"
#include "vorlane/query/decimal.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using Spec = DeAuditedCompoundSpec;
using std::nullopt;
using std::string_view;

constexpr size_t kMaxQueryBytes = 512;
constexpr size_t kMaxCareOfBytes = 384;
constexpr size_t kMaxInnerBytes = 80;
constexpr size_t kMaxFieldBytes = 96;
constexpr size_t kFieldCount = 8;
constexpr size_t kMaxFormBytes = 96;
constexpr size_t kMaxForms = 32;
constexpr size_t kMaxCommunes = 16;
constexpr size_t kMaxFormCommunePairs = 64;
// Characters no audited query may hold.
constexpr string_view kRefused = "\t\n\r;|";

bool is_white_space_at(string_view text, size_t pos) {
  return pos < text.size() && norm::is_white_space(de::char_at(text, pos).c);
}

// A house of one to four ASCII digits without a leading zero.
std::optional<uint32_t> plain_house(string_view text) {
  if (text.empty() || text.size() > 4 || text[0] == '0' || !de::all_digits(text)) return nullopt;
  return parse_u32(text);
}

bool letters_without_digits(string_view text) {
  return de::contains_letter(text) && !de::has_digit(text);
}

// "a/b" with a < b, in an "Aufgang" note: the entrance spans two houses.
bool read_house_pair(string_view house, string_view inner, Spec& spec) {
  if (de::count_byte(house, '/') != 1) return false;
  const size_t slash = house.find('/');
  const string_view left = house.substr(0, slash);
  const string_view right = house.substr(slash + 1);
  if (left.starts_with('0') || right.starts_with('0')) return false;
  const std::string note = norm::normalize(inner);
  if (note.substr(0, note.find(' ')) != "aufgang") return false;
  const auto a = parse_u32(left);
  const auto b = parse_u32(right);
  if (!a || *a == 0 || !b || *a >= *b) return false;
  spec.house = *a;
  spec.extra_houses = {*b};
  spec.shape = Spec::kEntrancePair;
  return true;
}

// "Hauptstr. 12 (Hinterhaus), 10115 Berlin".
std::optional<Spec> entrance_spec(string_view q) {
  if (de::count_byte(q, '(') != 1 || de::count_byte(q, ')') != 1) return nullopt;
  const size_t close = q.rfind("),");
  if (close == string_view::npos || !is_white_space_at(q, close + 2)) return nullopt;
  const size_t open = q.rfind('(', close);
  if (open == string_view::npos || open == 0) return nullopt;
  if (!norm::is_white_space(de::char_before(q, open).c)) return nullopt;

  const string_view inner = de::trim_white_space(q.substr(open + 1, close - open - 1));
  if (inner.empty() || inner.size() > kMaxInnerBytes || !de::contains_letter(inner)) {
    return nullopt;
  }
  const string_view head = de::trim_end_white_space(q.substr(0, open));
  if (head.empty() || de::has_any_of(head, ",|;")) return nullopt;
  const auto split = de::split_at_last_white_space(head);
  if (!split) return nullopt;
  const string_view street = de::trim_end_white_space(split->first);
  const string_view house = de::trim_white_space(split->second);
  if (street.empty() || !letters_without_digits(street)) return nullopt;

  Spec spec;
  if (house.find('/') == string_view::npos) {
    const auto number = plain_house(house);
    if (!number) return nullopt;
    spec.house = *number;
    spec.shape = Spec::kSingleHouse;
  } else if (!read_house_pair(house, inner, spec)) {
    return nullopt;
  }

  const auto tail = de_audited_postcode_locality(de::trim_start_white_space(q.substr(close + 2)));
  if (!tail) return nullopt;
  spec.product_street = de_product_normalize_street(street);
  auto locality = de_audited_locality(tail->locality);
  if (spec.product_street.empty() || !locality) return nullopt;
  spec.street = std::string(street);
  spec.postcode_text = tail->postcode_text;
  spec.postcode = tail->postcode;
  spec.locality = std::move(*locality);
  return spec;
}

// "Firma, 12, Hauptstr, Ort, Kreis, Berlin, Land, 10115": eight comma
// fields, the house second, the street third, the locality sixth.
std::optional<Spec> field_list_spec(string_view q) {
  const std::vector<string_view> fields = de::comma_fields(q);
  if (fields.size() != kFieldCount) return nullopt;
  for (const string_view f : fields) {
    if (f.empty() || f.size() > kMaxFieldBytes || de::has_any_of(f, kRefused)) return nullopt;
  }
  const auto house = plain_house(fields[1]);
  if (!house || !letters_without_digits(fields[0])) return nullopt;
  for (size_t i = 2; i < 7; ++i) {
    if (!letters_without_digits(fields[i])) return nullopt;
  }
  if (!is_five_digit_postcode(fields[7])) return nullopt;
  Spec spec;
  spec.product_street = de_product_normalize_street(fields[2]);
  spec.locality = de_product_normalize_text(fields[5]);
  if (spec.product_street.empty() || spec.locality.empty()) return nullopt;
  spec.street = std::string(fields[2]);
  spec.postcode_text = std::string(fields[7]);
  spec.house = *house;
  spec.postcode = *parse_u32(fields[7]);
  spec.shape = Spec::kFieldList;
  return spec;
}

// "c/o Meier Lindenallee 5 Berlin, 10115 Berlin": the first field repeats
// the locality after a one-word compound street and its house.
std::optional<Spec> care_of_spec(string_view q) {
  if (q.size() > kMaxCareOfBytes || q.size() < 4) return nullopt;
  if ((q[0] != 'c' && q[0] != 'C') || q[1] != '/' || (q[2] != 'o' && q[2] != 'O') ||
      !is_white_space_at(q, 3)) {
    return nullopt;
  }
  const std::vector<string_view> fields = de::comma_fields(q);
  if (fields.size() != 2) return nullopt;
  const auto tail = de_audited_postcode_locality(fields[1]);
  if (!tail) return nullopt;
  std::string locality = de_product_normalize_text(tail->locality);
  const std::string line = de_product_normalize_text(de::trim_start_white_space(fields[0].substr(3)));
  const std::string ending = " " + locality;
  if (!line.ends_with(ending)) return nullopt;
  const string_view rest =
      de::trim_end_white_space(string_view(line).substr(0, line.size() - ending.size()));

  const std::vector<string_view> words = de::split_white_space(rest);
  if (words.size() < 3) return nullopt;
  const auto house = plain_house(words.back());
  const string_view street = words[words.size() - 2];
  if (!house || !de::contains_letter(street)) return nullopt;
  for (size_t i = 0; i + 2 < words.size(); ++i) {
    if (de::has_digit(words[i])) return nullopt;
  }
  auto compound = de_product_normalize_compound_street(street);
  if (!compound) return nullopt;
  Spec spec;
  spec.street = std::string(street);
  spec.product_street = std::move(*compound);
  spec.postcode_text = tail->postcode_text;
  spec.locality = std::move(locality);
  spec.house = *house;
  spec.postcode = tail->postcode;
  spec.shape = Spec::kCareOf;
  return spec;
}

bool is_ascii(string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Distinct street spellings in the order found.
class StreetForms {
 public:
  void add(std::string text) {
    if (seen_.insert(text).second) list_.push_back(std::move(text));
  }
  bool contains(const std::string& text) const { return seen_.contains(text); }
  size_t size() const { return list_.size(); }

 private:
  std::vector<std::string> list_;
  std::unordered_set<std::string> seen_;
};

// "...str" written out as "...strasse" and as "... strasse".
void add_spelled_out_type(StreetForms& forms, string_view text) {
  const size_t space = text.rfind(' ');
  const string_view last = space == string_view::npos ? text : text.substr(space + 1);
  const string_view prefix = space == string_view::npos ? string_view() : text.substr(0, space);
  if (last == "str") {
    if (space != string_view::npos) forms.add(std::string(prefix) + " strasse");
    return;
  }
  constexpr size_t kMinStem = 2;
  if (last.size() <= 3 || !last.ends_with("str") || last.size() - 3 < kMinStem) return;
  std::string stem(prefix);
  if (!prefix.empty()) stem += ' ';
  stem.append(last.substr(0, last.size() - 3));
  forms.add(stem + "strasse");
  forms.add(stem + " strasse");
}

// The spellings under which the sheet may hold the parsed street; their
// count bounds the call's work.
StreetForms street_forms(const Spec& spec) {
  StreetForms forms;
  for (const de::QueryVariant& row : de::query_variants(spec.street)) {
    std::string t = replace_all(norm::normalize(row.text), "ß", "ss");
    if (t.empty() || t.size() > kMaxFormBytes || !is_ascii(t) || de::has_digit(t)) continue;
    forms.add(t);
    add_spelled_out_type(forms, t);
    for (const std::string& v : de::street_variants(t)) {
      std::string form = replace_all(v, "ß", "ss");
      if (form.size() <= kMaxFormBytes && is_ascii(form)) forms.add(std::move(form));
    }
  }
  std::string product = de_product_normalize_street(spec.street);
  if (!product.empty() && product.size() <= kMaxFormBytes && is_ascii(product)) {
    forms.add(std::move(product));
  }
  if (!forms.contains(spec.product_street)) forms.add(spec.product_street);
  return forms;
}

// Whether the street holds each requested house as an exact record under
// the typed postcode.
bool holds_houses(const Index& index, ExactHouseCache& cache, uint32_t street_id,
                  const StreetRecord& street, const Spec& spec) {
  if (!exact_house_postcode_set_candidate_cached(index, cache, street_id, street, spec.house, 0,
                                                 spec.extra_houses, spec.postcode)) {
    return false;
  }
  const auto record_matches = [&](uint32_t number) {
    const auto house = index.find_house(street_id, street, number, 0, true, spec.postcode);
    return house && house->kind == HouseMatchKind::Exact && house->number == number &&
           house->suffix_id == 0 &&
           index.postcode_for_house(street, house->postcode_ref) == spec.postcode_text;
  };
  return record_matches(spec.house) &&
         std::all_of(spec.extra_houses.begin(), spec.extra_houses.end(), record_matches);
}

// The one street of the parsed postcode, locality and name that holds every
// requested house.
std::optional<uint32_t> unique_roster_street(const Index& index, const Spec& spec) {
  const auto range = de_roster_range(index.de_postcode_streets, spec.postcode);
  if (range.empty() || range.size() > kDeRosterScanLimit) return nullopt;
  ExactHouseCache cache;
  std::unordered_map<uint32_t, bool> commune_matches;
  std::vector<uint32_t> found;
  for (const auto& [postcode, street_id] : range) {
    const auto street = index.street(street_id);
    if (!street) continue;
    auto [it, fresh] = commune_matches.try_emplace(street->commune, false);
    if (fresh) {
      it->second = de_product_normalize_text(index.commune_name(street->commune)) == spec.locality;
    }
    if (!it->second) continue;
    if (de_product_normalize_street(index.name(street->name_offset)) != spec.product_street) {
      continue;
    }
    if (holds_houses(index, cache, street_id, *street, spec)) found.push_back(street_id);
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  if (found.size() != 1) return nullopt;
  return found.front();
}

// The house hit of the street, kept only when it confirms every part of
// the parsed address.
std::optional<ScoredHit> confirmed_hit(const Index& index, uint32_t street_id, const Spec& spec) {
  using namespace de_rows;
  MatchInfo m;
  m.street_exact = true;
  m.commune_exact = true;
  m.pc_exact = true;
  m.pc_dept = true;
  const auto words = query_words(spec.product_street);
  RankedHit row = index.make_hit(street_id, m, true, spec.house, 0, true, spec.postcode, words);
  const Hit& hit = row.hit;
  if (hit.precision != kPrecisionHouse || hit.housenumber != std::to_string(spec.house) ||
      hit.postcode != spec.postcode_text ||
      de_product_normalize_text(hit.commune) != spec.locality ||
      de_product_normalize_street(hit.street) != spec.product_street ||
      !has(row.features, kStreetExact) || !has(row.features, kPostcodeExact) ||
      !has(row.features, kHouseRep)) {
    return nullopt;
  }
  return ScoredHit{std::move(row.hit), row.features};
}

}  // namespace

std::optional<DeAuditedCompoundSpec> de_audited_compound_spec(string_view query) {
  if (query.size() > kMaxQueryBytes || de::trim_white_space(query) != query ||
      de::has_any_of(query, kRefused)) {
    return nullopt;
  }
  std::optional<Spec> specs[] = {entrance_spec(query), field_list_spec(query),
                                 care_of_spec(query)};
  std::optional<Spec> only;
  for (auto& spec : specs) {
    if (!spec) continue;
    if (only) return nullopt;
    only = std::move(spec);
  }
  return only;
}

std::optional<std::vector<ScoredHit>> de_audited_compound_fallback(const Index& index,
                                                                   std::string_view query) {
  const auto spec = de_audited_compound_spec(query);
  if (!spec) return nullopt;
  const size_t forms = street_forms(*spec).size();
  if (forms > kMaxForms) return nullopt;
  const size_t communes = index.communes_by_name(spec->locality).size();
  if (communes == 0 || communes > kMaxCommunes || forms * communes > kMaxFormCommunePairs) {
    return nullopt;
  }
  const auto street_id = unique_roster_street(index, *spec);
  if (!street_id) return nullopt;
  auto row = confirmed_hit(index, *street_id, *spec);
  if (!row) return nullopt;
  de_rows::add_flag(row->first, "de_audited_compound");
  if (spec->shape == Spec::kEntrancePair) de_rows::add_flag(row->first, "de_house_set_exact");
  std::vector<ScoredHit> answer;
  answer.push_back(std::move(*row));
  return answer;
}

}  // namespace vorlane::query
