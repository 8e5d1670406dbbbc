// Building hits: the match booleans' flags and features, the score (the
// sheet's linear ranking model or a fixed heuristic), the fixed logistic
// confidence, and street/house/place hits with their texts. Scores and
// confidences are single precision and must come out bit for bit, so every
// step is written out in f32 in a fixed order (the build forbids fused
// multiply-adds). Stored references (names offsets, commune ids, suffix ids)
// are read through bounds-checked accessors: an unreadable one gives an
// empty text, never a read outside its section.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "vorlane/base/utf8.h"
#include "vorlane/diagnosis/trace.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/edit_distance.h"
#include "vorlane/query/hit.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

// A hit whose score is negative is never more than this confident.
constexpr float kNegativeScoreConfidenceCap = 0.4f;
constexpr float kCityConfidence = 0.05f;
constexpr uint32_t kNoHouseDistance = 0xFFFFFFFF;

double degrees(int32_t v) { return degrees_from_units(v); }

// Intercept of the confidence model by precision. The street and near
// values are each one f32 step above the nearest f32 of -2.97 and -3.16.
float confidence_intercept(std::string_view precision) {
  if (precision == kPrecisionHouse) return -1.783f;
  if (precision == kPrecisionInterp) return -2.59f;
  if (precision == kPrecisionStreet) return -0x1.7c28f4p+1f;
  if (precision == kPrecisionNear) return -0x1.947ae0p+1f;
  return -3.254f;
}

// The best similarity (0..100) between a word of the street name and a word
// of the query: 100 - 100 * lev / longer length.
int32_t street_similarity(std::string_view street_name,
                          std::span<const std::u32string> query_words) {
  const std::string normalized = norm::normalize(street_name);
  int32_t best = 0;
  size_t start = 0;
  while (start <= normalized.size()) {
    size_t end = normalized.find(' ', start);
    if (end == std::string::npos) end = normalized.size();
    if (end > start) {
      const std::u32string word = chars_of(std::string_view(normalized).substr(start, end - start));
      for (const std::u32string& q : query_words) {
        const size_t longest = std::max({word.size(), q.size(), size_t{1}});
        const size_t distance = lev(word, q);
        const int32_t similarity = 100 - static_cast<int32_t>(100 * distance / longest);
        best = std::max(best, similarity);
      }
    }
    start = end + 1;
  }
  return best;
}

}  // namespace

std::vector<std::string_view> match_flags(const MatchInfo& m) {
  std::vector<std::string_view> flags;
  if (m.street_exact) flags.push_back("street_exact");
  if (m.street_fuzzy) flags.push_back("street_fuzzy");
  if (m.commune_exact) {
    flags.push_back("commune_exact");
  } else if (m.commune_prefix) {
    flags.push_back("commune_prefix");
  }
  if (m.house_rep) flags.push_back("house_rep");
  if (m.pc_exact) {
    flags.push_back("pc_exact");
  } else if (m.pc_dept) {
    flags.push_back("pc_dept");
  }
  if (m.ml) flags.push_back("ml");
  if (m.de_street_type) flags.push_back("de_street_type");
  return flags;
}

FeatureVector features(const MatchInfo& m) {
  const auto f = [](bool b) { return b ? 1.0f : 0.0f; };
  return {f(m.street_exact), f(m.street_fuzzy), f(m.commune_exact), f(m.commune_prefix),
          f(m.pc_exact),     f(m.pc_dept),      f(m.ml),            f(m.house_found),
          f(m.house_rep),    f(m.has_house)};
}

float heuristic_score(const MatchInfo& m) {
  const int street = m.street_exact ? 3 : 2 * int{m.street_fuzzy};
  const int commune = m.commune_exact ? 3 : 2 * int{m.commune_prefix};
  const int house = m.house_rep ? 2 : int{m.house_found};
  return static_cast<float>(street + commune + 2 * int{m.pc_exact} + house);
}

float confidence_score(std::string_view precision, const MatchInfo& m) {
  float z = confidence_intercept(precision);
  if (m.street_exact) z += 0.899f;
  if (m.street_fuzzy) z += -0.41f;
  if (m.commune_exact) z += 2.36f;
  if (m.commune_prefix) z += 1.24f;
  if (m.house_rep) z += 1.28f;
  if (m.pc_exact) z += 0.738f;
  if (m.pc_dept) z += -0.515f;
  if (m.ml) z += -0.27f;
  const float p = 1.0f / (expf(-z) + 1.0f);
  return roundf(p * 100.0f) / 100.0f;
}

std::optional<uint32_t> postcode_numeric_prefix(std::string_view text) {
  uint64_t value = 0;
  size_t digits = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX) return std::nullopt;
    ++digits;
  }
  if (digits == 0 || value == 0) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::string_view Index::name(uint64_t offset) const {
  const auto text = name_at(offset);
  if (!text || !utf8::is_valid(*text)) return {};
  return *text;
}

CommuneRecord Index::commune(uint64_t id) const {
  if (id >= commune_count()) return {};
  const uint64_t rec = id * kCommuneRecordSize;
  CommuneRecord out;
  out.code = communes_meta.subview(rec, 8)->as_string_view();
  out.name = name(*communes_meta.le_u32(rec + 8));
  out.weight = *communes_meta.le_u32(rec + 12);
  const uint64_t coords = id * kCommuneCoordSize;
  if (const auto lat = commune_coords.le_i32(coords)) {
    if (const auto lon = commune_coords.le_i32(coords + 4)) {
      out.lat = *lat;
      out.lon = *lon;
    }
  }
  return out;
}

