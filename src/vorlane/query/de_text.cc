// The German product form and the locality and house-number tests built on
// it and on the canonical form. The product form composes (NFC) before it
// lower-cases, so a decomposed umlaut is spelled out like a composed one;
// text whose characters all lie below U+0300 holds nothing that composes
// and skips ICU's normaliser. Ill-formed UTF-8 reads as U+FFFD, a break.
#include "vorlane/query/de_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/norm/unicode_data.h"

namespace vorlane::query {

const std::array<DeAuditedLocalityAlias, 31> DE_AUDITED_LOCALITY_ALIASES = {{
    {"brandenburg an der havel", 14770, "brandenburg"},
    {"brandenburg an der havel", 14776, "brandenburg"},
    {"berlin", 13187, "pankow"},
    {"berlin", 13189, "pankow"},
    {"berlin", 13355, "gesundbrunnen"},
    {"berlin", 10317, "rummelsburg"},
    {"berlin", 13129, "blankenburg"},
    {"berlin", 13159, "blankenfelde"},
    {"berlin", 13127, "franzosisch buchholz"},
    {"berlin", 12165, "steglitz"},
    {"berlin", 12159, "friedenau"},
    {"berlin", 14052, "westend"},
    {"werder a d havel", 14542, "werder"},
    {"petershagen eggersdorf", 15345, "eggersdorf"},
    {"landkirchen", 23769, "fehmarn"},
    {"berlin kaulsdorf", 12621, "kaulsdorf"},
    {"zerkwitz", 3222, "lubbenau"},  // postcode 03222
    {"schwedt oder", 16303, "schwedt"},
    {"konigstein taunus", 61462, "konigstein im taunus"},
    {"freiburg breisgau", 79104, "freiburg im breisgau"},
    {"freiburg", 79115, "freiburg im breisgau"},
    {"oelsnitz vogtland", 8606, "oelsnitz vogtl"},         // 08606
    {"frankenberg sachsen", 9669, "frankenberg sa"},       // 09669
    {"lutherstadt wittenberg", 6886, "wittenberg"},        // 06886
    {"wittenberg lutherstadt", 6886, "wittenberg"},        // 06886
    {"weilheim teck", 73235, "weilheim an der teck"},
    {"berlin", 10587, "charlottenburg"},
    {"berlin", 10783, "schoneberg"},
    {"berlin", 13627, "charlottenburg nord"},
    {"berlin", 14059, "charlottenburg"},
    {"berlin", 14195, "lichterfelde"},
}};

namespace {

constexpr char32_t kComposingFloor = 0x0300;  // first combining mark

// How one character below U+0100, upper or lower case, is written in the
// product form: up to two ASCII bytes, none for a break.
struct Spelling {
  std::array<char, 2> bytes{};
  uint8_t size = 0;
};

constexpr std::array<Spelling, 256> make_latin1_spellings() {
  std::array<Spelling, 256> t{};
  for (char c = '0'; c <= '9'; ++c) t[static_cast<size_t>(c)] = {{c, 0}, 1};
  for (char c = 'a'; c <= 'z'; ++c) {
    t[static_cast<size_t>(c)] = {{c, 0}, 1};
    t[static_cast<size_t>(c - 'a' + 'A')] = {{c, 0}, 1};
  }
  const Spelling ae{{'a', 'e'}, 2}, oe{{'o', 'e'}, 2}, ue{{'u', 'e'}, 2};
  t[0xC4] = t[0xE4] = ae;  // Ä ä
  t[0xD6] = t[0xF6] = oe;  // Ö ö
  t[0xDC] = t[0xFC] = ue;  // Ü ü
  t[0xDF] = {{'s', 's'}, 2};  // ß
  return t;
}
constexpr std::array<Spelling, 256> kLatin1Spellings = make_latin1_spellings();

// Writes the product form into a buffer: breaks collapse to one space and
// none leads; a trailing one is cut by finish(). Every character writes at
// most as many bytes as it takes in UTF-8 ("ß" "ss", "İ" "i "), so the
// input's size is enough; the buffer grows all the same should it not be.
class ProductWriter {
 public:
  explicit ProductWriter(size_t capacity) : out_(capacity + 2, '\0') {}

  void put_latin1(char32_t c) {
    const Spelling& s = kLatin1Spellings[c];
    if (s.size == 0) {
      put_break();
      return;
    }
    if (out_.size() - size_ < 2) grow(out_);
    out_[size_] = s.bytes[0];
    out_[size_ + 1] = s.bytes[1];
    size_ += s.size;
  }

