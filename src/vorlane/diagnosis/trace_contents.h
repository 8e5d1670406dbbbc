// What a diagnosis trace holds, and the TEST HOOK that installs one.
//
// The system itself never makes a trace present; only tests do, through
// testing::ScopedTrace, to read what the recorders of trace.h wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "vorlane/diagnosis/trace.h"

namespace vorlane::diagnosis {

// Every record list except field forms keeps only its first 8 objects;
// counters, seen sets and the best score go on changing after that.
inline constexpr size_t kKeptRecords = 8;

struct TraceCounts {
  uint64_t hypotheses = 0;
  uint64_t splits = 0;
  uint64_t guards = 0;
  uint64_t commune_lookups = 0;
  uint64_t hits = 0;
  uint64_t hits_with_house_number = 0;  // built for a query with a house number
  uint64_t hits_placed = 0;  // ... and with a precision other than "street"
};

struct Trace {
  // Record lists, one JSON object per record, in recording order.
  std::vector<nlohmann::json> hypotheses;       // "street_or_rest", "commune", "postcode",
                                                // "house_number", "house_suffix_id"
  std::vector<nlohmann::json> splits;           // "street", "commune", "postcode",
                                                // "house_number"
  std::vector<nlohmann::json> guards;           // "stage", "count", "accepted", "evidence"
  std::vector<nlohmann::json> commune_lookups;  // "commune", "method", "count", "first_ids"
  std::vector<nlohmann::json> streets;          // "id", "exact", "commune_scoped"
  std::vector<nlohmann::json> hits;             // "street_id", "commune_id", "street",
                                                // "commune", "block_house_count",
                                                // "requested_number", "outcome", "score"
  std::vector<nlohmann::json> field_forms;      // "form", "accepted"; all kept

  TraceCounts counts;
  std::unordered_set<uint32_t> seen_commune_ids;
  std::unordered_set<uint32_t> seen_street_ids;
  std::optional<float> best_score;  // best finite hit score
  bool street_text_seen = false;    // some hypothesis had non-blank street text
};

namespace testing {

// ---- TEST HOOK: never used by the system. ----
// Installs an empty trace on the calling thread for the life of the scope,
// so that recorders on this thread write into it; other threads are not
// affected. Must be destroyed on the thread that created it; scopes nest,
// the inner one hiding the outer until it ends.
class ScopedTrace {
 public:
  ScopedTrace();
  ~ScopedTrace();
  ScopedTrace(const ScopedTrace&) = delete;
  ScopedTrace& operator=(const ScopedTrace&) = delete;

  const Trace& trace() const { return trace_; }

 private:
  Trace trace_;
  Trace* previous_;
};

}  // namespace testing
}  // namespace vorlane::diagnosis
