// An opened address sheet or POI layer: the shared file mapping, views of its
// sections, its dictionaries, and the small decoded parts (suffixes, ranking
// weights, token-labelling model, rules, metadata, admin regions, default
// centre). Everything is validated when the file is opened, so a damaged
// file fails at once, and an Index is read-only afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vorlane/base/byte_view.h"
#include "vorlane/base/mapped_file.h"
#include "vorlane/base/result.h"
#include "vorlane/fst/map.h"
#include "vorlane/index/meta.h"
#include "vorlane/ml/parser.h"
#include "vorlane/query/admin.h"
#include "vorlane/query/de_roster.h"
#include "vorlane/query/hit.h"
#include "vorlane/query/house.h"
#include "vorlane/query/lazy_flag.h"
#include "vorlane/query/places.h"
#include "vorlane/query/reverse_aids.h"
#include "vorlane/query/street_maps.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {

inline constexpr size_t kStreetRecordSize = 36;
inline constexpr size_t kCommuneRecordSize = 16;
inline constexpr size_t kCommuneCoordSize = 8;
inline constexpr size_t kGridCellSize = 12;
inline constexpr size_t kRankFeatureCount = 10;
// Postcode-text field value of a street whose houses carry their own
// postcodes (format version 7 and later).
inline constexpr uint32_t kPerHousePostcodes = 0xFFFFFFFF;

// Stored coordinates are integers in units of 1e-7 degree. They become
// degrees by a division (not a multiplication by 1e-7, which rounds
// differently for some values).
inline constexpr double kUnitsPerDegree = 10000000.0;
inline double degrees_from_units(int64_t units) {
  return static_cast<double>(units) / kUnitsPerDegree;
}
// pi / 180 as a double: the factor distances use to turn degrees to radians.
inline constexpr double kDegToRad = 0.017453292519943295;

// One decoded streets_meta record.
struct StreetRecord {
  int32_t lat;  // 1e-7 degree
  int32_t lon;
  uint32_t commune;
  uint32_t postcode;  // 0 = none
  uint32_t name_offset;
  uint64_t house_offset;
  uint32_t house_count;
  uint32_t postcode_field;  // 0, kPerHousePostcodes, or a names offset
};

struct LatLon {
  double lat;
  double lon;
};

// One communes_meta record with its commune_coords entry. An id past the
// table reads as the empty record.
struct CommuneRecord {
  std::string_view code;  // the 8 stored bytes (NUL-padded); empty past the table
  std::string_view name;  // empty when unreadable
  uint32_t weight = 0;
  int32_t lat = 0;  // 1e-7 degree; (0, 0) = no coordinates
  int32_t lon = 0;
};

class Index {
 public:
  // Maps and validates the index file at `path` (raw bytes, as the caller
  // gave it). Messages name the file as quoted by quote_path.
  static Result<std::unique_ptr<Index>> open(std::string_view path);

  // As open(), and the file must not name a layer other than "addresses".
  static Result<std::unique_ptr<Index>> open_address(std::string_view path);

  // Validates an index held in `file`; `path` names it in messages and
  // locates its admin sidecar. The entry point for in-memory images.
  static Result<std::unique_ptr<Index>> open_mapped(std::string_view path,
                                                    std::shared_ptr<const MappedFile> file);

  Index(const Index&) = delete;
  Index& operator=(const Index&) = delete;

  // The first metadata value of `key`, exactly as stored.
  std::optional<std::string_view> meta_value(std::string_view key) const;
  std::optional<std::string_view> country() const { return meta_value("country"); }

  size_t street_count() const { return streets_meta.size() / kStreetRecordSize; }
  size_t commune_count() const { return communes_meta.size() / kCommuneRecordSize; }

  // The record of a street id, or nothing past the table.
  std::optional<StreetRecord> street(uint64_t id) const;
  // Its commune alone, read without the rest of the record.
  std::optional<uint32_t> street_commune(uint64_t id) const;
  // The string of the names pool at `offset`, or nothing when it does not fit.
  std::optional<std::string_view> name_at(uint64_t offset) const;

  // The name of the first admin region that contains the point.
  std::optional<std::string> admin_at(double lat, double lon) const {
    return query::admin_at(admin_regions, lat, lon);
  }

  // The rules in force for this index: its own merged rules, or the
  // built-in ones.
  const ::vorlane::rules::Rules& active_rules() const { return *rules; }

  // Hits, houses and reverse search (hit.cc, house.cc, reverse.cc)

  // The names-pool text at `offset`; empty when it does not fit or is not
  // UTF-8.
  std::string_view name(uint64_t offset) const;
  // A commune's record; every read is bounds-checked, so an id from an
  // unchecked table (commune_postings) can never read outside communes_meta.
  CommuneRecord commune(uint64_t id) const;
  std::string_view commune_name(uint64_t id) const { return commune(id).name; }
  // Suffix text of a suffix id; empty for 0 and for ids past the table.
  std::string_view suffix_text(uint64_t suffix_id) const;
  // "{number}{suffix text}".
  std::string house_number(uint32_t number, uint32_t suffix_id) const;
  // Postcode text of a street, or of one of its houses when the street
  // carries per-house postcodes (`postcode_ref`: names offset, 0 = none).
  std::string postcode_for_house(const StreetRecord& street, uint32_t postcode_ref) const;
  // The sheet's ranking model over the features when it has one, else the
  // integer heuristic; plus 1 when the house was found.
  float score(const MatchInfo& m, const FeatureVector& f) const;

