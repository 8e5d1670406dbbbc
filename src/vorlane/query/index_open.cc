// Opening an index: maps the file, validates the header and every section
// whose damage would otherwise surface later as wrong answers, and decodes
// the small owned parts. The checks run in a fixed order, because the order
// decides which message a file with several faults gets. Once open() has
// returned, the street records, the word posting lists and every node of the
// three dictionaries have been proved sound; what is not proved here
// (commune postings, grid cells, house entries, street-key values, names
// offsets other than street names) is checked where it is read.
#include <cmath>
#include <string>

#include "vorlane/base/quote.h"
#include "vorlane/base/utf8.h"
#include "vorlane/base/warning.h"
#include "vorlane/index/meta.h"
#include "vorlane/index/sections.h"
#include "vorlane/index/varint.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using index::SectionId;

// The most streets a word_postings list may name.
constexpr uint64_t kMaxPostingCount = 16384;
// A capital's communes must weigh at least 1/20 of the heaviest commune to
// move the default centre away from that commune.
constexpr uint32_t kCapitalWeightDivisor = 20;

double coord_degrees(int32_t v) { return degrees_from_units(v); }

struct CommuneRecordView {
  ByteView meta;    // communes_meta
  ByteView coords;  // commune_coords

  size_t count() const { return meta.size() / kCommuneRecordSize; }
  std::optional<uint32_t> weight(uint64_t id) const {
    if (id >= count()) return std::nullopt;
    return meta.le_u32(id * kCommuneRecordSize + 12);
  }
  // Coordinates of a commune, or nothing when the entry lies outside its
  // section or is (0, 0), which means "no coordinates".
  std::optional<std::pair<int32_t, int32_t>> coordinates(uint64_t id) const {
    if (id >= coords.size() / kCommuneCoordSize) return std::nullopt;
    const int32_t lat = *coords.le_i32(id * kCommuneCoordSize);
    const int32_t lon = *coords.le_i32(id * kCommuneCoordSize + 4);
    if (lat == 0 && lon == 0) return std::nullopt;
    return std::make_pair(lat, lon);
  }
};

// A German sheet precomputes its postcode rosters before it is shared. Only
// the lower-case code counts: "DE" sheets get none. The builders' messages
// stand alone, without the file name.
Result<void> build_german_rosters(Index& idx) {
  if (idx.country() != "de") return ok();
  VORLANE_ASSIGN_OR_RETURN(idx.de_postcode_streets, build_de_postcode_streets(idx));
  VORLANE_ASSIGN_OR_RETURN(idx.de_blank_postcode_display_streets,
                           build_de_blank_postcode_display_streets(idx));
  return ok();
}

}  // namespace

class IndexOpener {
 public:
  IndexOpener(std::string_view path, std::shared_ptr<const MappedFile> file)
      : path_(path), quoted_(quote_path(path)), file_(std::move(file)), bytes_(file_->bytes()) {}

  Result<std::unique_ptr<Index>> run();
  Result<std::unique_ptr<Index>> validate_and_load();

 private:
  uint8_t table_version() const { return *bytes_.u8(4); }
  ByteView section(SectionId id) const { return index::section(bytes_, table_, id); }
  Error fail(std::string_view what) const {
    return corrupt(quoted_ + ": " + std::string(what));
  }

  void read_suffixes();
  void split_grid();
  Result<void> read_parser();
  Result<void> read_rank_model();
  void read_rules();
  Result<fst::Map> open_fst(SectionId id, std::string_view name) const;
  void find_default_centre(const fst::Map& commune_names);
  std::optional<std::pair<uint64_t, LatLon>> capital_centroid(const fst::Map& commune_names,
                                                              std::string_view capital) const;
  Result<void> check_record_sizes() const;
  Result<void> check_streets() const;
  Result<void> check_house_postcodes(uint64_t street, uint64_t house_offset, uint64_t next_offset,
                                     uint32_t house_count) const;
  Result<void> check_word_postings(const fst::Map& words) const;
  const char* posting_list_fault(uint64_t offset, uint64_t street_count) const;

  std::string path_;
  std::string quoted_;
  std::shared_ptr<const MappedFile> file_;
  ByteView bytes_;
  index::SectionTable table_{};

  std::vector<std::string> suffixes_{std::string()};
  std::unordered_map<std::string, uint32_t> suffix_ids_;
  ByteView grid_cells_, grid_street_ids_;
  std::optional<ml::Parser> parser_;
  std::optional<std::array<float, kRankFeatureCount>> rank_weights_;
  float rank_bias_ = 0.0f;
  std::unique_ptr<rules::Rules> rules_owned_;
  const rules::Rules* rules_ = nullptr;
  std::optional<LatLon> default_centre_;
};

