// Comma-field input: the region field (a whole field, or the text after the
// last " - " of one), the commune before it (stepping over a postcode
// field), the house number (the second field, or the last word of the
// first), and the retry texts built from them. Every retry text is a list of
// pieces joined with ", ".
#include "vorlane/query/field_retries.h"

#include <algorithm>
#include <array>

#include "vorlane/de/text.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/field_text.h"
#include "vorlane/query/folding.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using Pieces = std::vector<std::string>;

constexpr std::array<std::string_view, 6> kNumberLabels = {
    "n\u00BA", "n\u00B0", "N\u00BA", "N\u00B0", "n.\u00BA", "N.\u00BA"};

struct RegionField {
  std::string_view region;
  std::string_view commune;
  size_t region_index = 0;
  size_t commune_index = 0;
  bool comma_form = false;
};

// The region nearest the end: a whole field (comma form) or the text after
// a field's last " - " (hyphen form). A region in the first field, comma
// form, ends the search with nothing.
std::optional<RegionField> find_region(const std::vector<std::string_view>& fields,
                                       const FieldSettings& s) {
  const bool comma = has_list_word(*s.forms, "comma");
  const bool hyphen = has_list_word(*s.forms, "hyphen");
  for (size_t i = fields.size(); i-- > 0;) {
    const std::string_view field = fields[i];
    if (comma && is_region_word(*s.regions, field)) {
      if (i == 0) return std::nullopt;
      return RegionField{field, fields[i - 1], i, i - 1, true};
    }
    if (!hyphen) continue;
    const size_t dash = field.rfind(" - ");
    if (dash == std::string_view::npos) continue;
    const std::string_view after = de::trim_white_space(field.substr(dash + 3));
    if (is_region_word(*s.regions, after)) {
      return RegionField{after, de::trim_white_space(field.substr(0, dash)), i, i, false};
    }
  }
  return std::nullopt;
}

struct HouseAnchor {
  uint32_t house = 0;
  size_t anchor = 0;        // first field after the street (and house)
  std::string_view number;  // the second field cut before " - " (anchor 2)
};

std::optional<HouseAnchor> find_house(const std::vector<std::string_view>& fields) {
  if (fields.size() >= 2) {
    const std::string_view p = de::trim_white_space(cut_before(fields[1], " - "));
    if (is_house_token(p)) return HouseAnchor{*numeric_house_prefix(p), 2, p};
  }
  const auto split = de::split_at_last_white_space(fields[0]);
  if (split && is_house_token(split->second)) {
    return HouseAnchor{*numeric_house_prefix(split->second), 1, {}};
  }
  return std::nullopt;
}

std::string join_pieces(const Pieces& pieces) {
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out.append(", ");
    out.append(pieces[i]);
  }
  return out;
}

// The retry texts of the table, in order, before duplicates are blanked.
class RetryTable {
 public:
  RetryTable(const std::vector<std::string_view>& fields, const RegionField& region,
             std::string_view commune, size_t commune_index, const HouseAnchor& house,
             uint64_t digits, uint64_t split)
      : f_(fields), region_(region), commune_(commune), h_(commune_index), house_(house),
        digits_(digits), split_(split) {}

  std::vector<std::string> build() const {
    std::vector<std::string> texts = {
        street_fields_then(postcodes_between(house_.anchor, h_), h_),
        join_pieces(street_then_commune()),
        join_pieces(non_postcode_fields()),
        join_pieces(with_commune(std::string(commune_))),
        join_pieces(with_commune(std::string(commune_) + " - " + std::string(region_.region))),
        join_pieces(hyphen_split()),
        join_pieces(postcodes_as([](const std::string& p, uint64_t, uint64_t) { return p; })),
        join_pieces(postcodes_as(&hyphenated)),
        join_pieces(postcodes_as(&leading_part)),
        join_pieces(up_to_region_then_postcodes()),
    };
    if (house_.anchor == 1) {
      const auto [before, after] = *de::split_at_last_white_space(f_[0]);
      Pieces eleven = {std::string(before), std::string(after)};
      Pieces twelve = eleven;
      for (size_t i = 1; i < f_.size(); ++i) eleven.emplace_back(f_[i]);
      twelve.emplace_back(commune_);
      texts.push_back(join_pieces(eleven));
      texts.push_back(join_pieces(twelve));
    }
    return texts;
  }

 private:
  bool is_postcode(std::string_view field) const {
    return is_postcode_text(field, digits_, split_);
  }

  Pieces all_fields() const { return Pieces(f_.begin(), f_.end()); }

  Pieces postcodes_between(size_t begin, size_t end) const {
    Pieces out;
    for (size_t i = begin; i < end; ++i) {
      if (is_postcode(f_[i])) out.emplace_back(f_[i]);
    }
    return out;
  }

  std::string street_fields_then(const Pieces& middle, size_t from) const {
    Pieces out(f_.begin(), f_.begin() + static_cast<ptrdiff_t>(house_.anchor));
    out.insert(out.end(), middle.begin(), middle.end());
    out.insert(out.end(), f_.begin() + static_cast<ptrdiff_t>(from), f_.end());
    return join_pieces(out);
  }

  Pieces street_then_commune() const {
    Pieces out(f_.begin(), f_.begin() + static_cast<ptrdiff_t>(house_.anchor));
    if (house_.anchor == 2) out[1] = std::string(house_.number);
    out.emplace_back(commune_);
    return out;
  }

