// The postcode roster and the blank-postcode display projection of a German
// sheet, built once at open, and the lookups over them. Both builders run on
// an index whose street records have been validated (every street's name and
// house-list range are sound); postcode texts and commune names are read
// through the checked accessors, an unreadable one counting as empty.
#include <algorithm>
#include <functional>
#include <string>

#include "vorlane/query/de_text.h"
#include "vorlane/query/decimal.h"
#include "vorlane/query/house_list.h"
#include "vorlane/query/index.h"
#include "vorlane/query/key_numbering.h"

namespace vorlane::query {
namespace {

constexpr uint64_t kMaxStreetId = UINT32_MAX;
// A projection list stops growing once it holds one id more than a reader
// will scan, which marks it as "too many".
constexpr size_t kProjectionListCap = kDeRosterScanLimit + 1;

// Combines two hashes so that every input bit reaches the low bits, which
// pick the slot of an open-addressing table (murmur3's final mix).
size_t mix_hashes(size_t a, size_t b) {
  uint64_t h = a ^ (b * 0x9E3779B97F4A7C15ULL);
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDULL;
  h ^= h >> 33;
  return static_cast<size_t>(h);
}

constexpr uint32_t kMaxPostcode = 99999;

std::optional<uint32_t> five_digit_postcode(std::string_view text) {
  if (!is_five_digit_postcode(text)) return std::nullopt;
  return parse_u32(text);
}

// Adds the (postcode, id) pairs one street contributes.
Result<void> add_street_postcodes(const Index& index, uint32_t id, const StreetRecord& street,
                                  DePostcodeRoster& roster) {
  if (street.postcode_field == 0) {
    if (street.postcode >= 1 && street.postcode <= kMaxPostcode) {
      roster.emplace_back(street.postcode, id);
    }
    return ok();
  }
  if (street.postcode_field != kPerHousePostcodes) {
    if (const auto p = five_digit_postcode(index.name(street.postcode_field))) {
      roster.emplace_back(*p, id);
    }
    return ok();
  }
  // Opening validated every dictionary already, so this cannot fail on a
  // real file; the check stays because the roster must never read past one.
  const auto reader = HouseListReader::open(index, id, street);
  if (!reader) {
    return corrupt("DE street " + std::to_string(id) +
                   " has an unreadable mixed-postcode dictionary");
  }
  const ByteView dictionary = reader->postcode_dictionary();  // empty below version 7
  for (uint64_t at = 0; at + 4 <= dictionary.size(); at += 4) {
    if (const auto p = five_digit_postcode(index.name(*dictionary.le_u32(at)))) {
      roster.emplace_back(*p, id);
    }
  }
  return ok();
}

// The pairs arrive in ascending street id, so a stable counting sort by
// postcode orders them by (postcode, street id) in linear time.
DePostcodeRoster sorted_by_postcode(const DePostcodeRoster& pairs) {
  std::vector<size_t> next(kMaxPostcode + 2, 0);
  for (const auto& pair : pairs) ++next[pair.first + 1];
  for (size_t p = 1; p < next.size(); ++p) next[p] += next[p - 1];
  DePostcodeRoster sorted(pairs.size());
  for (const auto& pair : pairs) sorted[next[pair.first]++] = pair;
  return sorted;
}

constexpr uint32_t kNone = KeyNumbering<uint64_t>::kAbsent;

bool has_blank_postcode(const StreetRecord& street) {
  return street.postcode == 0 && street.postcode_field == 0;
}

std::vector<uint32_t> blank_street_ids(const Index& index) {
  std::vector<uint32_t> ids;
  for (size_t id = 0; id < index.street_count(); ++id) {
    if (has_blank_postcode(*index.street(id))) ids.push_back(static_cast<uint32_t>(id));
  }
  return ids;
}

uint64_t hash_text(std::string_view text) {
  return mix_hashes(std::hash<std::string_view>()(text), 0);
}

// The locality of every commune: its product name, numbered so that equal
// names share one id; kNone for an empty name.
class Localities {
 public:
  explicit Localities(const Index& index)
      : of_commune_(index.commune_count(), kNone), names_(index.commune_count()) {
    for (size_t c = 0; c < of_commune_.size(); ++c) {
      const std::string form = de_product_normalize_text(index.commune_name(c));
      if (!form.empty()) of_commune_[c] = names_.add(form, hash_text(form));
    }
  }

  uint32_t of(uint32_t commune) const {
    return commune < of_commune_.size() ? of_commune_[commune] : kNone;
  }
  size_t size() const { return names_.size(); }
  const std::string& name(uint32_t id) const { return names_.key(id); }

