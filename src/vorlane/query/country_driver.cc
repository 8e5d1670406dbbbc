// The country driver. Words of canonical text are its single-space pieces
// (the canonical form leaves no other white space); raw query tokens are
// cut at Unicode White_Space.
#include "vorlane/query/country_driver.h"

#include <algorithm>
#include <array>
#include <span>

#include "vorlane/base/utf8.h"
#include "vorlane/diagnosis/trace.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/script.h"
#include "vorlane/query/core_stage.h"
#include "vorlane/query/de_branch.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/query/key_words.h"
#include "vorlane/query/spine.h"
#include "vorlane/query/stages.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using Rows = std::vector<ScoredHit>;
using Words = std::vector<std::string_view>;

// Spanish street particles, the empty one first: the order variants are
// tried in.
constexpr std::array<std::string_view, 10> kParticles = {
    "", "de", "del", "dels", "de la", "de les", "de los", "de las", "de l", "d"};
// Words that may follow "de" as one particle with it.
constexpr std::array<std::string_view, 5> kArticlesAfterDe = {"l", "la", "las", "los", "les"};
constexpr std::array<std::string_view, 5> kPhoneFieldWords = {"tel", "fax", "phone", "telefono",
                                                              "telephone"};
constexpr std::array<std::string_view, 2> kSpainWords = {"spain", "espana"};
// A province code is this many capitals after a commune named by at most
// kMaxProvinceCommuneWords words.
constexpr size_t kProvinceCodeLength = 2;
constexpr size_t kMaxProvinceCommuneWords = 9;

template <size_t N>
bool is_one_of(std::string_view word, const std::array<std::string_view, N>& list) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

bool begins_with_digit(std::string_view word) {
  return !word.empty() && norm::is_ascii_digit(word.front());
}

std::string_view before_first_comma(std::string_view q) { return q.substr(0, q.find(',')); }

Rows core_stage(const Index& index, std::string_view q, size_t k) {
  return query_feats_d(index, q, k, false, DeStageArguments{});
}

// How many leading words of `words` (those after a street type) are
// particles: "d", "del", "dels" alone, "de" with an article after it.
size_t particle_word_count(std::span<const std::string_view> words) {
  if (words.empty()) return 0;
  const std::string_view first = words.front();
  if (first == "d" || first == "del" || first == "dels") return 1;
  if (first != "de") return 0;
  return words.size() >= 2 && is_one_of(words[1], kArticlesAfterDe) ? 2 : 1;
}

bool is_country_word(std::string_view word) {
  return rules::current().trailing_country_words().contains(word) || is_one_of(word, kSpainWords);
}

std::string words_without_country(std::span<const std::string_view> words) {
  Words kept;
  for (std::string_view w : words) {
    if (!is_country_word(w)) kept.push_back(w);
  }
  return join_words(kept);
}

// The commune of one comma field; empty when the field names none.
std::string field_commune(std::string_view field) {
  const std::string normalized = norm::normalize(field);
  const Words words = split_words(normalized);
  if (!words.empty() && is_one_of(words.front(), kPhoneFieldWords)) return {};
  Words kept;
  for (std::string_view w : words) {
    if (!is_country_word(w) && !all_ascii_digits(w)) kept.push_back(w);
  }
  return join_words(kept);
}

// The street words a Spanish query asks for: its first field up to the
// house number.
std::string requested_street(std::string_view q) {
  const std::string normalized = norm::normalize(before_first_comma(q));
  const Words words = split_words(normalized);
  const auto number = std::find_if(words.begin(), words.end(), begins_with_digit);
  return join_words(std::span<const std::string_view>(words.begin(), number));
}

bool is_requested_answer(const Hit& top, std::string_view commune, std::string_view street) {
  return !commune.empty() && norm::normalize(top.commune) == commune && !street.empty() &&
         norm::normalize(top.street) == street;
}

bool brings_digit_or_city(std::string_view text) {
  const std::string folded = norm::fold_homoglyphs(norm::normalize(text));
  return has_ascii_digit(folded) || mentions_arrondissement_city(folded);
}

// A query without a digit or an arrondissement city has nothing the
// particle rewrite can find, unless the sheet's rules may bring one in.
bool passes_rewrite_gate(const Index& index, std::string_view q) {
  return brings_digit_or_city(q) || rewrite_target_flag(index);
}

