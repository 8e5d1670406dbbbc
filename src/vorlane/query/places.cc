// Commune lookups in the commune-name dictionary, place resolution to a
// weighted centre, and city-alias rewriting of query texts. The dictionary
// maps a canonical commune name to a postings run, (start << 16) | count u32
// entries of commune_postings; a run is read only when it lies wholly inside
// that section. The ids in a run are not checked when the sheet is opened,
// so every commune read goes through Index::commune(), and place resolution
// ignores ids past the commune table instead of weighing them as empty
// records.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include "vorlane/base/strings.h"
#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/diagnosis/trace.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/script.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

constexpr std::array<std::string_view, 4> kArticles = {"l", "la", "le", "les"};

// Appends the ids of the postings run `value`, stopping once `ids` holds
// `limit` ids; false (nothing appended) when the run lies outside
// `postings`.
bool append_run(ByteView postings, uint64_t value, size_t limit, std::vector<uint32_t>& ids) {
  const uint64_t start = value >> 16;  // below 2^48: the byte offsets cannot overflow
  const uint64_t count = value & 0xFFFF;
  if (!postings.contains(start * 4, count * 4)) return false;
  for (uint64_t i = 0; i < count && ids.size() < limit; ++i) {
    ids.push_back(*postings.le_u32((start + i) * 4));
  }
  return true;
}

std::string with_article(std::string_view article, std::string_view name) {
  std::string out(article);
  out.push_back(' ');
  out.append(name);
  return out;
}

using de::trim_white_space;

size_t alphanumeric_count(std::string_view text) {
  size_t count = 0;
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Step step = utf8::decode_step(text, pos);
    if (step.valid && norm::is_alphanumeric(step.scalar)) ++count;
    pos += step.length;
  }
  return count;
}

// "lhay les roses" -> "l hay les roses": an "l" glued to a following letter.
std::optional<std::string> unglued_article(std::string_view name) {
  if (name.size() < 2 || name[0] != 'l') return std::nullopt;
  const utf8::Step step = utf8::decode_step(name, 1);
  if (!step.valid || !norm::is_letter(step.scalar)) return std::nullopt;
  return with_article("l", name.substr(1));
}

// The name without the rules' district words; none when no word or every
// word is one.
std::optional<std::string> without_district_words(std::string_view name) {
  const rules::WordSet& district = rules::current().district_words();
  const std::vector<std::string_view> words = split_words(name);
  std::vector<std::string_view> kept;
  for (std::string_view w : words) {
    if (!district.contains(w)) kept.push_back(w);
  }
  if (kept.empty() || kept.size() == words.size()) return std::nullopt;
  return join_words(kept);
}

std::vector<uint32_t> lookup_commune_name(const Index& index, std::string_view name) {
  if (index.it_street_type_only(name)) return {};
  const rules::Rules& rules = rules::current();
  const std::string canonical(rules.commune_alias(name).value_or(name));

  std::vector<uint32_t> ids = index.communes_by_name_raw(canonical);
  if (!ids.empty()) return ids;
  for (std::string_view article : kArticles) {
    ids = index.communes_by_name_raw(with_article(article, canonical));
    if (!ids.empty()) return ids;
  }
  if (const std::optional<std::string> unglued = unglued_article(canonical)) {
    ids = index.communes_by_name_raw(*unglued);
    if (!ids.empty()) return ids;
  }
  if (const std::optional<std::string> rest = without_district_words(canonical)) {
    return index.communes_by_name_raw(*rest);
  }
  return {};
}

std::vector<uint32_t> lookup_commune_prefix(const Index& index, std::string_view text) {
  if (text.empty() || index.it_street_type_only(text)) return {};
  if (alphanumeric_count(text) < kCommunePrefixMinChars) return {};
  const std::string canonical(rules::current().commune_alias(text).value_or(text));

  std::vector<uint32_t> ids = index.communes_by_prefix_raw(canonical);
  if (!ids.empty()) return ids;
  for (std::string_view article : kArticles) {
    ids = index.communes_by_prefix_raw(with_article(article, canonical));
    if (!ids.empty()) return ids;
  }
  return {};
}

bool has_coordinates(const CommuneRecord& c) { return c.lat != 0 || c.lon != 0; }

double lat_of(const CommuneRecord& c) { return degrees_from_units(c.lat); }
double lon_of(const CommuneRecord& c) { return degrees_from_units(c.lon); }

// Running weighted sums of commune positions; each commune counts with its
// weight, at least 1.
struct CentreSum {
  double lat = 0.0;
  double lon = 0.0;
  double weight = 0.0;

  void add(const CommuneRecord& c) {
    const double w = static_cast<double>(std::max<uint32_t>(c.weight, 1));
    lat += lat_of(c) * w;
    lon += lon_of(c) * w;
    weight += w;
  }

  Place place(std::string name, bool exact) const {
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    const int32_t w = weight >= kMax ? std::numeric_limits<int32_t>::max()
                                     : static_cast<int32_t>(weight);
    return Place{std::move(name), lat / weight, lon / weight, w, exact};
  }
};

bool within_radius(const CommuneRecord& centre, const CommuneRecord& c) {
  return !(Index::dist_km(lat_of(centre), lon_of(centre), lat_of(c), lon_of(c)) > kPlaceRadiusKm);
}

// The communes behind ids, skipping ids past the commune table.
std::vector<CommuneRecord> communes_of(const Index& index, const std::vector<uint32_t>& ids) {
  std::vector<CommuneRecord> out;
  out.reserve(ids.size());
  for (uint32_t id : ids) {
    if (id < index.commune_count()) out.push_back(index.commune(id));
  }
  return out;
}

