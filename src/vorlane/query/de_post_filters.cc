// German locality post-filters. Both look at the candidate window only: the
// rows at positions 1 to 4. Words of the tail count by characters.
#include "vorlane/query/de_post_filters.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "vorlane/base/utf8.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/de_text.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/ranking.h"

namespace vorlane::query {
namespace {

constexpr size_t kWindowEnd = 5;  // positions 1, 2, 3 and 4
constexpr size_t kMinTailWordChars = 4;

size_t window_end(const std::vector<RankedHit>& rows) { return std::min(rows.size(), kWindowEnd); }

bool same_bits(float a, float b) {
  uint32_t x;
  uint32_t y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

// Equal to the top in everything but the commune (and position).
bool is_twin(const RankedHit& h, const RankedHit& t, RowStreetKeys& keys) {
  return same_bits(h.hit.score, t.hit.score) && h.features == t.features &&
         h.street_similarity == t.street_similarity && h.house_distance == t.house_distance &&
         h.hit.precision == t.hit.precision && h.hit.housenumber == t.hit.housenumber &&
         h.hit.postcode == t.hit.postcode && h.hit.flags == t.hit.flags &&
         keys.of(h) == keys.of(t);
}

// Some piece of the tail of at least 4 characters is a word of the
// commune's core.
bool commune_holds_tail_word(std::string_view commune, const std::vector<std::string_view>& tail) {
  const std::string core = de_commune_core(commune);
  std::vector<std::string_view> core_words;
  for (size_t start = 0; start <= core.size();) {
    const size_t end = std::min(core.find(' ', start), core.size());
    core_words.push_back(std::string_view(core).substr(start, end - start));
    start = end + 1;
  }
  return std::any_of(tail.begin(), tail.end(), [&](std::string_view piece) {
    return utf8::char_count(piece) >= kMinTailWordChars &&
           std::find(core_words.begin(), core_words.end(), piece) != core_words.end();
  });
}

std::vector<std::string_view> pieces(std::string_view text) {
  std::vector<std::string_view> out;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find(' ', start), text.size());
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// The match features the postal-tail candidate must share with the top.
constexpr std::array<size_t, 8> kPostalTailFeatures = {kStreetExact, kStreetFuzzy, kCommuneExact,
                                                       kCommunePrefix, kMl, kHouseFound,
                                                       kHouseRep, kHasHouse};

}  // namespace

void promote_retained_locality(std::vector<RankedHit>& rows, const DeLocalityContext& context,
                               RowStreetKeys& keys) {
  if (rows.empty() || !has_feature(rows.front(), kStreetExact)) return;
  if (de_retained_locality_score(context.locality, rows.front().hit.commune) != 0) return;
  const std::string tail = norm::normalize(context.tail);
  const std::vector<std::string_view> tail_pieces = pieces(tail);
  uint8_t best = 0;
  std::vector<size_t> chosen;
  for (size_t i = 1; i < window_end(rows); ++i) {
    const RankedHit& h = rows[i];
    if (!is_twin(h, rows.front(), keys) || !commune_holds_tail_word(h.hit.commune, tail_pieces)) {
      continue;
    }
    const uint8_t agreement = de_retained_locality_score(context.locality, h.hit.commune);
    if (agreement > best) {
      chosen.assign(1, i);
      best = agreement;
    } else if (agreement == best && agreement != 0) {
      chosen.push_back(i);
    }
  }
  if (chosen.size() == 1) move_to_top(rows, chosen.front(), "de_retained_locality");
}

void promote_postal_tail(std::vector<RankedHit>& rows, const DeLocalityContext& context,
                         std::optional<uint32_t> postcode, bool german_sheet) {
  if (rows.empty() || !postcode || !german_sheet || !context.postal_tail_eligible) return;
  const RankedHit& top = rows.front();
  if (!has_feature(top, kStreetExact) || has_feature(top, kPcExact)) return;
  const auto& flags = top.hit.flags;
  if (std::find(flags.begin(), flags.end(), "de_retained_locality") != flags.end()) return;
  const std::string top_street = norm::normalize(top.hit.street);
  std::optional<size_t> candidate;
  for (size_t i = 1; i < window_end(rows); ++i) {
    const RankedHit& h = rows[i];
    const bool same_features =
        std::all_of(kPostalTailFeatures.begin(), kPostalTailFeatures.end(),
                    [&](size_t f) { return h.features[f] == top.features[f]; });
    if (!same_features || !has_feature(h, kPcExact)) continue;
    if (read_postcode_number(h.hit.postcode) != postcode) continue;
    if (h.hit.precision != top.hit.precision || norm::normalize(h.hit.street) != top_street) continue;
    if (candidate) return;  // two candidates: the order stays
    candidate = i;
  }
  if (candidate) move_to_top(rows, *candidate, "de_postal_tail");
}

}  // namespace vorlane::query