  // Any character: each character of its full lower-case mapping.
  void put(char32_t c) {
    for (const char32_t lower : norm::full_lowercase(c)) {
      if (lower < 0x100) {
        put_latin1(lower);
      } else {
        put_break();
      }
    }
  }

  void put_break() {
    if (size_ == 0 || out_[size_ - 1] == ' ') return;
    if (out_.size() == size_) grow(out_);
    out_[size_++] = ' ';
  }

  std::string finish() {
    while (size_ != 0 && out_[size_ - 1] == ' ') --size_;
    out_.resize(size_);
    return std::move(out_);
  }

 private:
  // Out of line and not a member, so that the writer's position can stay
  // in a register.
  [[gnu::noinline]] static void grow(std::string& out) { out.resize(2 * out.size()); }

  std::string out_;
  size_t size_ = 0;
};

// The product form of `text` taken as already composed. With
// `stop_at_floor`, nothing when a character at or above U+0300 might
// compose.
std::optional<std::string> product_of_composed(std::string_view text, bool stop_at_floor) {
  ProductWriter writer(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
      writer.put_latin1(lead);
      ++pos;
      continue;
    }
    const utf8::Step step = utf8::decode_step(text, pos);
    pos += step.length;
    if (!step.valid) {
      writer.put_break();
    } else if (step.scalar < 0x100) {
      writer.put_latin1(step.scalar);
    } else if (stop_at_floor && step.scalar >= kComposingFloor) {
      return std::nullopt;
    } else {
      writer.put(step.scalar);
    }
  }
  return writer.finish();
}

// `longer` continues `prefix` with a space: a whole-word prefix.
bool continues_with_space(std::string_view longer, std::string_view prefix) {
  return longer.size() > prefix.size() && longer.starts_with(prefix) &&
         longer[prefix.size()] == ' ';
}

bool is_ascii_digit_byte(char c) { return c >= '0' && c <= '9'; }

bool contains_ascii_digit(std::string_view text) {
  return std::any_of(text.begin(), text.end(), is_ascii_digit_byte);
}

std::string_view last_space_separated_word(std::string_view text) {
  const size_t space = text.rfind(' ');
  return space == std::string_view::npos ? text : text.substr(space + 1);
}

// The compound's street-type words, in the order they are tried.
constexpr std::array<std::string_view, 8> kCompoundTypeWords = {
    "chaussee", "strasse", "allee", "gasse", "platz", "ring", "ufer", "weg"};
constexpr size_t kCompoundMaxBytes = 96;
constexpr size_t kCompoundMinStemBytes = 3;

// The qualifiers after a '/' that the audited spellings know, with the
// connector that joins each to the name before the slash.
struct SlashQualifier {
  std::string_view qualifier, connector;
};
constexpr std::array<SlashQualifier, 2> kSlashQualifiers = {{
    {"teck", "an der"},
    {"breisgau", "im"},
}};

}  // namespace

namespace detail {

std::string de_product_normalize_text_unicode(std::string_view text) {
  return *product_of_composed(norm::compose(text), false);
}

}  // namespace detail

std::string de_product_normalize_text(std::string_view text) {
  if (std::optional<std::string> quick = product_of_composed(text, true)) {
    return std::move(*quick);
  }
  return detail::de_product_normalize_text_unicode(text);
}

std::string de_product_normalize_street(std::string_view text) {
  std::string product = de_product_normalize_text(text);
  const std::string_view last = last_space_separated_word(product);
  if (last.size() > 3 && last.ends_with("str")) product += "asse";
  return product;
}

std::optional<std::string> de_product_normalize_compound_street(std::string_view text) {
  const std::string street = de_product_normalize_street(text);
  if (street.empty() || street.size() > kCompoundMaxBytes ||
      street.find(' ') != std::string::npos) {
    return std::nullopt;
  }
  for (const std::string_view type : kCompoundTypeWords) {
    if (street.ends_with(type) && street.size() - type.size() >= kCompoundMinStemBytes) {
      std::string out = street.substr(0, street.size() - type.size());
      out += ' ';
      out += type;
      return out;
    }
  }
  return std::nullopt;
}

