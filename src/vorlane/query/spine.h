// The forward query spine, outermost first: the cascade over an address
// sheet and its optional POI layer, the per-index entry point that runs the
// stage chain under the index's rules and the foreign-city guard, and the
// matching-core entry that every stage calls, with its per-thread memo.
//
// The stage operations of this module are free functions over `const
// Index&`, named as the operations of an index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/base/temporary_string.h"
#include "vorlane/query/core.h"
#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

// Longest query text the engine reads, in bytes.
inline constexpr size_t kMaxQueryBytes = 1024;
// Most answers a forward query returns.
inline constexpr uint64_t kMaxAnswers = 100;

// The longest prefix of `text` of at most kMaxQueryBytes bytes that does
// not end inside a UTF-8 sequence.
std::string_view cut_query_text(std::string_view text);
template <TemporaryString S>
std::string_view cut_query_text(S&&) = delete;

// One forward query: the address sheet, then the POI layer when the sheet's
// best answer is weak; the POI answer replaces the sheet's only when its top
// confidence is strictly higher, every hit then flagged "poi_layer". k is
// capped at kMaxAnswers. Never fails.
std::vector<Hit> query_cascade(const Index& sheet, const Index* poi, std::string_view q,
                               uint64_t k);

// One index's answer: its stage chain under its own rules, the foreign-city
// guard, internal flags removed, confidences made non-increasing. k = 0
// answers nothing.
std::vector<Hit> query(const Index& index, std::string_view q, size_t k);

// The matching core as the stages call it. While an EsPreparedScope is open
// on the thread and no context is given, answers are remembered per
// (index, key, k, hint) and served again as copies.
std::vector<ScoredHit> query_feats_prepared_context(const Index& index, std::string_view key,
                                                    size_t k,
                                                    const std::optional<DeLocalityContext>& context,
                                                    std::optional<std::string_view> street_key_hint);

// Memo bounds: a list is stored only while the memo holds fewer than
// kMemoEntryLimit entries, and only when it has at most kMemoRowLimit rows.
inline constexpr size_t kMemoEntryLimit = 128;
inline constexpr size_t kMemoRowLimit = 64;

// Switches the calling thread's matching-core memo on, empty, for its
// lifetime; whatever was in force before (off, or an outer scope's memo) is
// put back unchanged when it ends.
class EsPreparedScope {
 public:
  [[nodiscard]] EsPreparedScope();
  ~EsPreparedScope();
  EsPreparedScope(const EsPreparedScope&) = delete;
  EsPreparedScope& operator=(const EsPreparedScope&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

// Remembers, on the calling thread and for the lifetime of the scope, the
// matching core's answers to requests without a locality context, by
// (index, key, k, hint), at most kStreetDataMemoLimit of them; within one
// query the core is a pure function of that key. Consulted after the
// Spanish memo; bypassed while the diagnosis trace records. The
// street-data stage opens one per query.
class StreetDataMemoScope {
 public:
  [[nodiscard]] StreetDataMemoScope();
  ~StreetDataMemoScope();
  StreetDataMemoScope(const StreetDataMemoScope&) = delete;
  StreetDataMemoScope& operator=(const StreetDataMemoScope&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};
inline constexpr size_t kStreetDataMemoLimit = 1024;

// ---- TEST HOOKS: never used by the system. ----
namespace testing {

// One request that reached the matching core (a memo hit is no request).
struct CoreRequest {
  const Index* index = nullptr;
  std::string key;
  size_t k = 0;
  std::optional<std::string> locality;  // with a German locality context
  std::optional<std::string> tail;
  bool postal_tail_eligible = false;
  std::optional<std::string> street_key_hint;
};

// Answers the calling thread's matching-core requests from `script` instead
// of the core, and records them, for the life of the scope. Must end on the
// thread that made it; scopes nest, the inner one hiding the outer.
class ScopedCoreScript {
 public:
  using Script = std::function<std::vector<ScoredHit>(const CoreRequest&)>;
  explicit ScopedCoreScript(Script script);
  ~ScopedCoreScript();
  ScopedCoreScript(const ScopedCoreScript&) = delete;
  ScopedCoreScript& operator=(const ScopedCoreScript&) = delete;

  const std::vector<CoreRequest>& requests() const { return requests_; }

 private:
  friend std::vector<ScoredHit> run_core_script(const CoreRequest&);
  Script script_;
  std::vector<CoreRequest> requests_;
  ScopedCoreScript* previous_;
};

// Matching-core runs made on the calling thread so far (memo hits excluded).
uint64_t core_runs();
// Matching-core requests made on the calling thread so far (memo hits
// included).
uint64_t core_requests();
// Whether StreetDataMemoScope remembers anything on the calling thread
// (default true); returns the previous setting.
bool set_street_data_memo(bool on);
// Entries in the calling thread's memo; none while it is off.
std::optional<size_t> memo_size();

}  // namespace testing
}  // namespace vorlane::query