  // One street- or house-level hit for a street and a house-number
  // hypothesis. Sets m.has_house and may rewrite house_found, house_rep,
  // pc_exact and pc_dept; the caller keeps these changes. `query_words` are
  // the query's words as characters, for the street-word similarity.
  // Reports the hit to the calling thread's diagnosis trace. Without
  // `with_region` the admin region is left for the caller to fill.
  RankedHit make_hit(uint32_t street_id, MatchInfo& m, bool has_house, uint32_t number,
                     uint32_t suffix_id, bool has_postcode, uint32_t postcode,
                     std::span<const std::u32string> query_words, bool with_region = true) const;
  // One place-level hit: precision "city", score 0, confidence 0.05, no
  // region, all features 0.
  std::vector<ScoredHit> city_hit(std::string place_name, bool exact, double lat, double lon) const;

  // Looks house `number` with `suffix_id` up on one street. `postcode` is
  // the query's postcode, used only when `check_postcode` is set.
  std::optional<HouseMatch> find_house(uint32_t street_id, const StreetRecord& street,
                                       uint32_t number, uint32_t suffix_id, bool check_postcode,
                                       uint32_t postcode) const;
  // House `number`, whatever its suffix, on any of the streets, when every
  // house with that number lies within 0.15 km of the first one found.
  std::optional<ScoredHit> field_house_from_ids(std::span<const uint32_t> street_ids,
                                                uint32_t number) const;
  // Great-circle distance in km (haversine, Earth diameter 12742 km).
  static double dist_km(double lat1, double lon1, double lat2, double lon2);

  // The nearest distinct houses to a point, nearest first, at most
  // min(k, 100); an error message when the point is not finite or out of
  // range. Runs with the sheet's rules installed.
  Result<std::vector<Hit>> try_reverse(double lat, double lon, size_t k) const;

  // Places, communes and street keys (places.cc)

  // The commune ids stored under exactly `name` in the commune-name
  // dictionary, in stored order; empty when absent or when the postings run
  // lies outside commune_postings.
  std::vector<uint32_t> communes_by_name_raw(std::string_view name) const;
  // The ids of the keys that begin with `prefix`, in key order, cut at
  // kCommunePrefixLimit (also inside a run); not de-duplicated.
  std::vector<uint32_t> communes_by_prefix_raw(std::string_view prefix) const;
  // On an Italian sheet: the trimmed text is one street-type word (or
  // "borgo", "piazzale"), never a commune.
  bool it_street_type_only(std::string_view text) const;
  // Exact lookup with the rules' commune alias, then the article forms
  // ("l ", "la ", "le ", "les "), a glued "l", and the name without the
  // rules' district words.
  std::vector<uint32_t> communes_by_name(std::string_view name) const;
  // Prefix lookup (at least kCommunePrefixMinChars alphanumeric characters)
  // with the rules' commune alias, then the article forms.
  std::vector<uint32_t> communes_by_prefix(std::string_view text) const;
  // The weighted centre of the communes named `name`, else of the communes
  // whose names continue it with more words.
  std::optional<Place> resolve_place(std::string_view name) const;
  // resolve_place, retried through the Cyrillic/Latin transliterations; a
  // place at (0, 0) counts as none.
  std::optional<Place> resolve_place_translit(std::string_view name) const;
  // The query text with the rules' city aliases replaced by their communes
  // (when the commune is a dictionary key): whole text, last word, or a
  // word inside.
  std::string expand_city_aliases(std::string_view text) const;

  uint8_t version = 0;
  std::shared_ptr<const MappedFile> mmap;

  fst::Map commune_name_fst;
  fst::Map street_key_fst;
  fst::Map words_fst;

  ByteView communes_meta;
  ByteView commune_postings;
  ByteView streets_meta;
  ByteView house_data;
  ByteView names;
  ByteView word_postings;
  ByteView commune_coords;
  ByteView grid_cells;       // 12-byte cell records
  ByteView grid_street_ids;  // u32 street ids addressed by the cells

  std::vector<std::string> suffixes;  // by suffix id; entry 0 is ""
  std::unordered_map<std::string, uint32_t> suffix_ids;

  std::optional<ml::Parser> parser;
  std::optional<std::array<float, kRankFeatureCount>> rank_weights;
  float rank_bias = 0.0f;

  std::unique_ptr<::vorlane::rules::Rules> rules_owned;
  const ::vorlane::rules::Rules* rules = nullptr;

  index::MetaEntries meta;
  std::vector<AdminRegion> admin_regions;
  std::optional<LatLon> default_centre;
  // Read only through query::rewrite_target_flag (country_driver.h).
  LazyFlag rewrite_target;

  // German sheets only (country exactly "de"); empty otherwise.
  DePostcodeRoster de_postcode_streets;
  DeBlankPostcodeDisplayProjection de_blank_postcode_display_streets;

  // Street ids by a key of the street name alone, built once, on first use
  // inside a query (street_types.h); the first user's rules fix the keys.
  LazyStreetKeyMap streets_by_field_key;
  LazyStreetKeyMap streets_by_title_key;

  // Built by the first reverse search (reverse.cc).
  LazyReverseAids reverse_aids;

 private:
  Index(fst::Map commune_names, fst::Map street_keys, fst::Map words)
      : commune_name_fst(commune_names), street_key_fst(street_keys), words_fst(words) {}
  friend class IndexOpener;
};

// Compares an opened address sheet with the POI layer opened beside it.
// Returns the message to raise when they do not belong together; writes a
// warning (and accepts) when either lacks a country.
std::optional<std::string> check_pair(const Index& address, const Index& poi);

}  // namespace vorlane::query
