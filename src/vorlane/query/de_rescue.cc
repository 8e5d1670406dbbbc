// The German postcode-and-house rescue and its gates. One rescue spends one
// budget of German street variants across all its rows; the core reports
// exhaustion through the abort flag, which ends the rescue with no answer
// rather than a partial one.
#include "vorlane/query/de_rescue.h"

#include <algorithm>
#include <unordered_set>

#include "vorlane/de/text.h"
#include "vorlane/de/variants.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/core.h"
#include "vorlane/query/de_parsers.h"
#include "vorlane/query/de_roster.h"
#include "vorlane/query/de_text.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/house_list.h"
#include "vorlane/query/index.h"
#include "vorlane/query/stages.h"

namespace vorlane::query {

const std::array<uint32_t, 15> DE_BERLIN_RESCUE_POSTCODES = {
    10115, 10117, 10178, 10589, 10715, 10717, 10969, 12043,
    12101, 12277, 12439, 12489, 12621, 14129, 14195};

const std::array<std::string_view, 13> DE_BERLIN_DISTRICT_CORES = {
    "mitte",     "berlin",      "dahlem",      "neukolln",       "adlershof",
    "kaulsdorf", "kreuzberg",   "tempelhof",   "nikolassee",     "marienfelde",
    "wilmersdorf", "charlottenburg", "niederschoneweide"};

const std::array<DeLocalityCorePair, 6> DE_LOCALITY_CORE_PAIRS = {{
    {"sankt wendel", "st wendel"},
    {"homburg saar", "homburg"},
    {"st peter ording", "sankt peter ording"},
    {"reichenbach vogt", "reichenbach im vogtland"},
    {"kottmar ot eibau", "eibau"},
    {"burg auf fehmarn", "fehmarn"},
}};

namespace {

constexpr size_t kStreetExact = 0;
constexpr size_t kPostcodeExact = 4;
constexpr size_t kHouseRep = 8;

constexpr uint32_t kFrankfurtOderPostcode = 15230;
// The rescue asks the core for at least this many rows.
constexpr size_t kRescueRows = 20;
// Numbers of a '/' pair below this are read as flats of one house, not as
// two houses.
constexpr uint32_t kSlashPairMinimum = 10;

thread_local DeRescueStats RESCUE_STATS;

struct Candidate {
  ScoredHit row;
  uint32_t street_id = 0;
};

bool has_feature(const ScoredHit& row, size_t feature) {
  return feature_set(row.second[feature]);
}

void add_flag(Hit& hit, std::string_view flag) {
  if (std::find(hit.flags.begin(), hit.flags.end(), flag) == hit.flags.end()) {
    hit.flags.push_back(flag);
  }
}

bool is_near_or_interp(const Hit& hit) {
  return hit.precision == kPrecisionNear || hit.precision == kPrecisionInterp;
}

bool prefix_is(std::string_view postcode_text, uint32_t postcode) {
  const auto prefix = postcode_numeric_prefix(postcode_text);
  return prefix && *prefix == postcode;
}

// The Frankfurt a rescue is pinned to: named by the query, else by the
// locality's words.
std::optional<std::string_view> rescue_qualifier(std::string_view q, std::string_view locality) {
  if (const auto named = de::frankfurt_qualifier(q)) return named;
  const auto words = de::split_white_space(locality);
  const auto has = [&](std::string_view w) {
    return std::find(words.begin(), words.end(), w) != words.end();
  };
  if (!has("frankfurt")) return std::nullopt;
  if (has("oder")) return "frankfurt oder";
  if (has("main")) return "frankfurt am main";
  return std::nullopt;
}

bool same_answer(const Hit& a, const Hit& b) {
  return a.precision == b.precision && a.street == b.street && a.housenumber == b.housenumber &&
         a.postcode == b.postcode && a.commune == b.commune;
}

// Per-call state of one rescue: what the core may still try and what it
// has found so far.
class Rescue {
 public:
  Rescue(const Index& index, std::string_view q, uint32_t postcode, std::string_view locality,
         std::optional<de::Effect> extra_effect, std::span<const uint32_t> house_set, bool relaxed)
      : index_(index),
        postcode_(postcode),
        locality_(locality),
        qualifier_(rescue_qualifier(q, locality)),
        extra_effect_(extra_effect),
        house_set_(house_set),
        locality_tests_(!(relaxed && !qualifier_)) {}

  std::optional<std::vector<ScoredHit>> run(std::string_view rescue_text, size_t k);
  uint64_t core_calls() const { return core_calls_; }

 private:
  // False when the core ran out of budget or a street came back as another
  // answer than before.
  bool run_row(const de::QueryVariant& row, size_t k);
  bool keeps(const RankedHit& row, const std::optional<std::string>& commune) const;
  uint8_t locality_score(const Hit& hit) const {
    return de_postcode_house_locality_score(locality_, qualifier_, postcode_, hit.commune);
  }
  bool merge(std::vector<Candidate>& found);
  void keep_best_localities();

