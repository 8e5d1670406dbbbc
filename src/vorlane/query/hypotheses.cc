// Tokens, postcode and house-number hypotheses. Lengths here are bytes
// where they count ASCII digits and letters, characters where they bound
// suffix tokens.
#include "vorlane/query/hypotheses.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

#include "vorlane/base/utf8.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/query/decimal.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

// Of a text repeated in an over-long key, this many copies stay.
constexpr size_t kMaxCopies = 2;
constexpr size_t kMaxNumberCandidates = 4;
constexpr size_t kMaxNumberDigits = 4;
constexpr size_t kMaxSuffixParts = 3;
constexpr size_t kMaxSuffixChars = 4;
constexpr size_t kMaxGluedRestChars = 4;
// Hypotheses before the one without a number.
constexpr size_t kMaxNumberedHypotheses = kMaxHypotheses - 1;

// A number followed by one of these is an ordinal ("5 я улица").
constexpr std::array<std::string_view, 8> kRussianOrdinalEndings = {"я",  "й",  "е",  "го",
                                                                    "ой", "ая", "ье", "ого"};
constexpr std::array<std::string_view, 5> kSuffixWords = {"bis", "ter", "quater", "sexies",
                                                          "quinquies"};

// Token labels of the token-labelling model.
enum Label : uint8_t { kStreet = 0, kLocality = 1, kNumber = 2, kSuffix = 3, kDropped = 4 };

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool all_digits(std::string_view s) { return std::all_of(s.begin(), s.end(), is_ascii_digit); }

bool is_short_number(std::string_view s) {
  return !s.empty() && s.size() <= kMaxNumberDigits && all_digits(s);
}

uint32_t digits_value(std::string_view digits) { return *parse_u32(digits); }

size_t leading_digits(std::string_view s) {
  size_t n = 0;
  while (n < s.size() && is_ascii_digit(s[n])) ++n;
  return n;
}

// Every character alphanumeric, counting them; nothing when one is not.
std::optional<size_t> alphanumeric_chars(std::string_view s) {
  size_t count = 0;
  for (size_t pos = 0; pos < s.size(); ++count) {
    const utf8::Step step = utf8::decode_step(s, pos);
    if (!step.valid || !norm::is_alphanumeric(step.scalar)) return std::nullopt;
    pos += step.length;
  }
  return count;
}

bool is_single_letter(std::string_view s) {
  const utf8::Step step = utf8::decode_step(s, 0);
  return step.length == s.size() && step.valid && norm::is_letter(step.scalar);
}

bool is_suffix_part(std::string_view s) {
  return std::any_of(s.begin(), s.end(), is_ascii_digit) ||
         std::find(kSuffixWords.begin(), kSuffixWords.end(), s) != kSuffixWords.end() ||
         is_single_letter(s);
}