std::string_view Index::suffix_text(uint64_t suffix_id) const {
  return suffix_id < suffixes.size() ? std::string_view(suffixes[suffix_id]) : std::string_view();
}

std::string Index::house_number(uint32_t number, uint32_t suffix_id) const {
  std::string out = std::to_string(number);
  out += suffix_text(suffix_id);
  return out;
}

std::string Index::postcode_for_house(const StreetRecord& street, uint32_t postcode_ref) const {
  if (street.postcode_field == kPerHousePostcodes) {
    return postcode_ref == 0 ? std::string() : std::string(name(postcode_ref));
  }
  if (street.postcode_field != 0) {
    const std::string_view text = name(street.postcode_field);
    if (!text.empty()) return std::string(text);
  }
  if (street.postcode != 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%05u", street.postcode);
    return buf;
  }
  return {};
}

float Index::score(const MatchInfo& m, const FeatureVector& f) const {
  float s;
  if (rank_weights) {
    s = rank_bias;
    for (size_t i = 0; i < kFeatureCount; ++i) {
      const float term = (*rank_weights)[i] * f[i];
      s += term;
    }
  } else {
    s = heuristic_score(m);
  }
  if (m.house_found) s += 1.0f;
  return s;
}

RankedHit Index::make_hit(uint32_t street_id, MatchInfo& m, bool has_house, uint32_t number,
                          uint32_t suffix_id, bool has_postcode, uint32_t postcode,
                          std::span<const std::u32string> query_words,
                          bool with_region) const {
  const StreetRecord street = this->street(street_id).value_or(StreetRecord{});
  m.has_house = has_house;

  RankedHit row;
  Hit& hit = row.hit;
  hit.lat = degrees(street.lat);
  hit.lon = degrees(street.lon);
  hit.precision = kPrecisionStreet;
  std::optional<HouseMatch> house;
  if (has_house) {
    house = find_house(street_id, street, number, suffix_id, has_postcode, postcode);
    row.house_distance = house ? 0 : kNoHouseDistance;
  }
  if (house) {
    hit.lat = house->lat;
    hit.lon = house->lon;
    hit.housenumber = house_number(house->number, house->suffix_id);
    switch (house->kind) {
      case HouseMatchKind::Exact:
        hit.precision = kPrecisionHouse;
        m.house_found = true;
        m.house_rep = true;
        break;
      case HouseMatchKind::NumberOnly:
        hit.precision = kPrecisionHouse;
        m.house_found = true;
        m.house_rep = false;
        break;
      case HouseMatchKind::Interpolated:
        hit.precision = kPrecisionInterp;
        break;
      case HouseMatchKind::Nearest:
        hit.precision = kPrecisionNear;
        row.house_distance =
            house->number > number ? house->number - number : number - house->number;
        break;
    }
  }
  hit.postcode = postcode_for_house(street, house ? house->postcode_ref : 0);

  // On streets with per-house postcodes the postcode agreement is decided by
  // the found house's own postcode.
  if (version >= 7 && street.postcode_field == kPerHousePostcodes && house && has_postcode) {
    const auto value = postcode_numeric_prefix(hit.postcode);
    if (postcode == 0 || !value) {
      m.pc_exact = false;
      m.pc_dept = false;
    } else {
      m.pc_exact = *value == postcode;
      m.pc_dept = *value / 1000 == postcode / 1000;
    }
  }

  row.features = features(m);
  hit.score = score(m, row.features);
  hit.confidence = confidence_score(hit.precision, m);
  if (hit.score < 0.0f) hit.confidence = std::min(hit.confidence, kNegativeScoreConfidenceCap);

  const CommuneRecord commune_record = commune(street.commune);
  hit.street = std::string(name(street.name_offset));
  hit.commune = std::string(commune_record.name);
  hit.flags = match_flags(m);
  if (with_region) hit.region = admin_at(hit.lat, hit.lon);

  row.street_similarity = street_similarity(hit.street, query_words);
  row.commune_weight = commune_record.weight;
  row.street_id = street_id;

  diagnosis::hit({.street_id = street_id,
                  .commune_id = street.commune,
                  .street = hit.street,
                  .commune = hit.commune,
                  .precision = hit.precision,
                  .has_house = has_house,
                  .requested_number = number,
                  .house_count = street.house_count,
                  .score = hit.score});
  return row;
}

std::vector<ScoredHit> Index::city_hit(std::string place_name, bool exact, double lat,
                                       double lon) const {
  Hit hit;
  hit.lat = lat;
  hit.lon = lon;
  hit.precision = kPrecisionCity;
  hit.score = 0.0f;
  hit.confidence = kCityConfidence;
  hit.commune = std::move(place_name);
  hit.flags.push_back(exact ? "place_exact" : "place_prefix_group");
  std::vector<ScoredHit> out;
  out.emplace_back(std::move(hit), FeatureVector{});
  return out;
}

}  // namespace vorlane::query