void IndexOpener::read_suffixes() {
  Cursor cur(section(index::house_suffixes));
  const auto n = cur.u32le();
  if (!n) return;
  // A 64-bit counter: n may be the largest u32, and the loop must end there.
  for (uint64_t id = 1; id <= *n; ++id) {
    const auto len = cur.u8();
    if (!len) return;
    const auto text = cur.str(*len);
    if (!text) return;
    std::string s = utf8::is_valid(*text) ? std::string(*text) : std::string();
    suffix_ids_[s] = static_cast<uint32_t>(id);
    suffixes_.push_back(std::move(s));
  }
}

void IndexOpener::split_grid() {
  const ByteView grid = section(index::reverse_grid);
  const auto cells = grid.le_u32(0);
  if (!cells) return;
  const uint64_t cells_bytes = uint64_t{*cells} * kGridCellSize;
  if (!grid.contains(4, cells_bytes)) return;
  grid_cells_ = *grid.subview(4, cells_bytes);
  grid_street_ids_ = grid.tail(4 + cells_bytes);
}

Result<void> IndexOpener::read_parser() {
  const ByteView s = section(index::sec_parser);
  if (s.empty()) return ok();
  parser_ = ml::Parser::from_section(s);
  if (!parser_) return fail("SEC_PARSER is present but malformed — corrupt/tampered sheet");
  return ok();
}

Result<void> IndexOpener::read_rank_model() {
  const ByteView s = section(index::sec_rank);
  if (s.empty()) return ok();
  const Error malformed = fail("SEC_RANK is present but malformed — corrupt/tampered sheet");
  constexpr size_t kRankSectionSize = 4 + 1 + 4 + 4 * kRankFeatureCount;  // 49
  if (s.size() != kRankSectionSize || s.as_string_view().substr(0, 4) != "VRRK" ||
      *s.u8(4) != kRankFeatureCount) {
    return malformed;
  }
  const float bias = *s.le_f32(5);
  if (!std::isfinite(bias)) return malformed;
  std::array<float, kRankFeatureCount> weights{};
  for (size_t i = 0; i < kRankFeatureCount; ++i) {
    weights[i] = *s.le_f32(9 + 4 * i);
    if (!std::isfinite(weights[i])) return malformed;
  }
  rank_bias_ = bias;
  rank_weights_ = weights;
  return ok();
}

void IndexOpener::read_rules() {
  rules_owned_ = rules::from_section_owned(section(index::rules_section));
  rules_ = rules_owned_ ? rules_owned_.get() : &rules::fallback();
}

Result<fst::Map> IndexOpener::open_fst(SectionId id, std::string_view name) const {
  auto map = fst::Map::open(section(id));
  if (!map) {
    return corrupt(quoted_ + ": " + std::string(name) + ": " + map.error().message() +
                   " — file is corrupt");
  }
  return map;
}

// The weighted centroid of the communes filed under a capital's name (the
// name itself, or the name followed by a space and more words), with the
// summed weight; nothing when no commune counts.
std::optional<std::pair<uint64_t, LatLon>> IndexOpener::capital_centroid(
    const fst::Map& commune_names, std::string_view capital) const {
  const CommuneRecordView communes{section(index::communes_meta), section(index::commune_coords)};
  const ByteView postings = section(index::commune_postings);
  const std::string upper = std::string(capital) + '\xFF';
  auto stream = commune_names.range(ByteView(capital), ByteView(upper));
  uint64_t weight_sum = 0;
  double lat_sum = 0.0, lon_sum = 0.0;
  while (stream.next()) {
    const std::string_view key = stream.key_string();
    if (key.size() != capital.size() && key[capital.size()] != ' ') continue;
    const uint64_t v = stream.value();
    const uint64_t first = v >> 16, count = v & 0xFFFF;
    if (count == 0 || (first + count) * 4 > postings.size()) continue;
    for (uint64_t i = first; i < first + count; ++i) {
      const uint32_t commune = *postings.le_u32(i * 4);
      const auto weight = communes.weight(commune);
      const auto coords = communes.coordinates(commune);
      if (!weight || !coords) continue;
      weight_sum += *weight;
      lat_sum += coord_degrees(coords->first) * static_cast<double>(*weight);
      lon_sum += coord_degrees(coords->second) * static_cast<double>(*weight);
    }
  }
  if (weight_sum == 0) return std::nullopt;
  const double w = static_cast<double>(weight_sum);
  return std::make_pair(weight_sum, LatLon{lat_sum / w, lon_sum / w});
}

