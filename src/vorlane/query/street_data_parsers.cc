// The two parsers of street_data.h. Byte offsets are taken only where a
// character starts: ',', '.', '-' and ASCII digits are single bytes never
// found inside a multi-byte sequence, and every other character is decoded.
#include "vorlane/query/street_data.h"

#include <algorithm>

#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/field_retries.h"
#include "vorlane/query/field_text.h"
#include "vorlane/query/folding.h"
#include "vorlane/query/index.h"
#include "vorlane/query/street_types.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Byte length of a place separator (',', '.', '-', U+2013 or U+2014) at
// `pos`; 0 when none starts there.
size_t place_separator_length(std::string_view text, size_t pos) {
  if (text[pos] == ',' || text[pos] == '.') return 1;
  return de::dash_length(text, pos);
}

std::vector<std::string_view> place_pieces(std::string_view place) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (size_t pos = 0; pos < place.size();) {
    const size_t length = place_separator_length(place, pos);
    if (length == 0) {
      ++pos;
      continue;
    }
    out.push_back(place.substr(start, pos - start));
    pos += length;
    start = pos;
  }
  out.push_back(place.substr(start));
  return out;
}

bool is_house_break(std::string_view text, size_t pos) {
  if (place_separator_length(text, pos) > 0) return true;
  const utf8::Step step = utf8::decode_step(text, pos);
  return step.valid && norm::is_white_space(step.scalar);
}

bool is_window_char(char32_t c) {
  return norm::is_letter(c) || norm::is_white_space(c) || c == U'\'' || c == U'\u2019';
}

bool is_window_text(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Step step = utf8::decode_step(text, pos);
    if (!step.valid || !is_window_char(step.scalar)) return false;
    pos += step.length;
  }
  return true;
}

struct HouseAndPlace {
  std::string_view street, house, place;
};

// The house at the front of the text after the first comma (form A), else
// at the end of the text before it (form B).
std::optional<HouseAndPlace> split_house(std::string_view first, std::string_view rest) {
  size_t t = 0;
  while (t < rest.size() && is_ascii_digit(rest[t])) ++t;
  if (t < rest.size() && is_ascii_letter(rest[t])) ++t;
  if (is_house_token(rest.substr(0, t)) && rest.size() > t && is_house_break(rest, t)) {
    return HouseAndPlace{first, rest.substr(0, t), rest.substr(t)};
  }
  const auto split = de::split_at_last_white_space(first);
  if (!split || !is_house_token(split->second)) return std::nullopt;
  return HouseAndPlace{de::trim_white_space(split->first), split->second, rest};
}

bool has_region_word(std::string_view place, std::string_view regions) {
  for (const std::string_view piece : place_pieces(place)) {
    const std::string canonical = norm::normalize(piece);
    for (const std::string_view word : split_words(canonical)) {
      if (is_region_word(regions, word)) return true;
    }
  }
  return false;
}

bool has_postcode_token(std::string_view place, const FieldSettings& s) {
  for (const std::string_view token : de::split_white_space(place)) {
    const size_t first = token.find_first_of("0123456789-");
    if (first == std::string_view::npos) continue;
    const size_t last = token.find_last_of("0123456789-");
    if (is_postcode_text(token.substr(first, last + 1 - first), *s.postal_digits,
                         *s.postal_split)) {
      return true;
    }
  }
  return false;
}

// The first window of the run, longest first, then leftmost, that names a
// commune.
std::optional<std::string> commune_window(const Index& index,
                                          std::span<const std::string_view> run) {
  for (size_t end = run.size(); end > 0; --end) {
    for (size_t start = 0; start < end; ++start) {
      std::string window = join_words(run.subspan(start, end - start));
      if (is_window_text(window) && !index.communes_by_name_raw(window).empty()) return window;
    }
  }
  return std::nullopt;
}

struct CommuneSearch {
  std::optional<std::string> candidate;
  bool conflict = false;
  bool failed = false;  // a commune after a region word that is not the one before
};

CommuneSearch search_commune(const Index& index, std::string_view place,
                             std::string_view regions) {
  CommuneSearch out;
  bool after_region = false;
  for (const std::string_view piece : place_pieces(place)) {
    const std::string canonical = norm::normalize(piece);
    const std::vector<std::string_view> words = split_words(canonical);
    size_t run_start = 0;
    for (size_t run = 0, i = 0; i <= words.size(); ++i) {
      if (i < words.size() && !is_region_word(regions, words[i])) continue;
      if (run > 0) after_region = true;
      const std::optional<std::string> window = commune_window(
          index, std::span<const std::string_view>(words).subspan(run_start, i - run_start));
      ++run;
      run_start = i + 1;
      if (!window) continue;
      if (after_region) {
        if (out.candidate != window) {
          out.failed = true;
          return out;
        }
      } else {
        out.conflict = out.conflict || (out.candidate && *out.candidate != *window);
        out.candidate = window;
      }
    }
  }
  return out;
}