 private:
  std::vector<uint32_t> of_commune_;
  KeyNumbering<std::string> names_;
};

// The product forms of street names, each distinct name put in product form
// once: names repeat across communes ("Hauptstraße" in hundreds of them).
// Only the forms of blank-postcode streets are numbered; every other name
// maps to kNone. All blank streets' names must be added before the first
// find(). Names are views into the mapped names section.
class BlankStreetForms {
 public:
  BlankStreetForms(size_t streets, size_t blank_streets)
      : names_(streets), forms_(blank_streets) {}

  // The form id of a blank street's name; kNone for an empty form.
  uint32_t add(std::string_view name) { return form_of(name, true); }
  // The form id when the name's form is a blank street's, else kNone.
  uint32_t find(std::string_view name) { return form_of(name, false); }
  const std::string& form(uint32_t id) const { return forms_.key(id); }

 private:
  uint32_t form_of(std::string_view name, bool number_new_forms) {
    const uint32_t name_id = names_.add(name, hash_text(name));
    if (name_id < form_of_name_.size()) return form_of_name_[name_id];
    const std::string form = de_product_normalize_street(name);
    uint32_t form_id = kNone;
    if (!form.empty()) {
      form_id = number_new_forms ? forms_.add(form, hash_text(form))
                                 : forms_.find(form, hash_text(form));
    }
    form_of_name_.push_back(form_id);
    return form_id;
  }

  KeyNumbering<std::string_view> names_;
  std::vector<uint32_t> form_of_name_;
  KeyNumbering<std::string> forms_;
};

// A projection key as one number: (form id, locality id).
uint64_t key_code(uint32_t form, uint32_t locality) {
  return (uint64_t{form} << 32) | locality;
}

// The key id of every street whose (street form, locality) is the key of
// some blank-postcode street, else kNone; and which keys a street with a
// roster postcode shares. Streets in a locality without blank streets are
// not looked at.
struct ProjectedKeys {
  Localities localities;
  BlankStreetForms forms;
  KeyNumbering<uint64_t> keys;
  std::vector<uint32_t> key_of_street;
  std::vector<bool> has_postcode_twin;

  ProjectedKeys(const Index& index, const std::vector<uint32_t>& blank_streets)
      : localities(index),
        forms(index.street_count(), blank_streets.size()),
        keys(blank_streets.size()),
        key_of_street(index.street_count(), kNone) {
    std::vector<bool> blank_locality(localities.size(), false);
    for (const uint32_t id : blank_streets) {
      const StreetRecord street = *index.street(id);
      const uint32_t locality = localities.of(street.commune);
      if (locality == kNone) continue;
      const uint32_t form = forms.add(index.name(street.name_offset));
      if (form == kNone) continue;
      const uint64_t code = key_code(form, locality);
      key_of_street[id] = keys.add(code, mix_hashes(code, 0));
      blank_locality[locality] = true;
    }
    std::vector<bool> in_roster(index.street_count(), false);
    for (const auto& [postcode, id] : index.de_postcode_streets) {
      if (id < in_roster.size()) in_roster[id] = true;
    }
    has_postcode_twin.assign(keys.size(), false);
    for (size_t id = 0; id < index.street_count(); ++id) {
      const StreetRecord street = *index.street(id);
      const uint32_t locality = localities.of(street.commune);
      if (has_blank_postcode(street) || locality == kNone || !blank_locality[locality]) continue;
      const uint32_t form = forms.find(index.name(street.name_offset));
      if (form == kNone) continue;
      const uint64_t code = key_code(form, locality);
      const uint32_t key = keys.find(code, mix_hashes(code, 0));
      key_of_street[id] = key;
      if (key != kNone && in_roster[id]) has_postcode_twin[key] = true;
    }
  }

