// The postcode roster and the blank-postcode display projection of a German
// sheet, built once at open, and the lookups over them. Both builders run on
// an index whose street records have been validated (every street's name and
// house-list range are sound); postcode texts and commune names are read
// through the checked accessors, an unreadable one counting as empty.
#include <algorithm>
#include <functional>
#include <string>
#include <unordered_map>

#include "vorlane/query/de_text.h"
#include "vorlane/query/decimal.h"
#include "vorlane/query/house_list.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

constexpr uint64_t kMaxStreetId = UINT32_MAX;
// A projection list stops growing once it holds one id more than a reader
// will scan, which marks it as "too many".
constexpr size_t kProjectionListCap = kDeRosterScanLimit + 1;
constexpr uint32_t kNoSlot = UINT32_MAX;

size_t mix_hashes(size_t a, size_t b) {
  return a ^ (b + 0x9E3779B97F4A7C15ULL + (a << 6) + (a >> 2));
}

std::optional<uint32_t> five_digit_postcode(std::string_view text) {
  if (!is_five_digit_postcode(text)) return std::nullopt;
  return parse_u32(text);
}

// Adds the (postcode, id) pairs one street contributes.
Result<void> add_street_postcodes(const Index& index, uint32_t id, const StreetRecord& street,
                                  DePostcodeRoster& roster) {
  if (street.postcode_field == 0) {
    if (street.postcode >= 1 && street.postcode <= 99999) roster.emplace_back(street.postcode, id);
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

// The projection key of every street, each street and each commune put in
// product form once. Street forms live end to end in one buffer; a key is
// (street form, locality id), and keys that are equal get the same key id.
class StreetKeys {
 public:
  static constexpr uint32_t kNoKey = UINT32_MAX;  // empty street or locality

  explicit StreetKeys(const Index& index) {
    const std::vector<uint32_t> locality_of_commune = commune_localities(index);
    const size_t streets = index.street_count();
    std::vector<size_t> ends;
    ends.reserve(streets);
    std::vector<uint32_t> locality_of_street(streets, kNoKey);
    for (size_t id = 0; id < streets; ++id) {
      const StreetRecord street = *index.street(id);
      forms_ += de_product_normalize_street(index.name(street.name_offset));
      ends.push_back(forms_.size());
      if (street.commune < locality_of_commune.size()) {
        locality_of_street[id] = locality_of_commune[street.commune];
      }
    }
    assign_key_ids(ends, locality_of_street);
  }

  uint32_t key_of(size_t street_id) const { return key_of_street_[street_id]; }
  size_t key_count() const { return keys_.size(); }
  DeBlankPostcodeDisplayProjection::Key key(uint32_t key_id) const {
    const KeyRef& k = keys_[key_id];
    return {std::string(k.street), localities_[k.locality]};
  }

 private:
  struct KeyRef {
    std::string_view street;
    uint32_t locality;
    bool operator==(const KeyRef&) const = default;
  };
  struct KeyRefHash {
    size_t operator()(const KeyRef& k) const {
      return mix_hashes(std::hash<std::string_view>()(k.street), k.locality);
    }
  };

  // The locality id of each commune; kNoKey for an empty product name.
  std::vector<uint32_t> commune_localities(const Index& index) {
    std::unordered_map<std::string, uint32_t> ids;
    std::vector<uint32_t> out(index.commune_count(), kNoKey);
    for (size_t c = 0; c < out.size(); ++c) {
      std::string form = de_product_normalize_text(index.commune_name(c));
      if (form.empty()) continue;
      const auto [it, added] = ids.try_emplace(form, static_cast<uint32_t>(localities_.size()));
      if (added) localities_.push_back(std::move(form));
      out[c] = it->second;
    }
    return out;
  }

  // Views into forms_ are taken only once it has stopped growing.
  void assign_key_ids(const std::vector<size_t>& ends,
                      const std::vector<uint32_t>& locality_of_street) {
    std::unordered_map<KeyRef, uint32_t, KeyRefHash> ids;
    ids.reserve(ends.size());
    key_of_street_.assign(ends.size(), kNoKey);
    size_t begin = 0;
    for (size_t id = 0; id < ends.size(); ++id) {
      const std::string_view street(forms_.data() + begin, ends[id] - begin);
      begin = ends[id];
      if (street.empty() || locality_of_street[id] == kNoKey) continue;
      const KeyRef key{street, locality_of_street[id]};
      const auto [it, added] = ids.try_emplace(key, static_cast<uint32_t>(keys_.size()));
      if (added) keys_.push_back(key);
      key_of_street_[id] = it->second;
    }
  }

  std::string forms_;
  std::vector<std::string> localities_;
  std::vector<KeyRef> keys_;
  std::vector<uint32_t> key_of_street_;
};

bool has_blank_postcode(const StreetRecord& street) {
  return street.postcode == 0 && street.postcode_field == 0;
}

bool any_blank_street(const Index& index) {
  for (size_t id = 0; id < index.street_count(); ++id) {
    if (has_blank_postcode(*index.street(id))) return true;
  }
  return false;
}

// For each key id, its slot in the projection (kNoSlot when the key is not
// projected): the keys of blank streets that a street with a postcode
// shares, numbered in the order their first blank street comes.
std::vector<uint32_t> projected_slots(const Index& index, const StreetKeys& keys,
                                      uint32_t& slot_count) {
  std::vector<bool> has_postcode_twin(keys.key_count(), false);
  for (const auto& [postcode, id] : index.de_postcode_streets) {
    const uint32_t key = id < index.street_count() ? keys.key_of(id) : StreetKeys::kNoKey;
    if (key != StreetKeys::kNoKey) has_postcode_twin[key] = true;
  }
  std::vector<uint32_t> slot_of_key(keys.key_count(), kNoSlot);
  slot_count = 0;
  for (size_t id = 0; id < index.street_count(); ++id) {
    const uint32_t key = keys.key_of(id);
    if (key == StreetKeys::kNoKey || !has_postcode_twin[key] || slot_of_key[key] != kNoSlot) {
      continue;
    }
    if (has_blank_postcode(*index.street(id))) slot_of_key[key] = slot_count++;
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
  std::sort(roster.begin(), roster.end());
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
  if (!any_blank_street(index)) return projection;

  const StreetKeys keys(index);
  uint32_t slot_count = 0;
  const std::vector<uint32_t> slot_of_key = projected_slots(index, keys, slot_count);
  if (slot_count == 0) return projection;

  std::vector<size_t> list_size(slot_count, 0);
  for (size_t id = 0; id < index.street_count(); ++id) {
    const uint32_t key = keys.key_of(id);
    if (key == StreetKeys::kNoKey || slot_of_key[key] == kNoSlot) continue;
    size_t& size = list_size[slot_of_key[key]];
    if (size < kProjectionListCap) ++size;
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
    const uint32_t key = keys.key_of(id);
    if (key == StreetKeys::kNoKey || slot_of_key[key] == kNoSlot) continue;
    const uint32_t slot = slot_of_key[key];
    if (filled[slot] < list_size[slot]) {
      projection.street_ids[start[slot] + filled[slot]++] = static_cast<uint32_t>(id);
    }
  }
  projection.by_key.reserve(slot_count);
  for (uint32_t key = 0; key < keys.key_count(); ++key) {
    const uint32_t slot = slot_of_key[key];
    if (slot == kNoSlot) continue;
    const DeBlankPostcodeDisplayProjection::Range range{start[slot], list_size[slot]};
    projection.by_key.emplace(keys.key(key), range);
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
