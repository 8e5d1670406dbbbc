// The recorders' bodies and the test hook. A body runs only when the calling
// thread's trace is present, and only ever touches that thread's trace, so
// no locking is needed. Record lists stop growing at kKeptRecords objects
// (field forms excepted), so a trace stays small however long the query;
// counters and seen-id sets keep counting past that.
#include <algorithm>
#include <string>

#include "vorlane/base/utf8.h"
#include "vorlane/diagnosis/json_number.h"
#include "vorlane/diagnosis/trace_contents.h"

namespace vorlane::diagnosis {

constinit thread_local Trace* TRACE = nullptr;

namespace {

using nlohmann::json;

// Unicode White_Space.
bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

// True when the text is not empty once white space is trimmed from its ends.
bool has_non_space(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Step step = utf8::decode_step(text, pos);
    if (!step.valid || !is_white_space(step.scalar)) return true;
    pos += step.length;
  }
  return false;
}

json json_of(std::optional<std::string_view> text) {
  if (!text) return nullptr;
  return std::string(*text);
}

json json_of(std::optional<uint32_t> n) {
  if (!n) return nullptr;
  return *n;
}

}  // namespace

namespace detail {

void record_hypothesis(Trace& t, std::string_view street_or_rest,
                       std::optional<std::string_view> commune, std::optional<uint32_t> postcode,
                       std::optional<uint32_t> house_number, uint32_t house_suffix_id) {
  ++t.counts.hypotheses;
  if (has_non_space(street_or_rest)) t.street_text_seen = true;
  if (t.hypotheses.size() >= kKeptRecords) return;
  t.hypotheses.push_back(json{{"street_or_rest", std::string(street_or_rest)},
                              {"commune", json_of(commune)},
                              {"postcode", json_of(postcode)},
                              {"house_number", json_of(house_number)},
                              {"house_suffix_id", house_suffix_id}});
}

void record_split(Trace& t, std::string_view street, std::optional<std::string_view> commune,
                  std::optional<uint32_t> postcode, std::optional<uint32_t> house_number) {
  ++t.counts.splits;
  if (t.splits.size() >= kKeptRecords) return;
  t.splits.push_back(json{{"street", std::string(street)},
                          {"commune", json_of(commune)},
                          {"postcode", json_of(postcode)},
                          {"house_number", json_of(house_number)}});
}

void record_street(Trace& t, uint32_t street_id, bool exact, bool commune_scoped) {
  if (!t.seen_street_ids.insert(street_id).second) return;
  if (t.streets.size() >= kKeptRecords) return;
  t.streets.push_back(json{{"id", street_id}, {"exact", exact}, {"commune_scoped", commune_scoped}});
}

void record_commune_lookup(Trace& t, std::string_view method, std::string_view commune,
                           std::span<const uint32_t> ids) {
  ++t.counts.commune_lookups;
  t.seen_commune_ids.insert(ids.begin(), ids.end());
  if (t.commune_lookups.size() >= kKeptRecords) return;
  json first_ids = json::array();
  for (uint32_t id : ids.first(std::min(ids.size(), kKeptRecords))) first_ids.push_back(id);
  t.commune_lookups.push_back(json{{"commune", std::string(commune)},
                                   {"method", std::string(method)},
                                   {"count", ids.size()},
                                   {"first_ids", std::move(first_ids)}});
}

void record_hit(Trace& t, const HitReport& r) {
  ++t.counts.hits;
  if (r.has_house) {
    ++t.counts.hits_with_house_number;
    if (r.precision != "street") ++t.counts.hits_placed;
  }
  if (std::isfinite(r.score) && (!t.best_score || r.score > *t.best_score)) t.best_score = r.score;
  if (t.hits.size() >= kKeptRecords) return;
  t.hits.push_back(json{{"street_id", r.street_id},
                        {"commune_id", r.commune_id},
                        {"street", std::string(r.street)},
                        {"commune", std::string(r.commune)},
                        {"block_house_count", r.house_count},
                        {"requested_number", r.has_house ? json(r.requested_number) : json()},
                        {"outcome", std::string(r.precision)},
                        {"score", number_or_null(r.score)}});
}

void record_guard(Trace& t, std::string_view stage, uint64_t count, bool accepted,
                  json evidence) {
  ++t.counts.guards;
  if (t.guards.size() >= kKeptRecords) return;
  t.guards.push_back(json{{"stage", std::string(stage)},
                          {"count", count},
                          {"accepted", accepted},
                          {"evidence", std::move(evidence)}});
}

void record_field_form(Trace& t, uint64_t form, bool accepted) {
  t.field_forms.push_back(json{{"form", form}, {"accepted", accepted}});
}

}  // namespace detail

void guard(std::string_view stage, uint64_t count, bool accepted, nlohmann::json evidence) {
  if (Trace* t = TRACE) [[unlikely]] {
    detail::record_guard(*t, stage, count, accepted, std::move(evidence));
  }
}

namespace testing {

ScopedTrace::ScopedTrace() : previous_(TRACE) { TRACE = &trace_; }

ScopedTrace::~ScopedTrace() { TRACE = previous_; }

}  // namespace testing
}  // namespace vorlane::diagnosis