// The particle variants of a query's street field, built one at a time in
// the caller's buffer: street type, particle, the rest of the field, then
// the query's comma tail as typed. The variant equal to the query's own
// field is left out.
class EsParticleVariants {
 public:
  explicit EsParticleVariants(std::string_view q) : field_(norm::normalize(before_first_comma(q))) {
    if (const size_t comma = q.find(','); comma != std::string_view::npos) {
      tail_ = q.substr(comma + 1);
    }
    const Words words = split_words(field_);
    if (words.size() < 2 || !rules::current().is_street_type(words[0])) return;
    street_type_ = words[0];
    const size_t dropped = 1 + particle_word_count(std::span(words).subspan(1));
    rest_ = join_range(words, dropped, words.size());
  }

  // Holds a view into its own field.
  EsParticleVariants(const EsParticleVariants&) = delete;
  EsParticleVariants& operator=(const EsParticleVariants&) = delete;

  // The next variant in `out`; false when there are no more.
  bool next(std::string& out) {
    while (!rest_.empty() && particle_ < kParticles.size()) {
      const std::string_view particle = kParticles[particle_++];
      out.assign(street_type_);
      out += ' ';
      if (!particle.empty()) {
        out += particle;
        out += ' ';
      }
      out += rest_;
      if (out == field_) continue;
      if (tail_) {
        out += ',';
        out += *tail_;
      }
      return true;
    }
    return false;
  }

 private:
  std::string field_;
  std::optional<std::string_view> tail_;
  std::string_view street_type_;  // into field_
  std::string rest_;
  size_t particle_ = 0;
};

// Whether "{street_type} {street}" is the street key of some street of the
// sheet, in any commune.
bool is_street_key(const Index& index, std::string_view street_type, std::string_view street,
                   std::string& bounds) {
  bounds.assign(street_type);
  bounds += ' ';
  bounds += street;
  const size_t key_length = bounds.size();
  bounds += '\x1F';
  bounds.append(bounds, 0, key_length);
  bounds += ' ';
  const std::string_view all = bounds;
  auto stream = index.street_key_fst.range(ByteView(all.substr(0, key_length + 1)),
                                           ByteView(all.substr(key_length + 1)));
  return stream.next();
}

// A variant whose street (the words between its first word and its house
// number) is no street of the sheet under any street type is not worth a
// core-stage run. A variant without a number always is.
bool worth_trying(const Index& index, std::string_view variant, std::string& bounds) {
  const std::string normalized = norm::normalize(variant);
  const Words words = split_words(normalized);
  const auto number = std::find_if(words.begin(), words.end(), begins_with_digit);
  if (number == words.end()) return true;
  const size_t at = static_cast<size_t>(number - words.begin());
  if (at < 2) return false;
  const std::string street = join_range(words, 1, at);
  for (const std::string& street_type : rules::current().french_italian_street_types()) {
    if (is_street_key(index, street_type, street, bounds)) return true;
  }
  return is_street_key(index, words[0], street, bounds);
}

bool is_accepted_variant(const Rows& rows, std::string_view street_key,
                         std::string_view commune) {
  if (rows.empty() || commune.empty()) return false;
  const Hit& top = rows.front().first;
  return top.precision == kPrecisionHouse &&
         es_particle_street_key(top.street, false) == street_key &&
         norm::normalize(top.commune) == commune;
}

bool same_top_house(const Rows& a, const Rows& b) {
  const Hit& x = a.front().first;
  const Hit& y = b.front().first;
  return x.lat == y.lat && x.lon == y.lon && x.housenumber == y.housenumber;
}

Rows es_branch(const Index& index, std::string_view q, size_t k) {
  Rows rows = core_stage(index, q, k);
  const std::string commune = es_requested_commune(q);
  if (!rows.empty() && is_requested_answer(rows.front().first, commune, requested_street(q))) {
    return rows;
  }
  const std::string street_key = es_particle_street_key(q, true);
  if (street_key.empty() || !passes_rewrite_gate(index, q)) return rows;

  // A trace shows every core run, so the memo stays off while one records.
  std::optional<EsPreparedScope> memo;
  if (!diagnosis::enabled()) memo.emplace();
  EsParticleVariants variants(q);
  std::string variant;
  std::string bounds;
  while (variants.next(variant)) {
    if (!worth_trying(index, variant, bounds)) continue;
    Rows found = core_stage(index, variant, k);
    if (!is_accepted_variant(found, street_key, commune)) continue;
    const bool direct_as_good = !rows.empty() && same_top_house(rows, found) &&
                                rows.front().first.confidence >= found.front().first.confidence;
    return direct_as_good ? std::move(rows) : std::move(found);
  }
  return rows;
}

// The bytes of `q` from `begin` up to the first White_Space character.
size_t token_end(std::string_view q, size_t begin) {
  size_t pos = begin;
  while (pos < q.size()) {
    const utf8::Step step = utf8::decode_step(q, pos);
    if (step.valid && norm::is_white_space(step.scalar)) break;
    pos += step.length;
  }
  return pos;
}

