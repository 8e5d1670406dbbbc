// The country stage. The outer stages live in street_data.cc (street data,
// street data base) and postal_retry.cc (postal retry, city tail).
#include "vorlane/query/stages.h"

#include "vorlane/query/core_stage.h"
#include "vorlane/query/country_driver.h"

namespace vorlane::query {

std::vector<ScoredHit> query_feats_country_variants(const Index& index, std::string_view q,
                                                    size_t k) {
  return drive_country_branches(index, q, k);
}

}  // namespace vorlane::query
