// TEMPORARY stand-ins for the German services the matching core calls, until
// their real implementations are merged. Delete this file then.
#include <string>
#include <vector>

#include "vorlane/de/street_variants.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/de_roster.h"
#include "vorlane/query/de_text.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"

namespace vorlane::de {
std::vector<std::string> street_variants(std::string_view) { return {}; }
}  // namespace vorlane::de

namespace vorlane::query {

std::string de_commune_core(std::string_view name) {
  const std::string canonical = norm::normalize(name);
  std::vector<std::string_view> words = split_words(canonical);
  while (!words.empty() && words.front() == "stadt") words.erase(words.begin());
  while (!words.empty() && words.back() == "stadt") words.pop_back();
  return join_words(words);
}

uint8_t de_retained_locality_score(std::string_view locality, std::string_view commune) {
  const std::string l = norm::normalize(locality);
  const std::string c = de_commune_core(commune);
  if (l.empty() || c.empty()) return 0;
  if (c == l) return 2;
  if (c.size() > l.size() && c.starts_with(l) && c[l.size()] == ' ') return 1;
  return 0;
}

size_t ExactHouseKeyHash::operator()(const ExactHouseKey& k) const {
  return (size_t{k.street_id} * 0x9E3779B97F4A7C15ULL) ^ (size_t{k.number} << 20) ^
         (size_t{k.suffix_id} << 40) ^ k.postcode;
}

bool exact_house_postcode_candidate_cached(const Index& index, ExactHouseCache& cache,
                                           uint32_t street_id, const StreetRecord& street,
                                           uint32_t number, uint32_t suffix_id,
                                           uint32_t postcode) {
  const ExactHouseKey key{street_id, number, suffix_id, postcode};
  if (const auto it = cache.find(key); it != cache.end()) return it->second;
  bool answer = false;
  if (street.postcode_field == kPerHousePostcodes || street.postcode == 0 ||
      street.postcode == postcode) {
    const auto house = index.find_house(street_id, street, number, suffix_id, true, postcode);
    answer = house && house->kind == HouseMatchKind::Exact &&
             postcode_numeric_prefix(index.postcode_for_house(street, house->postcode_ref)) ==
                 postcode;
  }
  cache.emplace(key, answer);
  return answer;
}

bool exact_house_postcode_set_candidate_cached(const Index& index, ExactHouseCache& cache,
                                               uint32_t street_id, const StreetRecord& street,
                                               uint32_t number, uint32_t suffix_id,
                                               std::span<const uint32_t> alternatives,
                                               uint32_t postcode) {
  if (!exact_house_postcode_candidate_cached(index, cache, street_id, street, number, suffix_id,
                                             postcode)) {
    return false;
  }
  for (uint32_t alt : alternatives) {
    if (!exact_house_postcode_candidate_cached(index, cache, street_id, street, alt, suffix_id,
                                               postcode)) {
      return false;
    }
  }
  return true;
}

}  // namespace vorlane::query