size_t skip_white_space(std::string_view q, size_t pos) {
  while (pos < q.size()) {
    const utf8::Step step = utf8::decode_step(q, pos);
    if (!step.valid || !norm::is_white_space(step.scalar)) break;
    pos += step.length;
  }
  return pos;
}

// The token without the characters at either end that are neither letters
// nor digits.
std::string_view trim_to_alphanumeric(std::string_view token) {
  size_t first = token.size();
  size_t end = 0;
  for (size_t pos = 0; pos < token.size();) {
    const utf8::Step step = utf8::decode_step(token, pos);
    if (step.valid && norm::is_alphanumeric(step.scalar)) {
      first = std::min(first, pos);
      end = pos + step.length;
    }
    pos += step.length;
  }
  return first < end ? token.substr(first, end - first) : std::string_view{};
}

bool is_province_code(std::string_view text) {
  return text.size() == kProvinceCodeLength &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// Whether the last words of the text (up to kMaxProvinceCommuneWords) name
// a commune.
bool ends_in_commune(const Index& index, std::string_view text) {
  const std::string normalized = norm::normalize(text);
  const Words words = split_words(normalized);
  const size_t longest = std::min(words.size(), kMaxProvinceCommuneWords);
  for (size_t j = 1; j <= longest; ++j) {
    if (!index.communes_by_name(join_range(words, words.size() - j, words.size())).empty()) {
      return true;
    }
  }
  return false;
}

Rows it_branch(const Index& index, std::string_view q, size_t k) {
  if (const std::optional<std::string> cut = it_cut_province_codes(index, q)) {
    return core_stage(index, *cut, k);
  }
  return core_stage(index, q, k);
}

bool compute_rewrite_target_flag(const rules::Rules& rules) {
  const auto brings = [](const auto& pair) { return brings_digit_or_city(pair.second); };
  return std::any_of(rules.city_aliases().begin(), rules.city_aliases().end(), brings) ||
         std::any_of(rules.phrase_replacements().begin(), rules.phrase_replacements().end(),
                     brings);
}

}  // namespace

std::vector<ScoredHit> drive_country_branches(const Index& index, std::string_view q, size_t k) {
  const std::optional<std::string_view> country = index.country();
  if (country == "es") return es_branch(index, q, k);
  if (country == "de") return query_feats_de_branch(index, q, k);
  if (country == "it") return it_branch(index, q, k);
  return core_stage(index, q, k);
}

std::string es_requested_commune(std::string_view q) {
  if (q.find(',') != std::string_view::npos) {
    Words fields;
    for (size_t begin = 0;;) {
      const size_t comma = q.find(',', begin);
      fields.push_back(q.substr(begin, comma - begin));
      if (comma == std::string_view::npos) break;
      begin = comma + 1;
    }
    for (auto field = fields.rbegin(); field != fields.rend(); ++field) {
      if (std::string commune = field_commune(*field); !commune.empty()) return commune;
    }
    return {};
  }
  const std::string normalized = norm::normalize(q);
  const Words words = split_words(normalized);
  const auto last_number = std::find_if(words.rbegin(), words.rend(), begins_with_digit);
  if (last_number == words.rend()) return {};
  return words_without_country(std::span<const std::string_view>(last_number.base(), words.end()));
}

std::string es_particle_street_key(std::string_view q, bool cut) {
  const std::string normalized = norm::normalize(cut ? before_first_comma(q) : q);
  Words words = split_words(normalized);
  if (cut) words.erase(std::find_if(words.begin(), words.end(), begins_with_digit), words.end());
  if (words.empty()) return {};
  size_t start = 0;
  if (rules::current().is_street_type(words[0])) {
    start = 1 + particle_word_count(std::span(words).subspan(1));
  }
  return join_range(words, std::min(start, words.size()), words.size());
}

bool rewrite_target_flag(const Index& index) {
  return index.rewrite_target.get([&index] { return compute_rewrite_target_flag(index.active_rules()); });
}

std::optional<std::string> it_cut_province_codes(const Index& index, std::string_view q) {
  std::optional<std::string> out;
  size_t last = 0;
  for (size_t begin = skip_white_space(q, 0); begin < q.size();) {
    const size_t end = token_end(q, begin);
    if (is_province_code(trim_to_alphanumeric(q.substr(begin, end - begin))) &&
        ends_in_commune(index, q.substr(0, begin))) {
      if (!out) out.emplace();
      out->append(q.substr(last, begin - last));
      out->push_back(' ');
      last = end;
    }
    begin = skip_white_space(q, end);
  }
  if (out) out->append(q.substr(last));
  return out;
}

}  // namespace vorlane::query
