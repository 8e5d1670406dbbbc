// The matching core: one prepared query key in, at most k ranked and scored
// rows out. Cuts the key into tokens, finds a postcode, forms house-number
// hypotheses, collects candidate streets per hypothesis, falls back to fuzzy
// and token-subset search when nothing is found, then orders the candidates,
// builds hits, ranks and post-filters them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "vorlane/query/hit.h"
#include "vorlane/query/places.h"

namespace vorlane::query {

class Index;

// What a German stage kept when it retried a request without its trailing
// words; read only by the German locality post-filters.
struct DeLocalityContext {
  std::string_view locality;  // the locality retained from the request
  std::string_view tail;      // the cut trailing words, single spaces
  bool postal_tail_eligible = false;
};

// German street variants already tried within one call (or one rescue).
using SeenStreetVariants = std::unordered_set<std::string>;

// The matching core. `anchor` ranks by distance (no caller passes one);
// `rescue` switches the fallbacks off and the German rescue checks on;
// `alternative_numbers` are further house numbers of the same request;
// `budget` counts German street variants still allowed, and `abort` is set
// when it runs out; `seen` is shared by all hypotheses of the call.
std::vector<RankedHit> query_feats_prepared_internal(
    const Index& index, std::string_view key, size_t k, const std::optional<Place>& anchor,
    const std::optional<DeLocalityContext>& context, bool rescue,
    std::span<const uint32_t> alternative_numbers, uint64_t& budget, SeenStreetVariants& seen,
    bool& abort, std::optional<std::string_view> street_key_hint);

struct CoreTextMemo;

// What the core reads of a text alone (a street part's variant spellings
// and where they lead in the street-key dictionary, the communes a commune
// part names, a subset piece's streets and those a subset split keeps)
// depends on nothing but the texts, the sheet and the rules in force. While
// a scope is open on the calling thread, the core calls on its sheet under
// the rules in force when it opened share these, so a query that runs the
// core on many overlapping keys (the German branch's variant rows and word
// drops) reads each text once. At most kCoreTextMemoBytes of texts,
// positions and street lists and kCoreTextMemoCommunes commune texts are
// kept; later texts are read afresh. Scopes nest: the previous one is back
// in force when one ends.
inline constexpr size_t kCoreTextMemoBytes = size_t{2} << 20;
inline constexpr size_t kCoreTextMemoCommunes = 4096;
class CoreTextMemoScope {
 public:
  [[nodiscard]] explicit CoreTextMemoScope(const Index& index);
  ~CoreTextMemoScope();
  CoreTextMemoScope(const CoreTextMemoScope&) = delete;
  CoreTextMemoScope& operator=(const CoreTextMemoScope&) = delete;

 private:
  std::unique_ptr<CoreTextMemo> memo_;
  CoreTextMemo* previous_;
};

}  // namespace vorlane::query
