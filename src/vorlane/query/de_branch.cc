// The German branch: the row loop over the query's variant rows and, after
// it, the rescue phase, the narrow overrides, the Frankfurt flag and the cut
// to k. Everything is computed for one call: the variant rows and the
// parses of the query once each, the rows' core-stage answers once per
// distinct (prepared key, effects, commune).
#include "vorlane/query/de_branch.h"

#include <algorithm>
#include <climits>
#include <tuple>

#include "vorlane/de/chars.h"
#include "vorlane/de/cleanups.h"
#include "vorlane/de/text.h"
#include "vorlane/de/variants.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/core.h"
#include "vorlane/query/core_stage.h"
#include "vorlane/query/de_audited.h"
#include "vorlane/query/de_overrides.h"
#include "vorlane/query/de_parsers.h"
#include "vorlane/query/de_rescue.h"
#include "vorlane/query/de_rows.h"
#include "vorlane/query/de_text.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using namespace de_rows;
using de::Effect;
using std::nullopt;
using std::string_view;
using Rows = std::vector<ScoredHit>;

// Rows a query with a commune hint asks each core stage for.
constexpr size_t kHintedRows = 20;
// Rows kept per row answer when the query has the street-locality
// qualifier shape, so that the qualifier move can see the rows after the
// top.
constexpr size_t kQualifierRows = 5;
// The Ludwigshafen gate refuses row answers this long or longer.
constexpr size_t kLudwigshafenRowLimit = 20;
constexpr string_view kLudwigshafen = "ludwigshafen am rhein";

thread_local DeBranchStats BRANCH_STATS;

bool has_effect(std::span<const Effect> effects, Effect e) {
  return std::find(effects.begin(), effects.end(), e) != effects.end();
}

uint8_t precision_rank(string_view precision) {
  if (precision == kPrecisionHouse) return 4;
  if (precision == kPrecisionInterp) return 3;
  if (precision == kPrecisionNear) return 2;
  if (precision == kPrecisionStreet) return 1;
  return 0;
}

// The precision scale of the abbreviation dominance test, where a street
// answer counts for nothing.
uint8_t located_rank(string_view precision) {
  if (precision == kPrecisionHouse) return 3;
  if (precision == kPrecisionInterp) return 2;
  if (precision == kPrecisionNear) return 1;
  return 0;
}

bool is_single_ascii_letter(string_view word) {
  return word.size() == 1 && de::is_ascii_letter_byte(word[0]);
}

// One to four ASCII digits, then ASCII letters only.
bool is_house_token(string_view word) {
  size_t digits = 0;
  while (digits < word.size() && de::is_digit_byte(word[digits])) ++digits;
  return digits >= 1 && digits <= 4 &&
         std::all_of(word.begin() + static_cast<ptrdiff_t>(digits), word.end(),
                     de::is_ascii_letter_byte);
}

}  // namespace

std::optional<std::string> de_street_key_hint(string_view q) {
  if (q.find(',') != string_view::npos) return nullopt;
  const std::string key = prepared_query_key(q);
  std::vector<string_view> words = de::split_white_space(key);
  if (words.empty()) return nullopt;
  if (is_single_ascii_letter(words.back())) words.pop_back();
  if (words.size() < 2 || !is_house_token(words.back())) return nullopt;
  words.pop_back();
  if (std::any_of(words.begin(), words.end(), [](string_view w) { return de::has_digit(w); })) {
    return nullopt;
  }
  return street_key(join_words(words));
}

std::optional<DeLocalityQuery> de_locality_context(string_view q) {
  const std::string canonical = norm::normalize(q);
  const std::vector<string_view> words = split_words(canonical);
  for (size_t i = words.size(); i-- > 0;) {
    if (!is_five_digit_postcode(words[i])) continue;
    DeLocalityQuery context;
    for (const char c : words[i]) context.postcode = context.postcode * 10 + (c - '0');
    context.locality = join_words(std::span(words).subspan(i + 1));
    if (context.locality.empty()) return nullopt;
    return context;
  }
  return nullopt;
}

