// The memoised test for a house with exactly a given number, suffix and
// postcode, which German candidate collection asks many times per query for
// the same few streets. Malformed house data answers false; every answer,
// false included, goes into the caller's cache.
#include "vorlane/query/decimal.h"
#include "vorlane/query/house_list.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

// Whether one of the street's house-postcode texts reads as `postcode`.
// Only version 7 stores the dictionary; offset 0 names no text.
bool dictionary_holds(const Index& index, uint32_t street_id, const StreetRecord& street,
                      uint32_t postcode) {
  if (index.version < 7) return false;
  const auto reader = HouseListReader::open(index, street_id, street);
  if (!reader) return false;
  const ByteView dictionary = reader->postcode_dictionary();
  for (uint64_t at = 0; at + 4 <= dictionary.size(); at += 4) {
    const uint32_t offset = *dictionary.le_u32(at);
    if (offset == 0) continue;
    const auto value = parse_u32(index.name(offset));
    if (value && *value == postcode) return true;
  }
  return false;
}

bool exact_house_postcode_candidate(const Index& index, uint32_t street_id,
                                    const StreetRecord& street, uint32_t number,
                                    uint32_t suffix_id, uint32_t postcode) {
  if (street.postcode_field == kPerHousePostcodes) {
    if (!dictionary_holds(index, street_id, street, postcode)) return false;
  } else if (street.postcode != 0 && street.postcode != postcode) {
    return false;
  }
  const auto house = index.find_house(street_id, street, number, suffix_id, true, postcode);
  if (!house || house->kind != HouseMatchKind::Exact) return false;
  // find_house also reports an exact number whose postcode failed as Exact;
  // the house's own postcode text decides.
  const auto value = postcode_numeric_prefix(index.postcode_for_house(street, house->postcode_ref));
  return value && *value == postcode;
}

}  // namespace

size_t ExactHouseKeyHash::operator()(const ExactHouseKey& k) const {
  const uint64_t a = (uint64_t{k.street_id} << 32) | k.number;
  const uint64_t b = (uint64_t{k.suffix_id} << 32) | k.postcode;
  uint64_t h = a * 0x9E3779B97F4A7C15ULL;
  h ^= b + 0xC2B2AE3D27D4EB4FULL + (h << 6) + (h >> 2);
  return static_cast<size_t>(h ^ (h >> 29));
}

bool exact_house_postcode_candidate_cached(const Index& index, ExactHouseCache& cache,
                                           uint32_t street_id, const StreetRecord& street,
                                           uint32_t number, uint32_t suffix_id,
                                           uint32_t postcode) {
  const ExactHouseKey key{street_id, number, suffix_id, postcode};
  if (const auto it = cache.find(key); it != cache.end()) return it->second;
  const bool answer =
      exact_house_postcode_candidate(index, street_id, street, number, suffix_id, postcode);
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
  for (const uint32_t alternative : alternatives) {
    if (!exact_house_postcode_candidate_cached(index, cache, street_id, street, alternative,
                                               suffix_id, postcode)) {
      return false;
    }
  }
  return true;
}

}  // namespace vorlane::query
