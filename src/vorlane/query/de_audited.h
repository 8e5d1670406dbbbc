// The audited compound fallback: the German branch's last resort. Three
// narrow query shapes (a parenthesised entrance note, a list of eight comma
// fields, a "c/o" line) name a street, one or two house numbers, a postcode
// and a locality; the answer is the one street of that postcode and
// locality holding every requested house under that postcode, or nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/query/hit.h"

namespace vorlane::query {

class Index;

struct DeAuditedCompoundSpec {
  enum Shape : uint8_t { kFieldList = 0, kSingleHouse = 1, kEntrancePair = 2, kCareOf = 3 };

  std::string street;          // as the shape delivers it; fed to the variant generator
  std::string product_street;  // compared with the sheet's street names
  std::vector<uint32_t> extra_houses;  // must exist besides `house`
  std::string postcode_text;           // five ASCII digits
  std::string locality;                // product form
  uint32_t house = 0;                  // never 0
  uint32_t postcode = 0;
  uint8_t shape = kFieldList;

  bool operator==(const DeAuditedCompoundSpec&) const = default;
};

// The parsed address of the one shape `query` has; nothing when it has none, or more
// than one.
std::optional<DeAuditedCompoundSpec> de_audited_compound_spec(std::string_view query);

// A one-row answer flagged "de_audited_compound" (and "de_house_set_exact"
// for an entrance pair), or nothing.
std::optional<std::vector<ScoredHit>> de_audited_compound_fallback(const Index& index,
                                                                   std::string_view query);

}  // namespace vorlane::query