  Pieces non_postcode_fields() const {
    Pieces out;
    for (const std::string_view field : f_) {
      if (!is_postcode(field)) out.emplace_back(field);
    }
    return out;
  }

  Pieces with_commune(const std::string& commune_piece) const {
    Pieces out;
    for (size_t i = 0; i < f_.size(); ++i) {
      if (region_.comma_form && i == region_.region_index) continue;
      out.push_back(i == h_ ? commune_piece : std::string(f_[i]));
    }
    return out;
  }

  Pieces hyphen_split() const {
    Pieces out = all_fields();
    if (!region_.comma_form) {
      out[h_] = std::string(commune_) + ", " + std::string(region_.region);
    }
    return out;
  }

  static std::string hyphenated(const std::string& p, uint64_t digits, uint64_t split) {
    if (split == 0 || split >= digits) return p;
    return p.substr(0, split) + "-" + p.substr(split);
  }

  static std::string leading_part(const std::string& p, uint64_t digits, uint64_t split) {
    if (split == 0 || split >= digits) return p;
    return p.substr(0, split);
  }

  Pieces postcodes_as(std::string (*form)(const std::string&, uint64_t, uint64_t)) const {
    Pieces out;
    for (const std::string_view field : f_) {
      out.push_back(is_postcode(field) ? form(ascii_digits_of(field), digits_, split_)
                                       : std::string(field));
    }
    return out;
  }

  Pieces up_to_region_then_postcodes() const {
    Pieces out(f_.begin(), f_.begin() + static_cast<ptrdiff_t>(region_.region_index) + 1);
    const Pieces after = postcodes_between(region_.region_index + 1, f_.size());
    out.insert(out.end(), after.begin(), after.end());
    return out;
  }

  const std::vector<std::string_view>& f_;
  const RegionField& region_;
  std::string_view commune_;
  size_t h_;
  const HouseAnchor& house_;
  uint64_t digits_;
  uint64_t split_;
};

// Entries after the first two are blanked when they repeat the unlabelled
// query or an entry already stored.
std::vector<std::string> blank_repeats(std::vector<std::string> built, std::string_view unlabelled) {
  std::vector<std::string> stored;
  stored.reserve(built.size());
  for (size_t i = 0; i < built.size(); ++i) {
    const bool repeat = i >= 2 && (built[i] == unlabelled ||
                                   std::find(stored.begin(), stored.end(), built[i]) != stored.end());
    stored.push_back(repeat ? std::string() : std::move(built[i]));
  }
  return stored;
}

}  // namespace

std::optional<AddressFieldRetries> address_field_retries(std::string_view q) {
  const FieldSettings s = field_settings(rules::current());
  if (!s.enabled || !s.regions || !s.forms || !s.has_postal_shape()) return std::nullopt;
  const uint64_t digits = *s.postal_digits;
  const uint64_t split = *s.postal_split;

  std::vector<std::string_view> raw = split_raw_fields(q);
  if (raw.size() >= 2) raw[1] = field_number_unlabel(raw[1]);
  const std::string unlabelled = join_texts(raw, ",");
  const std::vector<std::string_view> fields = split_fields(unlabelled);

  const std::optional<RegionField> region = find_region(fields, s);
  if (!region) return std::nullopt;
  size_t h = region->commune_index;
  std::string_view commune = region->commune;
  if (is_postcode_text(commune, digits, split)) {
    if (h == 0) return std::nullopt;
    --h;
    commune = fields[h];
  }
  if (h == 0 || !is_plain_place_name(commune, true)) return std::nullopt;
  const std::optional<HouseAnchor> house = find_house(fields);
  if (!house || h < house->anchor || fields[0].empty()) return std::nullopt;

  const RetryTable table(fields, *region, commune, h, *house, digits, split);
  return AddressFieldRetries{norm::normalize(commune), blank_repeats(table.build(), unlabelled),
                             house->house};
}

std::optional<std::pair<std::string, uint32_t>> cityless_field_address(std::string_view q) {
  const FieldSettings s = field_settings(rules::current());
  if (!s.enabled) return std::nullopt;
  const std::vector<std::string_view> fields = split_fields(q);
  if (fields.size() != 2 || fields[0].empty() || !de::contains_letter(fields[0])) {
    return std::nullopt;
  }
  const std::string_view unlabelled = field_number_unlabel(fields[1]);
  std::string_view house = unlabelled;
  for (const std::string_view dash : {" - ", " \u2013 ", " \u2014 "}) house = cut_before(house, dash);
  house = de::trim_white_space(house);
  if (!is_house_token(house)) return std::nullopt;
  if (s.regions) {
    for (const std::string_view word : de::split_white_space(unlabelled)) {
      if (is_region_word(*s.regions, word)) return std::nullopt;
    }
  }
  return std::pair{prepared_query_key(fields[0]), *numeric_house_prefix(house)};
}

std::string_view field_number_unlabel(std::string_view field) {
  field = de::trim_white_space(field);
  for (const std::string_view label : kNumberLabels) {
    if (field.starts_with(label)) return de::trim_white_space(field.substr(label.size()));
  }
  return field;
}

std::optional<uint32_t> numeric_house_prefix(std::string_view text) {
  uint64_t value = 0;
  size_t digits = 0;
  for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    value = value * 10 + static_cast<uint64_t>(text[digits] - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  return static_cast<uint32_t>(value);
}

}  // namespace vorlane::query