DeRowKey de_row_key(const ScoredHit& first) {
  const Hit& hit = first.first;
  DeRowKey key;
  if (has_flag(hit, kFlagDeferredLocalityDrop)) {
    key.evidence = INT32_MIN;
  } else {
    const int32_t street = has(first, kStreetExact) ? 3 : has(first, kStreetFuzzy) ? 2 : 0;
    const int32_t commune = has(first, kCommuneExact) ? 3 : has(first, kCommunePrefix) ? 2 : 0;
    const int32_t postcode = has(first, kPostcodeExact) ? 2 : 0;
    const int32_t house = has(first, kHouseRep) ? 2 : has(first, kHouseFound) ? 1 : 0;
    key.evidence = street + commune + postcode + house;
  }
  key.precision_rank = precision_rank(hit.precision);
  key.no_dropped_suffix = has_flag(hit, "dropped_suffix") ? 0 : 1;
  key.score = hit.score;
  return key;
}

DeKeyOrder de_compare_row_keys(const DeRowKey& row, const DeRowKey& best) {
  const auto integers = [](const DeRowKey& k) {
    return std::tuple(k.evidence, k.precision_rank, k.no_dropped_suffix);
  };
  if (integers(row) != integers(best)) {
    return integers(row) > integers(best) ? DeKeyOrder::greater : DeKeyOrder::less;
  }
  if (row.score > best.score) return DeKeyOrder::greater;
  if (row.score == best.score) return DeKeyOrder::tie;
  return DeKeyOrder::less;
}

bool de_recipient_rule(std::span<const Effect> effects, const ScoredHit& row,
                       const ScoredHit& best) {
  return has_effect(effects, Effect::RecipientPrefix) && !has_flag(row.first, "dropped_prefix") &&
         has_flag(best.first, "dropped_prefix") && has(row, kStreetExact) &&
         has(row, kHouseRep) && has(best, kStreetExact) && has(best, kHouseRep);
}

bool de_abbreviation_row_passes(const ScoredHit& row, const ScoredHit& best,
                                const std::optional<DeLocalityQuery>& context) {
  if (has_flag(row.first, "dropped_prefix")) {
    return has(row, kStreetExact) && has(row, kHouseRep) &&
           (has(row, kCommuneExact) || has(row, kPostcodeExact));
  }
  const bool needs_dominance = !has(row, kCommuneExact) && !has(best, kCommuneExact) &&
                               has(row, kCommunePrefix) && !has(best, kCommunePrefix);
  if (!needs_dominance) return true;

  const auto better_on_some = [](const ScoredHit& x, const ScoredHit& y) {
    for (const Feature f : {kStreetExact, kPostcodeExact, kHouseRep}) {
      if (has(x, f) && !has(y, f)) return true;
    }
    return located_rank(x.first.precision) > located_rank(y.first.precision);
  };
  const bool row_better = better_on_some(row, best);
  const bool best_better = better_on_some(best, row);
  if (row_better) return !best_better;
  return !best_better && has(row, kStreetExact) && has(row, kHouseRep) && context &&
         de_retained_locality_score(context->locality, row.first.commune) >
             de_retained_locality_score(context->locality, best.first.commune);
}