// The default centre: the weighted centroid of the heaviest capital, unless
// it weighs too little beside the heaviest commune, whose own coordinates
// are the fallback.
void IndexOpener::find_default_centre(const fst::Map& commune_names) {
  const CommuneRecordView communes{section(index::communes_meta), section(index::commune_coords)};
  uint32_t heaviest_weight = 0;
  std::optional<LatLon> fallback;
  for (size_t id = 0; id < communes.count(); ++id) {
    const uint32_t w = *communes.weight(id);
    if (w <= heaviest_weight) continue;
    heaviest_weight = w;
    const auto coords = communes.coordinates(id);
    fallback = coords ? std::optional<LatLon>(LatLon{coord_degrees(coords->first),
                                                     coord_degrees(coords->second)})
                      : std::nullopt;
  }

  uint64_t best_weight = 0;
  std::optional<LatLon> best_centroid;
  for (const std::string& capital : rules_->capitals()) {
    const auto centroid = capital_centroid(commune_names, capital);
    if (centroid && centroid->first > best_weight) {
      best_weight = centroid->first;
      best_centroid = centroid->second;
    }
  }
  const bool capital_counts =
      best_weight != 0 && best_weight >= heaviest_weight / kCapitalWeightDivisor;
  default_centre_ = capital_counts ? best_centroid : fallback;
}

Result<void> IndexOpener::check_record_sizes() const {
  const ByteView streets = section(index::streets_meta);
  const ByteView communes = section(index::communes_meta);
  if (streets.size() % kStreetRecordSize != 0) {
    return fail("streets_meta length is not a whole number of records — corrupt");
  }
  if (communes.size() % kCommuneRecordSize != 0) {
    return fail("communes_meta length is not a whole number of records — corrupt");
  }
  if (section(index::commune_coords).size() != communes.size() / 2) {
    return fail("commune_coords does not match the commune count — corrupt");
  }
  return ok();
}

Result<void> IndexOpener::check_streets() const {
  const ByteView streets = section(index::streets_meta);
  const ByteView houses = section(index::house_data);
  const ByteView names = section(index::names);
  const uint64_t street_count = streets.size() / kStreetRecordSize;
  const uint64_t commune_count = section(index::communes_meta).size() / kCommuneRecordSize;
  for (uint64_t i = 0; i < street_count; ++i) {
    const uint64_t rec = i * kStreetRecordSize;
    const uint32_t commune = *streets.le_u32(rec + 8);
    const uint32_t name_offset = *streets.le_u32(rec + 16);
    const uint64_t house_offset = *streets.le_u64(rec + 20);
    const uint32_t house_count = *streets.le_u32(rec + 28);
    const uint32_t postcode_field = *streets.le_u32(rec + 32);
    const uint64_t next_offset =
        i + 1 < street_count ? *streets.le_u64(rec + kStreetRecordSize + 20) : houses.size();
    const auto name_len = names.u8(name_offset);
    const bool sound = house_offset < houses.size() && commune < commune_count &&
                       house_count != 0 && next_offset <= houses.size() &&
                       name_offset < names.size() && house_offset < next_offset && name_len &&
                       names.contains(uint64_t{name_offset} + 1, *name_len);
    if (!sound) {
      return fail("street record " + std::to_string(i) +
                  " violates structural invariants — corrupt (zeroed or misdirected section "
                  "content)");
    }
    if (table_version() >= 7 && postcode_field == kPerHousePostcodes) {
      VORLANE_TRY(check_house_postcodes(i, house_offset, next_offset, house_count));
    }
  }
  return ok();
}

