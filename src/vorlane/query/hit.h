// One answer of the engine (Hit), the match booleans a candidate street
// gathers (MatchInfo), the ten 0/1 features derived from them, and the fixed
// models that turn them into flags and a calibrated confidence. The parts
// that need a sheet (building hits, scoring with the sheet's ranking model)
// are members of Index.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorlane::query {

// Precision classes. Hits hold views of these static texts; compare by
// content.
inline constexpr std::string_view kPrecisionHouse = "house";
inline constexpr std::string_view kPrecisionInterp = "interp";
inline constexpr std::string_view kPrecisionNear = "near";
inline constexpr std::string_view kPrecisionStreet = "street";
inline constexpr std::string_view kPrecisionCity = "city";
inline constexpr std::string_view kPrecisionApproximate = "approximate";

struct Hit {
  double lat = 0.0;  // degrees
  double lon = 0.0;
  std::string_view precision = kPrecisionStreet;  // always a static text
  float score = 0.0f;
  float confidence = 0.0f;
  std::string street;
  std::optional<std::string> housenumber;
  std::string commune;
  std::string postcode;
  std::vector<std::string_view> flags;  // static texts, in the order added
  std::optional<std::string> region;
  std::optional<double> distance_m;  // reverse answers only
};

// The match booleans of one candidate street, in their fixed order.
struct MatchInfo {
  bool street_exact = false;
  bool street_fuzzy = false;
  bool commune_exact = false;
  bool commune_prefix = false;
  bool pc_exact = false;
  bool pc_dept = false;   // postcodes agree in their thousands
  bool ml = false;        // from the token-labelling hypothesis
  bool house_found = false;
  bool house_rep = false;  // number and suffix both found
  bool has_house = false;  // the hypothesis carries a house number
  bool de_street_type = false;
};

inline constexpr size_t kFeatureCount = 10;
// MatchInfo entries street_exact .. has_house as 1.0 / 0.0.
using FeatureVector = std::array<float, kFeatureCount>;

// A hit with its features: the row the stage cascade carries.
using ScoredHit = std::pair<Hit, FeatureVector>;

// The matching core's row.
struct RankedHit {
  Hit hit;
  FeatureVector features{};
  int32_t street_similarity = 0;  // 0..100
  uint32_t house_distance = 0;    // |found - requested| for a nearest house
  uint32_t commune_weight = 0;
  uint32_t street_id = 0;
};

// Flags of a MatchInfo in their fixed order: street_exact, street_fuzzy,
// commune_exact else commune_prefix, house_rep, pc_exact else pc_dept, ml,
// de_street_type.
std::vector<std::string_view> match_flags(const MatchInfo& m);

FeatureVector features(const MatchInfo& m);

// The integer heuristic used when a sheet has no ranking model.
float heuristic_score(const MatchInfo& m);

// The calibrated confidence (a fixed logistic model) of a hit of this
// precision, rounded to two decimals.
float confidence_score(std::string_view precision, const MatchInfo& m);

// The leading run of ASCII digits of a postcode text as a number; nothing
// when there is no digit, the value is 0 or does not fit 32 bits.
std::optional<uint32_t> postcode_numeric_prefix(std::string_view text);

}  // namespace vorlane::query
