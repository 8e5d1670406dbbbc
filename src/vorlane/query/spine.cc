// The forward spine: query_cascade -> query (rules, stage chain, guard,
// clean-up) -> ... -> query_feats_prepared_context (memo, matching core).
//
// The memo is per thread and off unless an EsPreparedScope is open; it is
// touched only in short accesses (lookup, store, scope open and close) and
// never across a run of the matching core, which may itself open a scope.
#include "vorlane/query/spine.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <unordered_map>
#include <utility>

#include "vorlane/diagnosis/trace.h"
#include "vorlane/query/guard.h"
#include "vorlane/query/index.h"
#include "vorlane/query/stages.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace testing {
std::vector<ScoredHit> run_core_script(const CoreRequest& request);
}  // namespace testing
namespace {

// Below a POI layer is asked; a fuzzy street below the second.
constexpr float kPoiWeakConfidence = 0.3f;
constexpr float kPoiWeakFuzzyConfidence = 0.6f;

struct MemoKey {
  uintptr_t index = 0;  // the Index's address: distinct live indexes never share entries
  std::string key;
  size_t k = 0;
  std::optional<uintptr_t> anchor;  // no request of the stages carries one
  std::optional<std::string> street_key_hint;

  bool operator==(const MemoKey&) const = default;
};

struct MemoKeyHash {
  size_t operator()(const MemoKey& m) const {
    size_t h = std::hash<std::string>{}(m.key);
    auto mix = [&h](size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(m.index);
    mix(m.k);
    mix(m.anchor ? *m.anchor + 1 : 0);
    mix(m.street_key_hint ? std::hash<std::string>{}(*m.street_key_hint) + 1 : 0);
    return h;
  }
};

using Memo = std::unordered_map<MemoKey, std::vector<ScoredHit>, MemoKeyHash>;

// Off (nullopt) on every thread until a scope opens.
thread_local std::optional<Memo> ES_PREPARED_CACHE;

// Off unless a StreetDataMemoScope is open (and allowed).
thread_local std::optional<Memo> STREET_DATA_MEMO;
thread_local bool STREET_DATA_MEMO_ALLOWED = true;

thread_local testing::ScopedCoreScript* CORE_SCRIPT = nullptr;
thread_local uint64_t CORE_RUNS = 0;
thread_local uint64_t CORE_REQUESTS = 0;

bool has_flag(const Hit& hit, std::string_view flag) {
  return std::find(hit.flags.begin(), hit.flags.end(), flag) != hit.flags.end();
}

// Whether the sheet's answer is weak enough to ask the POI layer.
bool should_consult_poi(const std::vector<Hit>& answer) {
  if (answer.empty()) return true;
  const Hit& top = answer.front();
  if (top.precision == kPrecisionHouse && has_flag(top, "street_exact")) return false;
  if (top.precision == kPrecisionCity) return true;
  if (top.confidence < kPoiWeakConfidence) return true;
  return has_flag(top, "street_fuzzy") && top.confidence < kPoiWeakFuzzyConfidence;
}

void remove_internal_flags(std::vector<ScoredHit>& rows) {
  for (auto& [hit, features] : rows) {
    std::erase(hit.flags, kFlagDeferredLocalityDrop);
  }
}

// Lowers each confidence to the smallest one above it; order and scores
// stay.
void make_confidences_non_increasing(std::vector<ScoredHit>& rows) {
  float floor = std::numeric_limits<float>::max();
  for (auto& [hit, features] : rows) {
    if (hit.confidence > floor) {
      hit.confidence = floor;
    } else {
      floor = hit.confidence;
    }
  }
}

testing::CoreRequest core_request(const Index& index, std::string_view key, size_t k,
                                  const std::optional<DeLocalityContext>& context,
                                  std::optional<std::string_view> hint) {
  testing::CoreRequest request;
  request.index = &index;
  request.key = key;
  request.k = k;
  if (context) {
    request.locality = std::string(context->locality);
    request.tail = std::string(context->tail);
    request.postal_tail_eligible = context->postal_tail_eligible;
  }
  if (hint) request.street_key_hint = std::string(*hint);
  return request;
}

std::vector<ScoredHit> run_core(const Index& index, std::string_view key, size_t k,
                                const std::optional<DeLocalityContext>& context,
                                std::optional<std::string_view> hint) {
  ++CORE_RUNS;
  if (CORE_SCRIPT != nullptr) [[unlikely]] {
    return testing::run_core_script(core_request(index, key, k, context, hint));
  }
  uint64_t budget = 0;
  SeenStreetVariants seen;
  bool abort = false;
  std::vector<RankedHit> ranked = query_feats_prepared_internal(
      index, key, k, std::nullopt, context, false, {}, budget, seen, abort, hint);
  std::vector<ScoredHit> rows;
  rows.reserve(ranked.size());
  for (RankedHit& r : ranked) rows.emplace_back(std::move(r.hit), r.features);
  return rows;
}

// run_core behind the street-data memo.
std::vector<ScoredHit> run_core_remembered(const Index& index, std::string_view key, size_t k,
                                           const std::optional<DeLocalityContext>& context,
                                           std::optional<std::string_view> hint) {
  if (!STREET_DATA_MEMO || context || diagnosis::enabled()) {
    return run_core(index, key, k, context, hint);
  }
  MemoKey memo_key{reinterpret_cast<uintptr_t>(&index), std::string(key), k, std::nullopt,
                   hint ? std::optional<std::string>(*hint) : std::nullopt};
  if (auto found = STREET_DATA_MEMO->find(memo_key); found != STREET_DATA_MEMO->end()) {
    return found->second;
  }
  std::vector<ScoredHit> rows = run_core(index, key, k, context, hint);
  if (STREET_DATA_MEMO && STREET_DATA_MEMO->size() < kStreetDataMemoLimit &&
      rows.size() <= kMemoRowLimit) {
    STREET_DATA_MEMO->emplace(std::move(memo_key), rows);
  }
  return rows;
}

}  // namespace

std::string_view cut_query_text(std::string_view text) {
  if (text.size() <= kMaxQueryBytes) return text;
  size_t end = kMaxQueryBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::vector<Hit> query_cascade(const Index& sheet, const Index* poi, std::string_view q,
                               uint64_t k) {
  const size_t wanted = static_cast<size_t>(std::min(k, kMaxAnswers));
  const std::string_view text = cut_query_text(q);
  std::vector<Hit> answer = query(sheet, text, wanted);
  if (poi == nullptr || !should_consult_poi(answer) || text.empty()) return answer;
  std::vector<Hit> poi_answer = query(*poi, text, wanted);
  if (poi_answer.empty()) return answer;
  if (!answer.empty() && !(poi_answer.front().confidence > answer.front().confidence)) {
    return answer;
  }
  for (Hit& hit : poi_answer) hit.flags.push_back("poi_layer");
  return poi_answer;
}

std::vector<Hit> query(const Index& index, std::string_view q, size_t k) {
  if (k == 0) return {};
  const std::string_view text = cut_query_text(q);
  std::vector<ScoredHit> rows;
  {
    rules::CurrentRulesScope rules(index.active_rules());
    rows = query_feats_street_data(index, text, k);
    rows = foreign_city_guard(index, text, std::move(rows));
  }
  remove_internal_flags(rows);
  make_confidences_non_increasing(rows);
  std::vector<Hit> hits;
  hits.reserve(rows.size());
  for (auto& [hit, features] : rows) hits.push_back(std::move(hit));
  return hits;
}

std::vector<ScoredHit> query_feats_prepared_context(const Index& index, std::string_view key,
                                                    size_t k,
                                                    const std::optional<DeLocalityContext>& context,
                                                    std::optional<std::string_view> street_key_hint) {
  ++CORE_REQUESTS;
  std::optional<MemoKey> memo_key;
  if (ES_PREPARED_CACHE && !context) {
    memo_key = MemoKey{reinterpret_cast<uintptr_t>(&index), std::string(key), k, std::nullopt,
                       street_key_hint ? std::optional<std::string>(*street_key_hint)
                                       : std::nullopt};
    if (auto found = ES_PREPARED_CACHE->find(*memo_key); found != ES_PREPARED_CACHE->end()) {
      return found->second;
    }
  }
  std::vector<ScoredHit> rows = run_core_remembered(index, key, k, context, street_key_hint);
  // The core may have opened and closed scopes of its own: look again.
  if (memo_key && ES_PREPARED_CACHE && ES_PREPARED_CACHE->size() < kMemoEntryLimit &&
      rows.size() <= kMemoRowLimit) {
    ES_PREPARED_CACHE->emplace(std::move(*memo_key), rows);
  }
  return rows;
}

struct EsPreparedScope::Saved {
  std::optional<Memo> memo;
};

EsPreparedScope::EsPreparedScope()
    : saved_(std::make_unique<Saved>(Saved{std::exchange(ES_PREPARED_CACHE, Memo{})})) {}

EsPreparedScope::~EsPreparedScope() { ES_PREPARED_CACHE = std::move(saved_->memo); }

struct StreetDataMemoScope::Saved {
  std::optional<Memo> memo;
};

StreetDataMemoScope::StreetDataMemoScope()
    : saved_(std::make_unique<Saved>(Saved{std::exchange(
          STREET_DATA_MEMO, STREET_DATA_MEMO_ALLOWED ? std::optional<Memo>(Memo{}) : std::nullopt)})) {}

StreetDataMemoScope::~StreetDataMemoScope() { STREET_DATA_MEMO = std::move(saved_->memo); }

namespace testing {

std::vector<ScoredHit> run_core_script(const CoreRequest& request) {
  CORE_SCRIPT->requests_.push_back(request);
  return CORE_SCRIPT->script_(request);
}

ScopedCoreScript::ScopedCoreScript(Script script)
    : script_(std::move(script)), previous_(CORE_SCRIPT) {
  CORE_SCRIPT = this;
}

ScopedCoreScript::~ScopedCoreScript() { CORE_SCRIPT = previous_; }

uint64_t core_runs() { return CORE_RUNS; }

uint64_t core_requests() { return CORE_REQUESTS; }

bool set_street_data_memo(bool on) { return std::exchange(STREET_DATA_MEMO_ALLOWED, on); }

std::optional<size_t> memo_size() {
  if (!ES_PREPARED_CACHE) return std::nullopt;
  return ES_PREPARED_CACHE->size();
}

}  // namespace testing
}  // namespace vorlane::query