  const Index& index_;
  const uint32_t postcode_;
  const std::string_view locality_;
  const std::optional<std::string_view> qualifier_;
  const std::optional<de::Effect> extra_effect_;
  const std::span<const uint32_t> house_set_;
  const bool locality_tests_;

  uint64_t budget_ = kDeRescueVariantBudget;
  SeenStreetVariants seen_variants_;
  std::unordered_set<std::string> tried_keys_;
  std::vector<Candidate> candidates_;
  uint64_t core_calls_ = 0;
};

std::optional<std::vector<ScoredHit>> Rescue::run(std::string_view rescue_text, size_t k) {
  const size_t rows_wanted = std::max(k, kRescueRows);
  for (const de::QueryVariant& row : de::query_variants(rescue_text)) {
    if (!run_row(row, rows_wanted)) return std::nullopt;
  }
  if (!extra_effect_ && locality_tests_) keep_best_localities();
  if (candidates_.size() != 1) return std::nullopt;
  Hit& hit = candidates_.front().row.first;
  add_flag(hit, "de_postcode_house");
  if (extra_effect_) add_flag(hit, "de_house_left_endpoint");
  if (!house_set_.empty()) add_flag(hit, "de_house_set_exact");
  std::vector<ScoredHit> answer;
  answer.push_back(std::move(candidates_.front().row));
  return answer;
}

bool Rescue::run_row(const de::QueryVariant& row, size_t k) {
  std::string key = prepared_query_key(row.text);
  if (!tried_keys_.insert(key).second) return true;
  bool abort = false;
  ++core_calls_;
  std::vector<RankedHit> ranked =
      query_feats_prepared_internal(index_, key, k, std::nullopt, std::nullopt, true, house_set_,
                                    budget_, seen_variants_, abort, std::nullopt);
  if (abort) return false;

  de::Effects effects = row.effects;
  if (extra_effect_ && std::find(effects.begin(), effects.end(), *extra_effect_) == effects.end()) {
    effects.push_back(*extra_effect_);
  }
  std::vector<Candidate> found;
  for (RankedHit& r : ranked) {
    if (!keeps(r, row.commune)) continue;
    Candidate c{{std::move(r.hit), r.features}, r.street_id};
    annotate_de_effects(c.row.first, effects);
    found.push_back(std::move(c));
  }
  return merge(found);
}

bool Rescue::keeps(const RankedHit& row, const std::optional<std::string>& commune) const {
  const Hit& hit = row.hit;
  if (commune && norm::normalize(hit.commune) != *commune) return false;
  const FeatureVector& f = row.features;
  if (!feature_set(f[kStreetExact]) || !feature_set(f[kPostcodeExact]) ||
      !feature_set(f[kHouseRep])) {
    return false;
  }
  return prefix_is(hit.postcode, postcode_) && (!locality_tests_ || locality_score(hit) != 0);
}

bool Rescue::merge(std::vector<Candidate>& found) {
  for (Candidate& c : found) {
    const auto listed = std::find_if(candidates_.begin(), candidates_.end(),
                                     [&](const Candidate& l) { return l.street_id == c.street_id; });
    if (listed == candidates_.end()) {
      candidates_.push_back(std::move(c));
    } else if (!same_answer(listed->row.first, c.row.first)) {
      return false;
    }
  }
  return true;
}

void Rescue::keep_best_localities() {
  if (candidates_.empty()) return;
  std::vector<uint8_t> scores;
  scores.reserve(candidates_.size());
  for (const Candidate& c : candidates_) scores.push_back(locality_score(c.row.first));
  const uint8_t best = *std::max_element(scores.begin(), scores.end());
  size_t kept = 0;
  for (size_t i = 0; i < candidates_.size(); ++i) {
    if (scores[i] != best) continue;
    if (kept != i) candidates_[kept] = std::move(candidates_[i]);
    ++kept;
  }
  candidates_.resize(kept);
}

}  // namespace

std::optional<std::vector<ScoredHit>> de_postcode_house_rescue_parsed(
    const Index& index, std::string_view q, std::string_view rescue_text, uint32_t postcode,
    std::string_view locality, size_t k, std::optional<de::Effect> extra_effect,
    std::span<const uint32_t> house_set, bool relaxed) {
  Rescue rescue(index, q, postcode, locality, extra_effect, house_set, relaxed);
  auto answer = rescue.run(rescue_text, k);
  DeRescueStats& stats = RESCUE_STATS;
  ++stats.rescues;
  stats.core_calls += rescue.core_calls();
  stats.most_core_calls = std::max(stats.most_core_calls, rescue.core_calls());
  return answer;
}

std::optional<std::vector<ScoredHit>> de_compact_house_pair_left_rescue(const Index& index,
                                                                        std::string_view q,
                                                                        size_t k) {
  const auto spec = de_compact_house_pair_spec(q);
  if (!spec) return std::nullopt;
  return de_compact_house_pair_left_rescue(index, q, *spec, k);
}

std::optional<std::vector<ScoredHit>> de_compact_house_pair_left_rescue(
    const Index& index, std::string_view q, const DeCompactHousePairSpec& spec, size_t k) {
  if (spec.effect == de::Effect::HouseSlash &&
      (spec.left < kSlashPairMinimum || spec.right < kSlashPairMinimum)) {
    return std::nullopt;
  }
  return de_postcode_house_rescue_parsed(index, q, spec.query, spec.postcode, spec.locality, k,
                                         spec.effect, {}, false);
}

uint8_t de_postcode_house_locality_score(std::string_view locality,
                                         std::optional<std::string_view> qualifier,
                                         uint32_t postcode, std::string_view commune) {
  const std::string core = de_commune_core(commune);
  if (qualifier) {
    const bool frankfurt_oder_by_postcode = *qualifier == "frankfurt oder" &&
                                            postcode == kFrankfurtOderPostcode &&
                                            core == "frankfurt";
    return core == *qualifier || frankfurt_oder_by_postcode ? 4 : 0;
  }
  const uint8_t retained = de_retained_locality_score(locality, commune);
  if (retained == 2) return 4;
  const std::string canonical = norm::normalize(locality);
  bool berlin_audited = false;
  for (const DeAuditedLocalityAlias& alias : DE_AUDITED_LOCALITY_ALIASES) {
    if (alias.query_locality == canonical && alias.postcode == postcode) {
      if (alias.commune_core == core) return 3;
      berlin_audited = berlin_audited || canonical == "berlin";
    }
  }
  const auto listed = [](const auto& table, const auto& value) {
    return std::find(table.begin(), table.end(), value) != table.end();
  };
  if (canonical == "berlin" && !berlin_audited && listed(DE_BERLIN_RESCUE_POSTCODES, postcode) &&
      listed(DE_BERLIN_DISTRICT_CORES, core)) {
    return 3;
  }
  if (retained == 1) return 1;
  for (const DeLocalityCorePair& pair : DE_LOCALITY_CORE_PAIRS) {
    if (pair.query_locality == canonical && pair.commune_core == core) return 1;
  }
  return de_p3_locality_compatible(canonical, core) ? 1 : 0;
}

bool de_strict_postcode_house_override_allowed(std::span<const ScoredHit> rows,
                                               uint32_t postcode) {
  if (rows.empty()) return false;
  const ScoredHit& top = rows.front();
  const Hit& hit = top.first;
  if (is_near_or_interp(hit)) {
    return prefix_is(hit.postcode, postcode) || has_feature(top, kStreetExact);
  }
  if (hit.precision == kPrecisionHouse) {
    return has_feature(top, kStreetExact) && has_feature(top, kHouseRep) &&
           !prefix_is(hit.postcode, postcode);
  }
  return false;
}

namespace {

// Some street of the postcode's roster range lies in a commune that fits
// the locality.
bool roster_has_locality(const Index& index, uint32_t postcode, std::string_view locality) {
  const auto range = de_roster_range(index.de_postcode_streets, postcode);
  if (range.empty() || range.size() > kDeRosterScanLimit) return false;
  for (const auto& [pc, street_id] : range) {
    const auto street = index.street(street_id);
    const std::string_view commune = street ? index.commune_name(street->commune) : "";
    if (de_postcode_house_locality_score(locality, std::nullopt, postcode, commune) != 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool de_typed_postcode_near_has_locality_evidence(const Index& index,
                                                  std::span<const ScoredHit> rows,
                                                  uint32_t postcode, std::string_view locality) {
  if (rows.empty()) return false;
  const ScoredHit& top = rows.front();
  const Hit& hit = top.first;
  if (!is_near_or_interp(hit) || !has_feature(top, kStreetExact)) return false;
  const bool evidence =
      prefix_is(hit.postcode, postcode) ||
      (de::trim_white_space(hit.postcode).empty() && roster_has_locality(index, postcode, locality));
  return evidence &&
         de_postcode_house_locality_score(locality, std::nullopt, postcode, hit.commune) != 0;
}

std::optional<std::vector<std::string>> de_exact_house_record_postcodes(
    const Index& index, uint32_t street_id, const StreetRecord& street, uint32_t number,
    uint32_t suffix_id, uint64_t& budget) {
  std::vector<std::string> postcodes;
  if (street.house_count == 0) return postcodes;
  auto reader = HouseListReader::open(index, street_id, street);
  if (!reader) return std::nullopt;
  HouseEntry house;
  for (uint32_t decoded = 0; decoded < street.house_count; ++decoded) {
    if (budget == 0) return std::nullopt;
    --budget;
    if (reader->next(house) != HouseListReader::Step::house) return std::nullopt;
    if (house.number > number) break;
    if (house.number == number && house.suffix_id == suffix_id) {
      postcodes.push_back(index.postcode_for_house(street, house.postcode_ref));
    }
  }
  return postcodes;
}

DeRescueStats& de_rescue_stats() { return RESCUE_STATS; }

}  // namespace vorlane::query