  DeBlankPostcodeDisplayProjection::Key text(uint32_t key) const {
    const uint64_t code = keys.key(key);
    return {forms.form(static_cast<uint32_t>(code >> 32)),
            localities.name(static_cast<uint32_t>(code))};
  }
};

// The slot of every projected key (kNone for the others): the keys of
// blank streets that a street with a postcode shares, numbered in the
// order their first blank street comes.
std::vector<uint32_t> projection_slots(const std::vector<uint32_t>& blank_streets,
                                       const ProjectedKeys& p, uint32_t& slot_count) {
  std::vector<uint32_t> slot_of_key(p.keys.size(), kNone);
  slot_count = 0;
  for (const uint32_t id : blank_streets) {
    const uint32_t key = p.key_of_street[id];
    if (key != kNone && p.has_postcode_twin[key] && slot_of_key[key] == kNone) {
      slot_of_key[key] = slot_count++;
    }
  }
  return slot_of_key;
}

}  // namespace

size_t DeBlankPostcodeDisplayProjection::KeyHash::operator()(const Key& k) const {
  return mix_hashes(std::hash<std::string>()(k.street), std::hash<std::string>()(k.locality));
}

Result<DePostcodeRoster> build_de_postcode_streets(const Index& index) {
  DePostcodeRoster roster;
  roster.reserve(index.street_count());
  for (uint64_t id = 0; id < index.street_count(); ++id) {
    if (id > kMaxStreetId) return corrupt("DE postcode roster exceeds u32 street ids");
    VORLANE_TRY(add_street_postcodes(index, static_cast<uint32_t>(id), *index.street(id), roster));
  }
  roster = sorted_by_postcode(roster);
  roster.erase(std::unique(roster.begin(), roster.end()), roster.end());
  roster.shrink_to_fit();
  return roster;
}

Result<DeBlankPostcodeDisplayProjection> build_de_blank_postcode_display_streets(
    const Index& index) {
  DeBlankPostcodeDisplayProjection projection;
  if (index.version < 7) return projection;
  if (index.street_count() > kMaxStreetId + 1) {
    return corrupt("DE blank-postcode roster exceeds u32 street ids");
  }
  // Most sheets give every street a postcode: no product forms then.
  const std::vector<uint32_t> blank_streets = blank_street_ids(index);
  if (blank_streets.empty()) return projection;

  const ProjectedKeys keys(index, blank_streets);
  uint32_t slot_count = 0;
  const std::vector<uint32_t> slot_of_key = projection_slots(blank_streets, keys, slot_count);
  if (slot_count == 0) return projection;
  const auto slot_of_street = [&](size_t id) {
    const uint32_t key = keys.key_of_street[id];
    return key == kNone ? kNone : slot_of_key[key];
  };

  std::vector<size_t> list_size(slot_count, 0);
  for (size_t id = 0; id < index.street_count(); ++id) {
    const uint32_t slot = slot_of_street(id);
    if (slot != kNone && list_size[slot] < kProjectionListCap) ++list_size[slot];
  }
  std::vector<size_t> start(slot_count, 0);
  size_t total = 0;
  for (uint32_t slot = 0; slot < slot_count; ++slot) {
    start[slot] = total;
    if (__builtin_add_overflow(total, list_size[slot], &total)) {
      return corrupt("DE blank-postcode projection size overflow");
    }
  }

  projection.street_ids.resize(total);
  std::vector<size_t> filled(slot_count, 0);
  for (size_t id = 0; id < index.street_count(); ++id) {
    const uint32_t slot = slot_of_street(id);
    if (slot != kNone && filled[slot] < list_size[slot]) {
      projection.street_ids[start[slot] + filled[slot]++] = static_cast<uint32_t>(id);
    }
  }
  projection.by_key.reserve(slot_count);
  for (uint32_t key = 0; key < keys.keys.size(); ++key) {
    const uint32_t slot = slot_of_key[key];
    if (slot == kNone) continue;
    const DeBlankPostcodeDisplayProjection::Range range{start[slot], list_size[slot]};
    projection.by_key.emplace(keys.text(key), range);
  }
  return projection;
}

std::optional<std::span<const uint32_t>> DeBlankPostcodeDisplayProjection::get(
    std::string_view street, std::string_view locality) const {
  const auto it = by_key.find(Key{std::string(street), std::string(locality)});
  if (it == by_key.end()) return std::nullopt;
  const Range r = it->second;
  if (r.start > street_ids.size() || r.count > street_ids.size() - r.start) return std::nullopt;
  return std::span<const uint32_t>(street_ids).subspan(r.start, r.count);
}

std::span<const std::pair<uint32_t, uint32_t>> de_roster_range(const DePostcodeRoster& roster,
                                                               uint32_t postcode) {
  const auto below = [](const std::pair<uint32_t, uint32_t>& pair, uint32_t p) {
    return pair.first < p;
  };
  const auto above = [](uint32_t p, const std::pair<uint32_t, uint32_t>& pair) {
    return p < pair.first;
  };
  const auto first = std::lower_bound(roster.begin(), roster.end(), postcode, below);
  const auto last = std::upper_bound(first, roster.end(), postcode, above);
  return {first, last};
}

std::optional<uint32_t> de_blank_postcode_anchor_commune_id(const Index& index,
                                                            const DeBlankPostcodeHouseSpec& spec) {
  const auto range = de_roster_range(index.de_postcode_streets, spec.postcode);
  if (range.empty() || range.size() > kDeRosterScanLimit) return std::nullopt;
  std::optional<uint32_t> anchor;
  for (const auto& [postcode, id] : range) {
    const auto street = index.street(id);
    if (!street) continue;
    if (de_product_normalize_street(index.name(street->name_offset)) != spec.street) continue;
    if (de_product_normalize_text(index.commune_name(street->commune)) != spec.locality) continue;
    if (anchor && *anchor != street->commune) return std::nullopt;  // two communes
    anchor = street->commune;
  }
  return anchor;
}

}  // namespace vorlane::query