std::optional<uint32_t> suffix_id_of(const Index& index, const std::string& text) {
  const auto it = index.suffix_ids.find(text);
  if (it == index.suffix_ids.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string_view> split_tokens(std::string_view key) {
  std::vector<std::string_view> tokens;
  size_t start = 0;
  while (start <= key.size()) {
    const size_t end = std::min(key.find(' ', start), key.size());
    if (end > start) tokens.push_back(key.substr(start, end - start));
    start = end + 1;
  }
  return tokens;
}

void drop_third_copies(std::vector<std::string_view>& tokens) {
  std::unordered_map<std::string_view, size_t> copies;
  std::erase_if(tokens, [&](std::string_view t) { return ++copies[t] > kMaxCopies; });
}

// Exactly four ASCII digits and two ASCII letters in one token.
bool is_glued_short_postcode(std::string_view t) {
  return t.size() == 6 && all_digits(t.substr(0, 4)) && is_ascii_letter(t[4]) &&
         is_ascii_letter(t[5]);
}

bool is_two_letters(std::string_view t) {
  return t.size() == 2 && is_ascii_letter(t[0]) && is_ascii_letter(t[1]);
}

void find_postcode(KeyTokens& key) {
  const std::vector<std::string_view>& t = key.tokens;
  for (size_t i = 0; i < t.size(); ++i) {
    if ((t[i].size() == 5 || t[i].size() == 6) && all_digits(t[i])) {
      key.postcode = digits_value(t[i]);
      key.used[i] = true;
    } else if (t[i].size() == 4 && all_digits(t[i]) && i + 1 < t.size() && is_two_letters(t[i + 1])) {
      key.postcode = digits_value(t[i]);
      key.used[i] = key.used[i + 1] = true;
      ++i;
    } else if (is_glued_short_postcode(t[i])) {
      key.postcode = digits_value(t[i].substr(0, 4));
      key.used[i] = true;
    }
  }
}

std::vector<size_t> number_candidates(const KeyTokens& key) {
  const std::vector<std::string_view>& t = key.tokens;
  const auto is_ordinal_ending = [](std::string_view s) {
    return std::find(kRussianOrdinalEndings.begin(), kRussianOrdinalEndings.end(), s) !=
           kRussianOrdinalEndings.end();
  };
  std::vector<size_t> out;
  size_t i = 0;
  while (i < t.size()) {
    if (key.used[i] || !is_short_number(t[i]) || (i + 1 < t.size() && is_ordinal_ending(t[i + 1]))) {
      ++i;
      continue;
    }
    out.push_back(i);
    ++i;
    while (i < t.size() && !key.used[i] && is_short_number(t[i])) ++i;
  }
  return out;
}

std::vector<uint32_t> free_tokens_outside(const KeyTokens& key, size_t first, size_t last) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < key.tokens.size(); ++i) {
    if (!key.used[i] && (i < first || i >= last)) out.push_back(static_cast<uint32_t>(i));
  }
  return out;
}

// A number glued to its suffix ("12a"), the suffix extended by following
// tokens that mix digits and other bytes and are suffixes themselves.
std::optional<Hyp> glued_hypothesis(const Index& index, const KeyTokens& key) {
  const std::vector<std::string_view>& t = key.tokens;
  for (size_t i = 0; i < t.size(); ++i) {
    if (key.used[i]) continue;
    const size_t digits = leading_digits(t[i]);
    if (digits == 0 || digits > kMaxNumberDigits) continue;
    const std::optional<size_t> rest_chars = alphanumeric_chars(t[i].substr(digits));
    if (!rest_chars || *rest_chars == 0 || *rest_chars > kMaxGluedRestChars) continue;
    std::string suffix(t[i].substr(digits));
    size_t j = i + 1;
    for (; j < t.size() && !key.used[j]; ++j) {
      const bool mixed = std::any_of(t[j].begin(), t[j].end(), is_ascii_digit) && !all_digits(t[j]);
      if (!mixed || !index.suffix_ids.contains(std::string(t[j]))) break;
      suffix.append(t[j]);
    }
    Hyp h;
    h.number = digits_value(t[i].substr(0, digits));
    h.suffix_id = suffix_id_of(index, suffix).value_or(0);
    h.remaining = free_tokens_outside(key, i, j);
    return h;
  }
  return std::nullopt;
}

std::optional<Hyp> labelled_hypothesis(const Index& index, const KeyTokens& key) {
  if (!index.parser) return std::nullopt;
  const std::vector<uint8_t> labels = index.parser->label(std::span(key.tokens));
  std::vector<uint32_t> street;
  std::vector<uint32_t> locality;
  std::string suffix;
  bool has_suffix_parts = false;
  Hyp h;
  h.flag = 1;
  for (uint32_t i = 0; i < key.tokens.size(); ++i) {
    if (key.used[i]) continue;
    const std::string_view token = key.tokens[i];
    switch (labels[i]) {
      case kLocality:
        locality.push_back(i);
        break;
      case kNumber:
        if (!h.number && !token.empty() && is_ascii_digit(token[0])) {
          const size_t digits = leading_digits(token);
          h.number = parse_u32(token.substr(0, digits));
          if (digits < token.size()) {
            suffix.append(token.substr(digits));
            has_suffix_parts = true;
          }
        } else {
          street.push_back(i);
        }
        break;
      case kSuffix:
        suffix.append(token);
        has_suffix_parts = true;
        break;
      case kDropped:
        break;
      default:
        street.push_back(i);
    }
  }
  if (street.empty()) return std::nullopt;
  h.remaining = std::move(street);
  h.remaining.insert(h.remaining.end(), locality.begin(), locality.end());
  if (has_suffix_parts) h.suffix_id = suffix_id_of(index, suffix).value_or(0);
  return h;
}

}  // namespace