namespace {

// What the branch computes once from the query.
struct BranchInputs {
  string_view q;
  size_t k = 0;
  std::optional<std::string> street_key_hint;
  std::optional<DeStreetLocalityQualifierSpec> qualifier_spec;
  size_t k5 = 0;
  std::optional<DeLocalityQuery> locality;
  std::optional<std::string> parenthetical_locality;
  std::optional<string_view> frankfurt;
  std::optional<std::string> commune_hint;
  bool postal_tail_eligible = false;
  std::vector<de::QueryVariant> variants;
  bool official_alias_row = false;
  bool any_row_commune = false;
  size_t rows_asked = 0;  // k' of each core-stage call
  std::optional<DeStrictSourceStreetTypoSpec> typo_spec;
};

BranchInputs branch_inputs(string_view q, size_t k) {
  BranchInputs in;
  in.q = q;
  in.k = k;
  in.street_key_hint = de_street_key_hint(q);
  in.qualifier_spec = de_street_locality_qualifier_spec(q);
  in.k5 = in.qualifier_spec ? std::max(k, kQualifierRows) : k;
  in.locality = de_locality_context(q);
  if (auto parenthetical = de::parenthetical_subaddress_raw(q)) {
    in.parenthetical_locality = std::move(parenthetical->second);
  }
  in.frankfurt = de::frankfurt_qualifier(q);
  in.postal_tail_eligible = de::postal_tail_eligible(q);
  in.variants = de::query_variants(q);
  for (const de::QueryVariant& row : in.variants) {
    if (!row.commune) continue;
    in.any_row_commune = true;
    if (!in.commune_hint) in.commune_hint = row.commune;
    if (has_effect(row.effects, Effect::OfficialCommuneAlias)) in.official_alias_row = true;
  }
  if (in.frankfurt) in.commune_hint = std::string(*in.frankfurt);
  in.rows_asked = in.commune_hint ? std::max(in.k5, kHintedRows) : in.k5;
  in.typo_spec = de_strict_source_street_typo_spec(q);
  return in;
}

// The one row of a Ludwigshafen answer that is the typed house on the
// typed street, moved to the front; false when there is not exactly one.
bool keep_ludwigshafen_house(Rows& hits, const std::optional<DeStrictSourceStreetTypoSpec>& t) {
  if (!t || t->locality != "ludwigshafen rhein" || hits.size() >= kLudwigshafenRowLimit) {
    return false;
  }
  const std::string house = std::to_string(t->house);
  std::optional<size_t> found;
  for (size_t i = 0; i < hits.size(); ++i) {
    const ScoredHit& row = hits[i];
    const Hit& hit = row.first;
    const bool typed_house =
        hit.precision == kPrecisionHouse && has(row, kStreetExact) && has(row, kHouseRep) &&
        (has(row, kPostcodeExact) || has(row, kPostcodeDept) || hit.postcode.empty()) &&
        de_product_normalize_street(hit.street) == t->street &&
        de_product_normalize_text(hit.commune) == kLudwigshafen && hit.housenumber == house;
    if (!typed_house) continue;
    if (found) return false;
    found = i;
  }
  if (!found) return false;
  std::rotate(hits.begin(), hits.begin() + static_cast<ptrdiff_t>(*found),
              hits.begin() + static_cast<ptrdiff_t>(*found) + 1);
  return true;
}

struct SeenRow {
  std::string key;
  de::Effects effects;
  std::optional<std::string> commune;
};

// The row loop: runs the core stage on each variant row and keeps the
// answer that wins the comparison.
class RowLoop {
 public:
  RowLoop(const Index& index, const BranchInputs& in) : index_(index), in_(in) {}

  void run(const de::QueryVariant& row);
  Rows take_best() { return std::move(best_); }

 private:
  Rows core_stage(const de::QueryVariant& row) const;
  bool already_seen(const SeenRow& seen) const;
  // Filters and gates of a row's answer; false when the row is skipped.
  bool filter(const de::QueryVariant& row, Rows& hits) const;
  bool official_alias_gate(Rows& hits) const;
  bool parenthetical_gate(const Rows& hits) const;
  bool competes(const de::QueryVariant& row, const Rows& hits, const DeRowKey& key) const;
  bool replaces_best(const de::QueryVariant& row, const Rows& hits, const DeRowKey& key) const;