namespace {

// A plausible house postcode: 1 to 8 bytes, a leading ASCII digit, then only
// ASCII letters, digits and spaces.
bool plausible_postcode(std::string_view s) {
  if (s.empty() || s.size() > 8 || s[0] < '0' || s[0] > '9') return false;
  for (char c : s) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    c == ' ';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

Result<void> IndexOpener::check_house_postcodes(uint64_t street, uint64_t house_offset,
                                           uint64_t next_offset, uint32_t house_count) const {
  const ByteView list = *section(index::house_data).subview(0, next_offset);
  const ByteView names = section(index::names);
  const std::string record = "street record " + std::to_string(street);
  size_t pos = static_cast<size_t>(house_offset);
  const auto k = index::strict_varint(list, pos);
  if (!k) return fail(record + " has a malformed house-postcode dictionary count — corrupt");
  if (*k == 0 || *k > house_count) {
    return fail(record + " has an invalid house-postcode dictionary size — corrupt");
  }
  uint64_t end = 0;
  if (__builtin_mul_overflow(*k, uint64_t{4}, &end) || __builtin_add_overflow(end, pos, &end)) {
    return fail(record + " house-postcode dictionary overflows — corrupt");
  }
  if (end > next_offset) return fail(record + " house-postcode dictionary is truncated — corrupt");
  std::string_view previous;
  for (uint64_t j = 0; j < *k; ++j) {
    const uint32_t offset = *list.le_u32(pos + 4 * j);
    const auto len = names.u8(offset);
    if (!len || !names.contains(uint64_t{offset} + 1, *len)) {
      return fail(record + " house-postcode dictionary points outside names — corrupt");
    }
    const std::string_view text = names.subview(uint64_t{offset} + 1, *len)->as_string_view();
    if (!utf8::is_valid(text)) {
      return fail(record + " house-postcode dictionary is not UTF-8 — corrupt");
    }
    if (!plausible_postcode(text) || (j > 0 && !(text > previous))) {
      return fail(record +
                  " house-postcode dictionary is empty, implausible, duplicated, or unsorted — "
                  "corrupt");
    }
    previous = text;
  }
  return ok();
}

// Checks one street-id list of word_postings: nullptr when it is sound,
// else the reason it is not. The checks run in reading order.
const char* IndexOpener::posting_list_fault(uint64_t offset, uint64_t street_count) const {
  const ByteView postings = section(index::word_postings);
  if (offset >= postings.size()) return "points past the section";
  size_t pos = static_cast<size_t>(offset);
  const auto count = index::strict_varint(postings, pos);
  if (!count) return "has a malformed/unterminated street count varint";
  if (*count == 0 || *count > kMaxPostingCount) return "has a zero/oversized street count";
  auto id = index::strict_varint(postings, pos);
  if (!id) return "is truncated mid-list (unterminated varint)";
  if (*id >= street_count) return "references a street id past the street table";
  for (uint64_t i = 1; i < *count; ++i) {
    const auto delta = index::strict_varint(postings, pos);
    if (!delta) return "is truncated mid-list (unterminated varint)";
    if (*delta == 0) return "repeats a street id (deltas must be positive)";
    if (__builtin_add_overflow(*id, *delta, &*id)) return "overflows the street id accumulator";
    if (*id >= street_count) return "references a street id past the street table";
  }
  return nullptr;
}

Result<void> IndexOpener::check_word_postings(const fst::Map& words) const {
  const uint64_t street_count = section(index::streets_meta).size() / kStreetRecordSize;
  if (words.size() > 0 && section(index::word_postings).empty()) {
    return fail("word_postings is empty but the words FST has " + std::to_string(words.size()) +
                " keys — corrupt (fuzzy search would silently fail)");
  }
  auto stream = words.stream();
  while (stream.next()) {
    if (const char* reason = posting_list_fault(stream.value(), street_count)) {
      return fail("word_postings entry for " +
                  quote_str(utf8::decode_lossy(stream.key_string())) + " " + reason +
                  " — corrupt (fuzzy search would silently fail)");
    }
  }
  return ok();
}


Result<std::unique_ptr<Index>> IndexOpener::validate_and_load() {
  VORLANE_ASSIGN_OR_RETURN(table_, index::parse_sections(bytes_));
  read_suffixes();
  split_grid();
  VORLANE_TRY(read_parser());
  VORLANE_TRY(read_rank_model());
  read_rules();
  // Code run while the sheet loads sees the sheet's own rules; the previous
  // rules come back on every way out.
  rules::CurrentRulesScope rules_scope(*rules_);

  VORLANE_ASSIGN_OR_RETURN(fst::Map commune_names,
                           open_fst(index::commune_name_fst, "commune_name_fst"));
  find_default_centre(commune_names);
  VORLANE_TRY(check_record_sizes());
  VORLANE_TRY(check_streets());
  VORLANE_ASSIGN_OR_RETURN(fst::Map street_keys, open_fst(index::street_key_fst, "street_key_fst"));
  VORLANE_ASSIGN_OR_RETURN(fst::Map words, open_fst(index::words_fst, "words_fst"));
  VORLANE_TRY(check_word_postings(words));
  std::vector<AdminRegion> regions = load_admin(path_);
  std::optional<index::MetaEntries> meta = index::decode_meta(section(index::meta_section));

  std::unique_ptr<Index> idx(new Index(commune_names, street_keys, words));
  idx->version = table_version();
  idx->mmap = file_;
  idx->communes_meta = section(index::communes_meta);
  idx->commune_postings = section(index::commune_postings);
  idx->streets_meta = section(index::streets_meta);
  idx->house_data = section(index::house_data);
  idx->names = section(index::names);
  idx->word_postings = section(index::word_postings);
  idx->commune_coords = section(index::commune_coords);
  idx->grid_cells = grid_cells_;
  idx->grid_street_ids = grid_street_ids_;
  idx->suffixes = std::move(suffixes_);
  idx->suffix_ids = std::move(suffix_ids_);
  idx->parser = std::move(parser_);
  idx->rank_weights = rank_weights_;
  idx->rank_bias = rank_bias_;
  idx->rules_owned = std::move(rules_owned_);
  idx->rules = rules_;
  idx->meta = meta ? std::move(*meta) : index::MetaEntries();
  idx->admin_regions = std::move(regions);
  idx->default_centre = default_centre_;
  VORLANE_TRY(build_german_rosters(*idx));
  return idx;
}

Result<std::unique_ptr<Index>> IndexOpener::run() {
  const rules::Rules* const saved_rules = rules::CURRENT;
  const auto guard_error = [&] {
    rules::CURRENT = saved_rules;
    return corrupt(quoted_ + ": corrupt index (panic while reading sections)");
  };
  try {
    auto result = validate_and_load();
    if (!result && result.error().code() == ErrorCode::internal) return guard_error();
    return result;
  } catch (const std::bad_alloc&) {
    rules::CURRENT = saved_rules;
    throw;
  } catch (const std::exception&) {
    return guard_error();
  }
}

Result<std::unique_ptr<Index>> Index::open_mapped(std::string_view path,
                                                  std::shared_ptr<const MappedFile> file) {
  return IndexOpener(path, std::move(file)).run();
}

Result<std::unique_ptr<Index>> Index::open(std::string_view path) {
  VORLANE_ASSIGN_OR_RETURN(std::shared_ptr<const MappedFile> file, MappedFile::open(path));
  return open_mapped(path, std::move(file));
}

Result<std::unique_ptr<Index>> Index::open_address(std::string_view path) {
  VORLANE_ASSIGN_OR_RETURN(std::unique_ptr<Index> idx, open(path));
  const auto layer = idx->meta_value("layer");
  if (layer && *layer != "addresses") {
    return Error(ErrorCode::mismatch,
                 quote_path(path) + " has layer " + quote_str(*layer) +
                     ", not an address sheet — load an `addresses` layer as the main index (a "
                     "POI layer goes via --poi / vorlane_load_poi)");
  }
  return idx;
}

std::optional<std::string_view> Index::meta_value(std::string_view key) const {
  for (const auto& [k, v] : meta) {
    if (k == key) return std::string_view(v);
  }
  return std::nullopt;
}

std::optional<StreetRecord> Index::street(uint64_t id) const {
  if (id >= street_count()) return std::nullopt;
  const uint64_t rec = id * kStreetRecordSize;
  return StreetRecord{*streets_meta.le_i32(rec),      *streets_meta.le_i32(rec + 4),
                      *streets_meta.le_u32(rec + 8),  *streets_meta.le_u32(rec + 12),
                      *streets_meta.le_u32(rec + 16), *streets_meta.le_u64(rec + 20),
                      *streets_meta.le_u32(rec + 28), *streets_meta.le_u32(rec + 32)};
}

std::optional<uint32_t> Index::street_commune(uint64_t id) const {
  if (id >= street_count()) return std::nullopt;
  return *streets_meta.le_u32(id * kStreetRecordSize + 8);
}

std::optional<std::string_view> Index::name_at(uint64_t offset) const {
  const auto len = names.u8(offset);
  if (!len) return std::nullopt;
  const auto text = names.subview(offset + 1, *len);
  if (!text) return std::nullopt;
  return text->as_string_view();
}

std::optional<std::string> check_pair(const Index& address, const Index& poi) {
  const auto sheet_country = address.country();
  const auto poi_country = poi.country();
  if (sheet_country && poi_country && *sheet_country != *poi_country) {
    return "POI layer is for country " + quote_str(*poi_country) + " but the address sheet is for " +
           quote_str(*sheet_country) + " — wrong file pair";
  }
  if (!sheet_country || !poi_country) {
    write_warning("sheet without country identity (pre-v6 or no --meta) — pair not verified");
  }
  const auto sheet_layer = address.meta_value("layer");
  if (sheet_layer && *sheet_layer != "addresses") {
    return "expected an address sheet, got layer " + quote_str(*sheet_layer);
  }
  const auto poi_layer = poi.meta_value("layer");
  if (poi_layer && *poi_layer != "poi") {
    return "expected a POI layer as --poi, got layer " + quote_str(*poi_layer);
  }
  return std::nullopt;
}

}  // namespace vorlane::query