struct Token {
  std::string_view text;
  size_t start = 0;
  size_t end = 0;
};

std::vector<Token> query_tokens(std::string_view q) {
  std::vector<Token> out;
  for (const std::string_view word : de::split_white_space(q)) {
    const auto start = static_cast<size_t>(word.data() - q.data());
    out.push_back({word, start, start + word.size()});
  }
  return out;
}

struct HouseCut {
  size_t cut = 0;        // where the street ends
  size_t house_end = 0;  // end of the house token
  bool labelled = false;
};

// The last house token after a known street, scanning tokens 1 .. end - 1.
std::optional<HouseCut> last_house_after_street(std::string_view q,
                                                const std::vector<Token>& tokens, size_t end,
                                                const StreetKeyMap& map,
                                                const StreetTypeAliases& aliases) {
  const rules::Rules& rules = rules::current();
  std::optional<HouseCut> found;
  for (size_t i = 1; i < end; ++i) {
    const std::string_view house = field_number_unlabel(tokens[i].text);
    if (!is_house_token(house)) continue;
    const std::string_view previous = field_number_unlabel(tokens[i - 1].text);
    HouseCut cut{tokens[i].start, tokens[i].end, true};
    if (house == tokens[i].text && previous == tokens[i - 1].text) {
      cut.labelled = false;
    } else if (previous.empty()) {
      cut.cut = tokens[i - 1].start;
    }
    const std::string_view street = de::trim_white_space(q.substr(0, cut.cut));
    if (rules.is_street_type(norm::normalize(street))) continue;
    if (comma_field_retry(map, aliases, street)) found = cut;
  }
  return found;
}

std::string join_cut_pieces(std::string_view q, std::vector<size_t> positions) {
  std::erase_if(positions, [&](size_t p) { return p == 0 || p >= q.size(); });
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  positions.push_back(q.size());
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (const size_t p : positions) {
    const std::string_view piece = de::trim_white_space(q.substr(start, p - start));
    if (!piece.empty()) pieces.push_back(piece);
    start = p;
  }
  return join_texts(pieces, ", ");
}

}  // namespace

std::optional<GeographicRetry> geographic_field_retry(const Index& index, std::string_view q) {
  const FieldSettings s = field_settings(index.active_rules());
  const size_t comma = q.find(',');
  if (!s.enabled || comma == std::string_view::npos) return std::nullopt;
  const std::string_view first = de::trim_white_space(q.substr(0, comma));
  const std::string_view rest = field_number_unlabel(q.substr(comma + 1));
  const std::optional<HouseAndPlace> parts = split_house(first, rest);
  if (!parts || !de::contains_letter(parts->street)) return std::nullopt;
  if (!s.regions || !s.has_postal_shape()) return std::nullopt;

  const bool region_seen = has_region_word(parts->place, *s.regions);
  const bool postcode_seen = has_postcode_token(parts->place, s);
  const CommuneSearch found = search_commune(index, parts->place, *s.regions);
  if (found.failed || (postcode_seen && found.conflict && !region_seen) || !found.candidate) {
    return std::nullopt;
  }
  std::string text = std::string(parts->street) + ", " + std::string(parts->house) + ", " +
                     *found.candidate;
  return GeographicRetry{std::move(text), *numeric_house_prefix(parts->house), *found.candidate};
}

std::optional<std::string> comma_fields(const Index& index, std::string_view q) {
  const FieldSettings s = field_settings(rules::current());
  if (!s.enabled || !s.has_postal_shape() || !s.regions) return std::nullopt;
  const std::vector<Token> tokens = query_tokens(q);
  std::optional<size_t> postcode;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!is_postcode_text(tokens[i].text, *s.postal_digits, *s.postal_split)) continue;
    if (postcode) return std::nullopt;
    postcode = i;
  }
  std::optional<size_t> region;
  if (!tokens.empty() && is_region_word(*s.regions, tokens.back().text)) {
    region = tokens.size() - 1;
  }
  const StreetTypeAliases aliases = field_street_type_aliases();
  const StreetKeyMap& map = streets_by_field_key_map(index, aliases);
  if (comma_field_retry(map, aliases, q)) return std::nullopt;

  const size_t end = postcode ? *postcode : region ? *region : tokens.size();
  const std::optional<HouseCut> house = last_house_after_street(q, tokens, end, map, aliases);
  if (!house) return std::nullopt;
  std::vector<size_t> positions;
  if (!house->labelled || postcode || region) positions.push_back(house->house_end);
  if (house->labelled) positions.push_back(house->cut);
  if (postcode) {
    positions.push_back(tokens[*postcode].start);
    positions.push_back(tokens[*postcode].end);
  }
  if (region) positions.push_back(tokens[*region].start);
  std::string joined = join_cut_pieces(q, std::move(positions));
  if (joined == q || joined.find(',') == std::string::npos) return std::nullopt;
  return joined;
}

}  // namespace vorlane::query
