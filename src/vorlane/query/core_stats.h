// Work counters of the matching core on the calling thread, read by the
// core benchmark for its per-call figures. Each is one thread-local
// increment where the work happens, cheap enough to stay on.
#pragma once

#include <cstdint>

namespace vorlane::query {

struct CoreStats {
  uint64_t collections = 0;  // hypotheses collected (and fallback hypotheses searched)
  uint64_t splits = 0;       // street/commune splits tried
  uint64_t descents = 0;     // walks down the street-key dictionary, scans included
  uint64_t automata = 0;     // automaton passes
  uint64_t postings = 0;     // posting lists decoded
  uint64_t hits = 0;         // hits built
};

extern thread_local CoreStats CORE_STATS;

// The calling thread's counters; reset them by assigning CoreStats{}.
inline CoreStats& core_stats() { return CORE_STATS; }

}  // namespace vorlane::query