// The commune of greatest weight (the last of equal weights) among those
// that pass `eligible`.
template <typename Eligible>
const CommuneRecord* heaviest(const std::vector<CommuneRecord>& communes, Eligible eligible) {
  const CommuneRecord* best = nullptr;
  for (const CommuneRecord& c : communes) {
    if (eligible(c) && (best == nullptr || c.weight >= best->weight)) best = &c;
  }
  return best;
}

// The communes stored under the name itself, centred on the heaviest one:
// same-named communes within the radius count.
std::optional<Place> exact_group_place(const Index& index, std::string_view name) {
  const std::vector<CommuneRecord> communes = communes_of(index, index.communes_by_name(name));
  const CommuneRecord* best = heaviest(communes, [](const CommuneRecord&) { return true; });
  if (best == nullptr || !has_coordinates(*best)) return std::nullopt;
  CentreSum sum;
  for (const CommuneRecord& c : communes) {
    if (has_coordinates(c) && within_radius(*best, c) && c.name == best->name) sum.add(c);
  }
  return sum.place(std::string(best->name), true);
}

// The communes whose names continue the name with more words ("paris" ->
// "paris 1er arrondissement", ...), centred on the heaviest one.
std::optional<Place> prefix_group_place(const Index& index, std::string_view name) {
  const std::vector<CommuneRecord> communes =
      communes_of(index, index.communes_by_prefix(std::string(name) + ' '));
  const CommuneRecord* best = heaviest(communes, has_coordinates);
  if (best == nullptr) return std::nullopt;
  CentreSum sum;
  for (const CommuneRecord& c : communes) {
    if (has_coordinates(c) && within_radius(*best, c)) sum.add(c);
  }
  if (!(sum.weight > 0.0)) return std::nullopt;
  return sum.place(std::string(name), false);
}

}  // namespace

std::vector<uint32_t> Index::communes_by_name_raw(std::string_view name) const {
  std::vector<uint32_t> ids;
  if (const std::optional<uint64_t> value = commune_name_fst.get(name)) {
    if (!append_run(commune_postings, *value, std::numeric_limits<size_t>::max(), ids)) {
      ids.clear();
    }
  }
  return ids;
}

std::vector<uint32_t> Index::communes_by_prefix_raw(std::string_view prefix) const {
  std::vector<uint32_t> ids;
  // Most texts begin no commune name: one walk down the dictionary settles
  // them without setting up a stream.
  if (!commune_name_fst.descend(prefix, commune_name_fst.root())) return ids;
  const std::string upper = std::string(prefix) + '\xff';
  auto stream = commune_name_fst.range(ByteView(prefix), ByteView(std::string_view(upper)));
  while (ids.size() < kCommunePrefixLimit && stream.next()) {
    append_run(commune_postings, stream.value(), kCommunePrefixLimit, ids);
  }
  return ids;
}

bool Index::it_street_type_only(std::string_view text) const {
  const std::string_view word = trim_white_space(text);
  const std::optional<std::string_view> country_code = country();
  if (!country_code || *country_code != "it") return false;
  if (word.find(' ') != std::string_view::npos) return false;
  return rules::current().is_street_type(word) || word == "borgo" || word == "piazzale";
}

std::vector<uint32_t> Index::communes_by_name(std::string_view name) const {
  std::vector<uint32_t> ids = lookup_commune_name(*this, name);
  diagnosis::commune_lookup(diagnosis::kCommunesByName, name, ids);
  return ids;
}

std::vector<uint32_t> Index::communes_by_prefix(std::string_view text) const {
  std::vector<uint32_t> ids = lookup_commune_prefix(*this, text);
  diagnosis::commune_lookup(diagnosis::kCommunesByPrefix, text, ids);
  return ids;
}

std::optional<Place> Index::resolve_place(std::string_view name) const {
  if (name.empty()) return std::nullopt;
  if (std::optional<Place> place = exact_group_place(*this, name)) return place;
  return prefix_group_place(*this, name);
}

std::optional<Place> Index::resolve_place_translit(std::string_view name) const {
  std::optional<Place> place = resolve_place(name);
  using Translit = std::string (*)(std::string_view);
  constexpr std::array<Translit, 3> kTranslits = {norm::translit_cyr_lat, norm::translit_cyr_lat_en,
                                                  norm::translit_lat_cyr};
  for (size_t i = 0; !place && i < kTranslits.size(); ++i) {
    const std::string converted = norm::normalize(kTranslits[i](name));
    if (converted != name) place = resolve_place(converted);
  }
  if (place && place->lat == 0.0 && place->lon == 0.0) return std::nullopt;
  return place;
}

std::string Index::expand_city_aliases(std::string_view text) const {
  std::string t(text);
  for (const auto& [alias, target] : rules::current().city_aliases()) {
    const std::string tail = ' ' + alias;
    const std::string padded = tail + ' ';
    const bool whole = t == alias;
    const bool at_end = !whole && t.ends_with(tail);
    if (!whole && !at_end && t.find(padded) == std::string::npos) continue;
    if (!commune_name_fst.get(target)) continue;
    if (whole) {
      t = target;
    } else if (at_end) {
      t = t.substr(0, t.size() - alias.size()) + target;
    } else {
      t = replace_all(t, padded, ' ' + target + ' ');
    }
  }
  return t;
}

}  // namespace vorlane::query
