// The per-thread diagnosis trace: a record of the decisions the query paths
// take (hypotheses and splits tried, streets taken, communes looked up, hits
// built, stage guards passed or refused). The query code calls the recorders
// below unconditionally. Nothing in the system switches a trace on, so in
// normal operation every recorder is one thread-local load and a test: no
// allocation, no JSON, no formatting. Only tests install a trace (see
// trace_contents.h).
//
// Work that only a trace would keep (joining tokens, serialising a hit as
// evidence) belongs behind `enabled()`, or inside the evidence callable of
// the lazy `guard` overload, which is never invoked while the trace is off.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include <nlohmann/json_fwd.hpp>

namespace vorlane::diagnosis {

struct Trace;  // trace_contents.h

// The calling thread's trace; null (absent) on every thread unless a test
// has installed one.
extern constinit thread_local Trace* TRACE;

// True when the calling thread records.
inline bool enabled() { return TRACE != nullptr; }

// The two commune lookups whose calls are recorded.
inline constexpr std::string_view kCommunesByName = "communes_by_name";
inline constexpr std::string_view kCommunesByPrefix = "communes_by_prefix";

// One hit as make_hit reports it. Views stay valid for the call only.
struct HitReport {
  uint32_t street_id = 0;
  uint32_t commune_id = 0;
  std::string_view street;
  std::string_view commune;
  std::string_view precision;
  bool has_house = false;         // a house number was requested
  uint32_t requested_number = 0;  // meaningful only with has_house
  uint32_t house_count = 0;       // houses stored on the street
  float score = 0.0f;
};

// Out-of-line bodies, entered only with a trace present.
namespace detail {
void record_hypothesis(Trace& t, std::string_view street_or_rest,
                       std::optional<std::string_view> commune, std::optional<uint32_t> postcode,
                       std::optional<uint32_t> house_number, uint32_t house_suffix_id);
void record_split(Trace& t, std::string_view street, std::optional<std::string_view> commune,
                  std::optional<uint32_t> postcode, std::optional<uint32_t> house_number);
void record_street(Trace& t, uint32_t street_id, bool exact, bool commune_scoped);
void record_commune_lookup(Trace& t, std::string_view method, std::string_view commune,
                           std::span<const uint32_t> ids);
void record_hit(Trace& t, const HitReport& report);
void record_guard(Trace& t, std::string_view stage, uint64_t count, bool accepted,
                  nlohmann::json evidence);
void record_field_form(Trace& t, uint64_t form, bool accepted);
}  // namespace detail

// One hypothesis of candidate collection (its street or whole text, commune
// text, postcode, house number and suffix id).
inline void hypothesis(std::string_view street_or_rest, std::optional<std::string_view> commune,
                       std::optional<uint32_t> postcode, std::optional<uint32_t> house_number,
                       uint32_t house_suffix_id) {
  if (Trace* t = TRACE) [[unlikely]] {
    detail::record_hypothesis(*t, street_or_rest, commune, postcode, house_number,
                              house_suffix_id);
  }
}

// One street/commune split that candidate collection tries.
inline void split(std::string_view street, std::optional<std::string_view> commune,
                  std::optional<uint32_t> postcode, std::optional<uint32_t> house_number) {
  if (Trace* t = TRACE) [[unlikely]] {
    detail::record_split(*t, street, commune, postcode, house_number);
  }
}

// One street taken as a candidate; a street already recorded on this trace
// writes nothing.
inline void street(uint32_t street_id, bool exact, bool commune_scoped) {
  if (Trace* t = TRACE) [[unlikely]] {
    detail::record_street(*t, street_id, exact, commune_scoped);
  }
}

// One commune lookup (`method` is kCommunesByName or kCommunesByPrefix) of
// `commune` and the ids it found.
inline void commune_lookup(std::string_view method, std::string_view commune,
                           std::span<const uint32_t> ids) {
  if (Trace* t = TRACE) [[unlikely]] {
    detail::record_commune_lookup(*t, method, commune, ids);
  }
}

// One hit built by make_hit.
inline void hit(const HitReport& report) {
  if (Trace* t = TRACE) [[unlikely]] {
    detail::record_hit(*t, report);
  }
}

// One stage-guard decision with evidence already built (taken over and
// dropped). Prefer the lazy overload below where the evidence costs work.
void guard(std::string_view stage, uint64_t count, bool accepted, nlohmann::json evidence);

// One stage-guard decision whose evidence is made by `make_evidence` (a
// callable returning nlohmann::json), invoked only while the trace records.
template <std::invocable MakeEvidence>
inline void guard(std::string_view stage, uint64_t count, bool accepted,
                  MakeEvidence&& make_evidence) {
  if (Trace* t = TRACE) [[unlikely]] {
    detail::record_guard(*t, stage, count, accepted,
                         std::forward<MakeEvidence>(make_evidence)());
  }
}

// One form tried by the structured-field stage, by its position in the
// list of retry texts.
inline void field_form(uint64_t form, bool accepted) {
  if (Trace* t = TRACE) [[unlikely]] {
    detail::record_field_form(*t, form, accepted);
  }
}

}  // namespace vorlane::diagnosis
