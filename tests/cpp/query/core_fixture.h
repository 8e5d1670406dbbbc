// The matching-core fixture sheets of tests/data/core (see
// make_core_sheets.py there) and a one-call driver of the core that installs
// the sheet's rules as the query entry point does.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/test_data.h"
#include "vorlane/query/core.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query::testing {

inline const Index& core_sheet(const std::string& name) {
  static std::map<std::string, std::unique_ptr<Index>> sheets;
  std::unique_ptr<Index>& idx = sheets[name];
  if (!idx) {
    auto opened = Index::open(vorlane::testing::data_path("core/" + name + ".idx"));
    EXPECT_TRUE(opened.has_value()) << name;
    idx = std::move(opened).value();
  }
  return *idx;
}

struct CoreArgs {
  size_t k = 10;
  bool rescue = false;
  std::vector<uint32_t> alternatives;
  uint64_t budget = 0;
  SeenStreetVariants seen;
  std::optional<DeLocalityContext> context;
  std::optional<std::string_view> hint;
  bool abort = false;
};

inline std::vector<RankedHit> run_core(const Index& idx, std::string_view key, CoreArgs& a) {
  const rules::CurrentRulesScope scope(idx.active_rules());
  return query_feats_prepared_internal(idx, key, a.k, std::nullopt, a.context, a.rescue,
                                       a.alternatives, a.budget, a.seen, a.abort, a.hint);
}

inline std::vector<RankedHit> run_core(const Index& idx, std::string_view key) {
  CoreArgs a;
  return run_core(idx, key, a);
}

// "street | commune | housenumber" of each row.
inline std::vector<std::string> describe(const std::vector<RankedHit>& rows) {
  std::vector<std::string> out;
  for (const RankedHit& r : rows) {
    out.push_back(r.hit.street + " | " + r.hit.commune + " | " + r.hit.housenumber.value_or("-"));
  }
  return out;
}

}  // namespace vorlane::query::testing
