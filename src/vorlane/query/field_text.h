// Text shapes shared by the structured-field stages: the kind-23 settings
// that switch them on, comma fields, house tokens, postcode fields, region
// words and plain place names. All functions are pure and total; white
// space is the Unicode White_Space property, a letter the Alphabetic
// property, a digit an ASCII digit unless said otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/base/temporary_string.h"

namespace vorlane::rules {
class Rules;
}

namespace vorlane::query {

// An unsigned decimal parameter: one optional leading '+', then at least one
// ASCII digit and nothing else, within 64 bits.
std::optional<uint64_t> parse_unsigned_parameter(std::string_view text);

// The kind-23 parameters of the structured-field stages, as stored.
struct FieldSettings {
  bool enabled = false;                     // "enabled" is exactly "1"
  std::optional<uint64_t> postal_digits;    // D, when usable
  std::optional<uint64_t> postal_split;     // S, when usable
  std::optional<std::string_view> regions;  // views into the rules
  std::optional<std::string_view> forms;

  bool has_postal_shape() const { return postal_digits && postal_split; }
};
FieldSettings field_settings(const rules::Rules& rules);

// Some white-space separated word of `list` equals `probe` byte for byte.
bool has_list_word(std::string_view list, std::string_view probe);
// Some white-space separated word of `regions` equals `probe` under ASCII
// case folding (equal byte lengths; other bytes compared as they are).
bool is_region_word(std::string_view regions, std::string_view probe);

// `text` split at every ',', each piece trimmed of white space; empty
// pieces are kept.
std::vector<std::string_view> split_fields(std::string_view text);
template <TemporaryString S>
std::vector<std::string_view> split_fields(S&&) = delete;
// `text` split at every ',', untrimmed.
std::vector<std::string_view> split_raw_fields(std::string_view text);
template <TemporaryString S>
std::vector<std::string_view> split_raw_fields(S&&) = delete;
// The pieces joined with `separator`.
std::string join_texts(const std::vector<std::string_view>& pieces, std::string_view separator);

// 1 to 5 ASCII digits, then at most one ASCII letter.
bool is_house_token(std::string_view text);
// The ASCII digits of `text`, in order.
std::string ascii_digits_of(std::string_view text);
// The ASCII digits of `text` are exactly D, and `text` is those digits, or
// (when S < D) the first S of them, '-' and the rest.
bool is_postcode_text(std::string_view text, uint64_t digits, uint64_t split);

// At least one letter, and every character of the text (composed first
// when `compose` is set) a letter, white space, an apostrophe (U+0027,
// U+2019) or '-'.
bool is_plain_place_name(std::string_view text, bool compose);

// The text before the first occurrence of `separator` (all of it when there
// is none).
std::string_view cut_before(std::string_view text, std::string_view separator);
template <TemporaryString S>
std::string_view cut_before(S&&, std::string_view) = delete;

}  // namespace vorlane::query