std::string de_commune_core(std::string_view name) {
  const std::string canonical = norm::normalize(name);
  constexpr std::string_view kStadt = "stadt";
  std::string_view core = canonical;
  while (core == kStadt || core.starts_with("stadt ")) {
    core.remove_prefix(std::min(kStadt.size() + 1, core.size()));
  }
  while (core == kStadt || core.ends_with(" stadt")) {
    core.remove_suffix(std::min(kStadt.size() + 1, core.size()));
  }
  return std::string(core);
}

std::optional<std::string> de_audited_locality(std::string_view text) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) {
    std::string product = de_product_normalize_text(text);
    if (product.empty()) return std::nullopt;
    return product;
  }
  if (text.find('/', slash + 1) != std::string_view::npos) return std::nullopt;
  const std::string left = de_product_normalize_text(text.substr(0, slash));
  const std::string right = de_product_normalize_text(text.substr(slash + 1));
  if (left.empty() || right.empty()) return std::nullopt;
  for (const SlashQualifier& q : kSlashQualifiers) {
    if (right == q.qualifier) {
      std::string out = left;
      out.append(" ").append(q.connector).append(" ").append(right);
      return out;
    }
  }
  return std::nullopt;
}

std::optional<DeAuditedPostcodeLocality> de_audited_postcode_locality(std::string_view text) {
  const std::string_view trimmed = de::trim_white_space(text);
  const auto parts = de::split_at_first_white_space(trimmed);
  if (!parts) return std::nullopt;
  const std::string_view head = parts->first;
  const std::string_view tail = de::trim_white_space(parts->second);
  if (!is_five_digit_postcode(head) || tail.empty()) return std::nullopt;
  if (!de::contains_letter(tail) || tail.find_first_of("0123456789,;|") != std::string_view::npos) {
    return std::nullopt;
  }
  uint32_t postcode = 0;
  for (const char c : head) postcode = postcode * 10 + static_cast<uint32_t>(c - '0');
  return DeAuditedPostcodeLocality{std::string(head), postcode, std::string(tail)};
}

uint8_t de_retained_locality_score(std::string_view locality, std::string_view commune) {
  const std::string a = norm::normalize(locality);
  const std::string c = de_commune_core(commune);
  if (a.empty() || c.empty()) return 0;
  if (c == a) return 2;
  return continues_with_space(c, a) ? 1 : 0;
}

bool de_locality_is_exact_or_query_prefix(std::string_view locality, std::string_view candidate) {
  return candidate == locality || continues_with_space(candidate, locality);
}

bool de_p3_locality_compatible(std::string_view a, std::string_view b) {
  return a == b || continues_with_space(a, b) || continues_with_space(b, a);
}

bool de_is_exact_locality_alias_query(std::string_view locality, uint32_t postcode) {
  const std::string canonical = norm::normalize(locality);
  return std::any_of(DE_AUDITED_LOCALITY_ALIASES.begin(), DE_AUDITED_LOCALITY_ALIASES.end(),
                     [&](const DeAuditedLocalityAlias& row) {
                       return row.postcode == postcode && row.query_locality == canonical;
                     });
}

bool is_five_digit_postcode(std::string_view text) {
  return text.size() == 5 && std::all_of(text.begin(), text.end(), is_ascii_digit_byte);
}

bool de_house_token_matches(const Hit& hit, std::string_view token) {
  if (!hit.housenumber) return false;
  std::string product = de_product_normalize_text(*hit.housenumber);
  std::erase(product, ' ');
  return product == token;
}

// A dash lies inside a word (dashes are not white space). The last word
// before it is the word's part before the dash or, when that is empty, the
// previous word; the first word after it likewise.
bool de_house_range_separator(std::string_view text) {
  constexpr std::string_view kDigits = "0123456789";
  const std::vector<std::string_view> words = de::split_white_space(text);
  for (size_t w = 0; w < words.size(); ++w) {
    const std::string_view word = words[w];
    const size_t first_digit = word.find_first_of(kDigits);
    const size_t last_digit = word.find_last_of(kDigits);
    for (size_t pos = 0; pos < word.size(); ++pos) {
      const size_t length = de::dash_length(word, pos);
      if (length == 0) continue;
      const size_t after = pos + length;
      const bool digit_before = pos == 0 ? w > 0 && contains_ascii_digit(words[w - 1])
                                         : first_digit < pos;
      const bool digit_after = after == word.size()
                                   ? w + 1 < words.size() && contains_ascii_digit(words[w + 1])
                                   : last_digit != std::string_view::npos && last_digit >= after;
      if (digit_before && digit_after) return true;
      pos = after - 1;
    }
  }
  return false;
}

}  // namespace vorlane::query