  const Index& index_;
  const BranchInputs& in_;
  std::vector<SeenRow> seen_;
  Rows best_;
  DeRowKey best_key_;
  bool best_exists_ = false;
};

void RowLoop::run(const de::QueryVariant& row) {
  if (row.commune && !index_.commune_name_fst.get(*row.commune)) return;
  SeenRow seen{prepared_query_key(row.text), row.effects, row.commune};
  if (already_seen(seen)) return;
  Rows hits = core_stage(row);
  if (!hits.empty() && hits.front().first.precision != kPrecisionCity) {
    seen_.push_back(std::move(seen));
  }
  if (!filter(row, hits)) return;
  const DeRowKey key = de_row_key(hits.front());
  if (!competes(row, hits, key) || !replaces_best(row, hits, key)) return;

  de::Effects effects = row.effects;
  const Effect alias = in_.official_alias_row ? Effect::OfficialCommuneAlias : Effect::CityAlias;
  if ((in_.official_alias_row || in_.any_row_commune) && !has_effect(effects, alias)) {
    effects.push_back(alias);
  }
  annotate_de_effects(hits, effects);
  best_ = std::move(hits);
  best_key_ = key;
  best_exists_ = true;
}

Rows RowLoop::core_stage(const de::QueryVariant& row) const {
  ++BRANCH_STATS.core_stage_calls;
  DeStageArguments de;
  if (in_.locality) {
    de.locality = in_.locality->locality;
    de.locality_present = true;
    de.postcode = in_.locality->postcode;
  }
  de.postal_tail_eligible = in_.postal_tail_eligible;
  if (in_.street_key_hint) de.street_key_hint = *in_.street_key_hint;
  return query_feats_d(index_, row.text, in_.rows_asked, false, de);
}

bool RowLoop::already_seen(const SeenRow& seen) const {
  return std::any_of(seen_.begin(), seen_.end(), [&](const SeenRow& s) {
    return s.key == seen.key && s.effects == seen.effects && s.commune == seen.commune;
  });
}

bool RowLoop::filter(const de::QueryVariant& row, Rows& hits) const {
  if (has_effect(row.effects, Effect::Postcode)) {
    std::erase_if(hits, [](const ScoredHit& h) { return !has(h, kPostcodeExact); });
  }
  if (in_.commune_hint) {
    std::erase_if(hits, [&](const ScoredHit& h) {
      return norm::normalize(h.first.commune) != *in_.commune_hint;
    });
  }
  if (in_.official_alias_row && !official_alias_gate(hits)) return false;
  if (hits.size() > in_.k5) hits.resize(in_.k5);
  if (has_effect(row.effects, Effect::ParentheticalSubaddress) && !parenthetical_gate(hits)) {
    return false;
  }
  return !hits.empty();
}

bool RowLoop::official_alias_gate(Rows& hits) const {
  if (in_.commune_hint == kLudwigshafen) return keep_ludwigshafen_house(hits, in_.typo_spec);
  if (hits.empty()) return false;
  const Hit& top = hits.front().first;
  return top.precision == kPrecisionHouse && has_flag(top, "street_exact") &&
         has_flag(top, "house_rep");
}

bool RowLoop::parenthetical_gate(const Rows& hits) const {
  if (best_exists_ || !in_.parenthetical_locality || hits.empty()) return false;
  const ScoredHit& first = hits.front();
  return first.first.precision == kPrecisionHouse && has(first, kStreetExact) &&
         has(first, kHouseRep) &&
         de_commune_core(first.first.commune) == *in_.parenthetical_locality;
}

bool RowLoop::competes(const de::QueryVariant& row, const Rows& hits,
                       const DeRowKey& key) const {
  if (!best_exists_) return true;
  if (has_effect(row.effects, Effect::Abbrev) &&
      !de_abbreviation_row_passes(hits.front(), best_.front(), in_.locality)) {
    return false;
  }
  return !(has_effect(row.effects, Effect::Postcode) &&
           best_key_.precision_rank > key.precision_rank);
}

bool RowLoop::replaces_best(const de::QueryVariant& row, const Rows& hits,
                            const DeRowKey& key) const {
  if (!best_exists_) return true;
  switch (de_compare_row_keys(key, best_key_)) {
    case DeKeyOrder::greater:
      return true;
    case DeKeyOrder::tie:
      return de_recipient_rule(row.effects, hits.front(), best_.front());
    case DeKeyOrder::less:
      return false;
  }
  return false;
}

bool top_has_postcode_street_and_house(const Rows& best) {
  if (best.empty()) return false;
  const ScoredHit& top = best.front();
  return has(top, kPostcodeExact) && has(top, kStreetExact) && has(top, kHouseRep);
}

// The rescue phase: the first of R1 (per variant row), R2 (the query's own
// postcode and house) and R3 (the left end of a compact house pair) that
// answers replaces the best answer.
class RescuePhase {
 public:
  RescuePhase(const Index& index, const BranchInputs& in, Rows& best)
      : index_(index),
        in_(in),
        best_(best),
        comma_rescue_(de_comma_postcode_house_rescue_query(in.q)),
        pair_(de_compact_house_pair_spec(in.q)) {}

  bool gate() const;
  void run();

 private:
  std::optional<Rows> per_variant() const;
  std::optional<Rows> query_level() const;