KeyTokens read_tokens(std::string_view key) {
  KeyTokens out;
  out.tokens = split_tokens(key);
  if (out.tokens.size() > kMaxTokens) {
    drop_third_copies(out.tokens);
    if (out.tokens.size() > kMaxTokens) out.tokens.resize(kMaxTokens);
  }
  out.used.assign(out.tokens.size(), false);
  find_postcode(out);
  return out;
}

std::vector<std::string_view> hypothesis_words(const KeyTokens& key, const Hyp& hyp) {
  std::vector<std::string_view> words;
  words.reserve(hyp.remaining.size());
  for (const uint32_t i : hyp.remaining) words.push_back(key.tokens[i]);
  return words;
}

Hyp build_hyp(const Index& index, std::span<const std::string_view> tokens,
              const std::vector<bool>& used, size_t i, bool with_suffix) {
  Hyp h;
  h.number = parse_u32(tokens[i]);
  size_t consumed_end = i + 1;
  if (with_suffix) {
    const bool has_table = index.suffixes.size() > 1;  // entry 0 is "no suffix"
    std::string suffix;
    size_t parts = 0;
    for (size_t j = i + 1; j < tokens.size() && !used[j] && parts < kMaxSuffixParts; ++j) {
      const std::string_view t = tokens[j];
      const std::optional<size_t> chars = alphanumeric_chars(t);
      if (t.empty() || !chars || *chars > kMaxSuffixChars || !is_suffix_part(t)) break;
      suffix.append(t);
      ++parts;
      if (!has_table) continue;
      if (const std::optional<uint32_t> id = suffix_id_of(index, suffix)) {
        h.suffix_id = *id;
        consumed_end = j + 1;
      }
    }
  }
  for (size_t j = 0; j < tokens.size(); ++j) {
    if (!used[j] && (j < i || j >= consumed_end)) h.remaining.push_back(static_cast<uint32_t>(j));
  }
  return h;
}

std::vector<Hyp> build_hypotheses(const Index& index, const KeyTokens& key) {
  std::vector<Hyp> hyps;
  const std::vector<size_t> numbers = number_candidates(key);
  for (size_t c = 0; c < std::min(numbers.size(), kMaxNumberCandidates); ++c) {
    hyps.push_back(build_hyp(index, key.tokens, key.used, numbers[c], true));
    Hyp plain = build_hyp(index, key.tokens, key.used, numbers[c], false);
    if (plain.remaining != hyps.back().remaining) hyps.push_back(std::move(plain));
  }
  if (std::optional<Hyp> glued = glued_hypothesis(index, key)) hyps.push_back(std::move(*glued));
  if (std::optional<Hyp> labelled = labelled_hypothesis(index, key)) {
    hyps.push_back(std::move(*labelled));
  }
  const size_t pushed = hyps.size();
  for (size_t i = 0; i < pushed; ++i) {
    if (hyps[i].remaining.size() < 2) continue;
    Hyp rotated = hyps[i];
    std::rotate(rotated.remaining.begin(), rotated.remaining.begin() + 1, rotated.remaining.end());
    hyps.push_back(std::move(rotated));
  }
  if (hyps.size() > kMaxNumberedHypotheses) hyps.resize(kMaxNumberedHypotheses);
  Hyp no_number;
  no_number.remaining = free_tokens_outside(key, 0, 0);
  hyps.push_back(std::move(no_number));
  return hyps;
}

}  // namespace vorlane::query
