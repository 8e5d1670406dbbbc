// The outer stages. Each passes the query straight inward; the rewrites and
// retries that judge and repeat an inner answer belong here as they come.
#include "vorlane/query/stages.h"

#include "vorlane/levenshtein/lev_cache.h"
#include "vorlane/query/core_stage.h"
#include "vorlane/query/country_driver.h"

namespace vorlane::query {

std::vector<ScoredHit> query_feats_street_data(const Index& index, std::string_view q, size_t k) {
  return query_feats_street_data_base(index, q, k);
}

std::vector<ScoredHit> query_feats_street_data_base(const Index& index, std::string_view q,
                                                    size_t k) {
  clear_lev_cache();
  return query_feats_postal_retry(index, q, k);
}

std::vector<ScoredHit> query_feats_postal_retry(const Index& index, std::string_view q, size_t k) {
  return query_feats_city_tail(index, q, k);
}

std::vector<ScoredHit> query_feats_city_tail(const Index& index, std::string_view q, size_t k) {
  return query_feats_country_variants(index, q, k);
}

std::vector<ScoredHit> query_feats_country_variants(const Index& index, std::string_view q,
                                                    size_t k) {
  return drive_country_branches(index, q, k);
}

}  // namespace vorlane::query