  const Index& index_;
  const BranchInputs& in_;
  Rows& best_;
  const std::optional<DeCommaPostcodeHouseRescueQuery> comma_rescue_;
  const std::optional<DeCompactHousePairSpec> pair_;
};

bool RescuePhase::gate() const {
  if (in_.commune_hint == kLudwigshafen && !best_.empty() &&
      has_flag(best_.front().first, "de_official_commune_alias")) {
    return false;
  }
  const bool missing_comma = std::any_of(
      in_.variants.begin(), in_.variants.end(), [](const de::QueryVariant& row) {
        return has_effect(row.effects, Effect::MissingPostcodeComma);
      });
  if (missing_comma || !top_has_postcode_street_and_house(best_)) return true;
  return has_flag(best_.front().first, "dropped_prefix") && comma_rescue_ &&
         de_is_exact_locality_alias_query(comma_rescue_->locality, comma_rescue_->postcode);
}

void RescuePhase::run() {
  if (auto answer = per_variant()) {
    best_ = std::move(*answer);
    return;
  }
  if (auto answer = query_level()) {
    add_flag_to_all(*answer, "de_exact_postcode_override");
    best_ = std::move(*answer);
    return;
  }
  if (top_has_postcode_street_and_house(best_) || !pair_) return;
  if (auto answer = de_compact_house_pair_left_rescue(index_, in_.q, *pair_, in_.k)) {
    best_ = std::move(*answer);
  }
}

std::optional<Rows> RescuePhase::per_variant() const {
  if (de_parenthetical_locality_uses_slash_qualifier(in_.q)) return nullopt;
  for (const de::QueryVariant& row : in_.variants) {
    const auto parsed = de_comma_postcode_house_rescue_query(row.text);
    if (!parsed) continue;
    auto answer = de_postcode_house_rescue_parsed(index_, in_.q, parsed->text, parsed->postcode,
                                                  parsed->locality, in_.k, nullopt, {}, false);
    if (!answer) continue;
    annotate_de_effects(*answer, row.effects);
    return answer;
  }
  return nullopt;
}

std::optional<Rows> RescuePhase::query_level() const {
  const auto evidence = [&](uint32_t postcode, string_view locality) {
    return de_typed_postcode_near_has_locality_evidence(index_, best_, postcode, locality);
  };
  if (comma_rescue_) {
    const DeCommaPostcodeHouseRescueQuery& c = *comma_rescue_;
    if (!de_strict_postcode_house_override_allowed(best_, c.postcode)) return nullopt;
    const bool relaxed = !evidence(c.postcode, c.locality);
    return de_postcode_house_rescue_parsed(index_, in_.q, c.text, c.postcode, c.locality, in_.k,
                                           nullopt, {}, relaxed);
  }
  if (!pair_ || !de_strict_postcode_house_override_allowed(best_, pair_->postcode)) return nullopt;
  const bool relaxed = !evidence(pair_->postcode, pair_->locality);
  const uint32_t right[] = {pair_->right};
  return de_postcode_house_rescue_parsed(index_, in_.q, pair_->query, pair_->postcode,
                                         pair_->locality, in_.k, pair_->effect, right, relaxed);
}

// Applies the one override that answers; with none or several the best
// answer stays.
void apply_overrides(const Index& index, const BranchInputs& in, Rows& best) {
  std::optional<size_t> move;
  if (in.qualifier_spec) move = de_street_locality_qualifier_move(best, *in.qualifier_spec);
  std::optional<Rows> typo;
  if (in.typo_spec) typo = de_strict_source_street_typo_answer(index, best, *in.typo_spec);
  std::optional<Rows> audited = de_audited_compound_fallback(index, in.q);
  std::optional<Rows> blank = de_blank_postcode_house_answer(index, in.q, best, in.qualifier_spec);

  const int outcomes = int{move.has_value()} + int{typo.has_value()} +
                       int{audited.has_value()} + int{blank.has_value()};
  if (outcomes != 1) return;
  if (move) {
    ScoredHit row = std::move(best[*move]);
    best.erase(best.begin() + static_cast<ptrdiff_t>(*move));
    add_flag(row.first, "de_street_locality_qualifier");
    best.insert(best.begin(), std::move(row));
    return;
  }
  best = std::move(typo ? *typo : audited ? *audited : *blank);
}

}  // namespace

std::vector<ScoredHit> query_feats_de_branch(const Index& index, string_view q, size_t k) {
  ++BRANCH_STATS.branches;
  // The rows and their word drops run the core on overlapping keys.
  const CoreTextMemoScope memo(index);
  const BranchInputs in = branch_inputs(q, k);
  RowLoop loop(index, in);
  for (const de::QueryVariant& row : in.variants) loop.run(row);
  Rows best = loop.take_best();

  RescuePhase rescue(index, in, best);
  if (rescue.gate()) rescue.run();
  apply_overrides(index, in, best);
  if (in.frankfurt) add_flag_to_all(best, "de_frankfurt");
  if (best.size() > k) best.resize(k);
  return best;
}

DeBranchStats& de_branch_stats() { return BRANCH_STATS; }

}  // namespace vorlane::query
