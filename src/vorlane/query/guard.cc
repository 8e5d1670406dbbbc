// The foreign-city guard. All vocabulary comes from the kind-26 map of the
// index's rules: "street_markers", "district_markers", "regions",
// "city:<name>" (its states), "alias:<phrase>" (its city) and
// "state:<name>" (its state word). Spans are byte offsets into N, the
// canonical form of the query; a span's start is inclusive, its end
// exclusive.
//
// A city mention's class says how it reads: a candidate city, a word of a
// street or district name, a city outside the named states, or a state
// name qualifying the city before it. Only candidate cities name the city
// the answer must lie in.
#include "vorlane/query/guard.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "vorlane/base/utf8.h"
#include "vorlane/norm/char_class.h"
#include "vorlane/norm/normalize.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

constexpr size_t kMaxCityWords = 8;
constexpr std::string_view kCityPrefix = "city:";
constexpr std::string_view kAliasPrefix = "alias:";
constexpr std::string_view kStatePrefix = "state:";

enum class MentionClass : uint8_t {
  kCity = 0,
  kInStreet = 1,
  kInDistrict = 2,
  kOutsideNamedStates = 3,
  kStateQualifier = 4,
};

struct Span {
  size_t start = 0;
  size_t end = 0;
  bool holds(size_t pos) const { return pos >= start && pos < end; }
};

struct Word {
  std::string_view text;
  Span span;
};

struct Mention {
  Span span;
  std::string name;
  std::string_view states;  // the city entry's value
  MentionClass cls = MentionClass::kCity;
};

using TextSet = std::set<std::string, std::less<>>;

// The White_Space-separated words of `text`, with their byte spans.
std::vector<Word> words_with_spans(std::string_view text, size_t offset = 0) {
  std::vector<Word> words;
  std::optional<size_t> start;
  for (size_t pos = 0; pos <= text.size();) {
    utf8::Step step{0, 1, false};
    bool space = pos == text.size();
    if (!space) {
      step = utf8::decode_step(text, pos);
      space = step.valid && norm::is_white_space(step.scalar);
    }
    if (space && start) {
      words.push_back({text.substr(*start, pos - *start), {offset + *start, offset + pos}});
      start.reset();
    } else if (!space && !start) {
      start = pos;
    }
    pos += step.length;
  }
  return words;
}

TextSet word_set(std::string_view text) {
  TextSet set;
  for (const Word& w : words_with_spans(text)) set.emplace(w.text);
  return set;
}

bool has_word(std::string_view text, std::string_view word) {
  for (const Word& w : words_with_spans(text)) {
    if (w.text == word) return true;
  }
  return false;
}

// Full, context-free upper case (root locale: "ß" becomes "SS").
std::string upper(std::string_view text) {
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
      .toUpper(icu::Locale::getRoot())
      .toUTF8String(out);
  return out;
}

bool is_all_ascii_digits(std::string_view w) {
  return std::all_of(w.begin(), w.end(), [](char c) { return norm::is_ascii_digit(c); });
}

class Guard {
 public:
  Guard(const rules::TextMap& map, std::string_view q)
      : map_(map),
        n_(norm::normalize(q)),
        words_(words_with_spans(n_)),
        street_markers_(word_set(value("street_markers").value_or(""))),
        district_markers_(word_set(value("district_markers").value_or(""))),
        regions_(word_set(value("regions").value_or(""))) {
    find_marker_spans(q);
    find_named_states();
    find_mentions();
    drop_nested_mentions();
    classify_mentions();
    qualify_states();
    find_named_cities();
  }

  // Whether an answer whose top hit lies in `commune` is withdrawn.
  bool withdraws(std::string_view commune) {
    std::string city = norm::normalize(commune);
    if (auto canonical = keyed(kAliasPrefix, city)) city = std::string(*canonical);
    if (!named_cities_.empty()) {
      if (named_cities_.contains(city)) return false;
      return city_state_pairs_.size() == 1 && named_states_.size() == 1;
    }
    if (contains_word_bounded(n_, city)) return true;
    if (auto state = keyed(kStatePrefix, city); state && named_states_.contains(*state)) {
      return false;
    }
    return std::any_of(mentions_.begin(), mentions_.end(), [&](const Mention& m) {
      return m.name == city && m.cls != MentionClass::kCity;
    });
  }

 private:
  std::optional<std::string_view> value(std::string_view key) const {
    auto it = map_.find(key);
    if (it == map_.end()) return std::nullopt;
    return it->second;
  }

  // The value of prefix + name, through one reused key buffer.
  std::optional<std::string_view> keyed(std::string_view prefix, std::string_view name) {
    key_.assign(prefix);
    key_.append(name);
    return value(key_);
  }

  bool in_street(size_t pos) const {
    return std::any_of(street_spans_.begin(), street_spans_.end(),
                       [pos](const Span& s) { return s.holds(pos); });
  }

  bool in_district(size_t pos) const {
    return std::any_of(district_spans_.begin(), district_spans_.end(),
                       [pos](const Span& s) { return s.holds(pos); });
  }

  bool is_region(std::string_view word) const {
    return !regions_.empty() && regions_.contains(upper(word));
  }

  bool names_a_state_of(std::string_view states) const {
    for (const Word& w : words_with_spans(states)) {
      if (named_states_.contains(w.text)) return true;
    }
    return false;
  }

  static bool is_separator_always(char32_t c) { return c == U'\n' || c == U',' || c == U';'; }
  static bool is_dash(char32_t c) { return c == U'-' || c == U'\u2013' || c == U'\u2014'; }

  // Cuts the raw query into pieces at separators, finds each normalised
  // piece in N, and records where street and district names run.
  void find_marker_spans(std::string_view q) {
    std::vector<utf8::Step> chars;
    std::vector<size_t> starts;
    for (size_t pos = 0; pos < q.size();) {
      const utf8::Step step = utf8::decode_step(q, pos);
      chars.push_back(step);
      starts.push_back(pos);
      pos += step.length;
    }
    auto white = [&](size_t i) { return chars[i].valid && norm::is_white_space(chars[i].scalar); };
    size_t piece_start = 0;
    size_t search_from = 0;
    for (size_t i = 0; i <= chars.size(); ++i) {
      if (i < chars.size()) {
        if (!chars[i].valid) continue;
        const char32_t c = chars[i].scalar;
        const bool separates =
            is_separator_always(c) ||
            (is_dash(c) && i > 0 && i + 1 < chars.size() && white(i - 1) && white(i + 1));
        if (!separates) continue;
      }
      const size_t piece_end = i < chars.size() ? starts[i] : q.size();
      add_piece(q.substr(piece_start, piece_end - piece_start), search_from);
      if (i < chars.size()) piece_start = piece_end + chars[i].length;
    }
  }

  void add_piece(std::string_view raw, size_t& search_from) {
    const std::string piece = norm::normalize(raw);
    if (piece.empty()) return;
    const size_t at = n_.find(piece, search_from);
    if (at == std::string::npos) return;
    search_from = at + piece.size();
    const std::vector<Word> words = words_with_spans(piece, at);
    const size_t piece_end = at + piece.size();
    bool street_open = false;
    bool district_open = false;
    for (size_t i = 0; i < words.size(); ++i) {
      if (!street_open && street_markers_.contains(words[i].text)) {
        street_open = true;
        size_t end = piece_end;
        for (size_t j = i + 1; j < words.size(); ++j) {
          const std::string_view w = words[j].text;
          if (norm::is_ascii_digit(w.front()) || w == "s" || w == "sn") {
            end = words[j].span.start;
            break;
          }
        }
        street_spans_.push_back({words[i].span.start, end});
      }
      if (!district_open && district_markers_.contains(words[i].text)) {
        district_open = true;
        district_spans_.push_back({words[i].span.start, piece_end});
      }
    }
  }

  void find_named_states() {
    for (const Word& w : words_) {
      if (in_street(w.span.start)) continue;
      if (!regions_.empty()) {
        if (std::string up = upper(w.text); regions_.contains(up)) {
          named_states_.insert(std::move(up));
        }
      }
    }
    for (auto it = map_.lower_bound(kStatePrefix);
         it != map_.end() && std::string_view(it->first).starts_with(kStatePrefix); ++it) {
      const std::string_view state_name = std::string_view(it->first).substr(kStatePrefix.size());
      if (keyed(kCityPrefix, state_name)) continue;
      if (contains_word_bounded(n_, state_name)) named_states_.insert(it->second);
    }
  }

  void find_mentions() {
    for (size_t first = 0; first < words_.size(); ++first) {
      const size_t last_end = std::min(words_.size(), first + kMaxCityWords);
      for (size_t last = first; last < last_end; ++last) {
        const Span span{words_[first].span.start, words_[last].span.end};
        const std::string_view phrase(n_.data() + span.start, span.end - span.start);
        std::string name(keyed(kAliasPrefix, phrase).value_or(phrase));
        if (auto states = keyed(kCityPrefix, name)) {
          mentions_.push_back({span, std::move(name), *states, MentionClass::kCity});
        }
      }
    }
  }

  void drop_nested_mentions() {
    std::vector<Mention> kept;
    for (const Mention& m : mentions_) {
      const size_t length = m.span.end - m.span.start;
      const bool nested = std::any_of(mentions_.begin(), mentions_.end(), [&](const Mention& o) {
        return o.span.start <= m.span.start && m.span.end <= o.span.end &&
               o.span.end - o.span.start > length;
      });
      if (!nested) kept.push_back(m);
    }
    mentions_ = std::move(kept);
  }

  // A city inside a district name still counts when a region code (and
  // only numbers) follows it, or when it is the whole district name and in
  // the one named state.
  bool district_city_counts(const Mention& m) const {
    const std::vector<Word> after = words_with_spans(std::string_view(n_).substr(m.span.end));
    if (!after.empty() && is_region(after.front().text) &&
        std::all_of(after.begin() + 1, after.end(),
                    [](const Word& w) { return is_all_ascii_digits(w.text); })) {
      return true;
    }
    const bool whole_district =
        std::any_of(district_spans_.begin(), district_spans_.end(), [&](const Span& s) {
          return s.start == m.span.start && s.end == m.span.end;
        });
    return whole_district && named_states_.size() == 1 &&
           has_word(m.states, *named_states_.begin());
  }

  void classify_mentions() {
    for (Mention& m : mentions_) {
      if (in_street(m.span.start)) {
        m.cls = MentionClass::kInStreet;
      } else if (in_district(m.span.start)) {
        m.cls = district_city_counts(m) ? MentionClass::kCity : MentionClass::kInDistrict;
      }
      if (m.cls == MentionClass::kCity && !named_states_.empty() && !names_a_state_of(m.states)) {
        m.cls = MentionClass::kOutsideNamedStates;
      }
    }
  }

  // A city that is also a state name, written after another named city of
  // that state, qualifies that city; its state joins the named states.
  void qualify_states() {
    std::vector<MentionClass> classes;
    for (const Mention& m : mentions_) classes.push_back(m.cls);
    auto is_city = [&](size_t i) { return classes[i] == MentionClass::kCity; };
    for (size_t i = 0; i < mentions_.size(); ++i) {
      if (!is_city(i)) continue;
      const auto state = keyed(kStatePrefix, mentions_[i].name);
      if (!state) continue;
      const Mention& m = mentions_[i];
      bool repeated_later = false;
      bool qualifies = false;
      for (size_t j = 0; j < mentions_.size(); ++j) {
        if (j == i || !is_city(j)) continue;
        const Mention& o = mentions_[j];
        if (o.name == m.name && o.span.start > m.span.start) repeated_later = true;
        if (o.name != m.name && o.span.end <= m.span.start && has_word(o.states, *state)) {
          qualifies = true;
        }
      }
      if (!repeated_later && qualifies) mentions_[i].cls = MentionClass::kStateQualifier;
    }
    for (const Mention& m : mentions_) {
      if (m.cls != MentionClass::kStateQualifier) continue;
      if (auto state = keyed(kStatePrefix, m.name)) named_states_.insert(std::string(*state));
    }
  }

  void find_named_cities() {
    const bool any_state = !named_states_.empty();
    for (const Mention& m : mentions_) {
      if (m.cls != MentionClass::kCity) continue;
      for (const Word& w : words_with_spans(m.states)) {
        if (any_state && !named_states_.contains(w.text)) continue;
        city_state_pairs_.emplace(m.name, std::string(w.text));
        named_cities_.insert(m.name);
      }
    }
  }

  const rules::TextMap& map_;
  const std::string n_;
  const std::vector<Word> words_;
  const TextSet street_markers_;
  const TextSet district_markers_;
  const TextSet regions_;
  std::string key_;
  std::vector<Span> street_spans_;
  std::vector<Span> district_spans_;
  TextSet named_states_;
  std::vector<Mention> mentions_;
  TextSet named_cities_;
  std::set<std::pair<std::string, std::string>> city_state_pairs_;
};

bool judged(std::string_view precision) {
  return precision == kPrecisionNear || precision == kPrecisionHouse ||
         precision == kPrecisionInterp || precision == kPrecisionStreet;
}

}  // namespace

bool contains_word_bounded(std::string_view text, std::string_view x) {
  std::string padded_text;
  padded_text.reserve(text.size() + 2);
  padded_text.append(" ").append(text).append(" ");
  std::string padded_x;
  padded_x.reserve(x.size() + 2);
  padded_x.append(" ").append(x).append(" ");
  return padded_text.find(padded_x) != std::string::npos;
}

std::vector<ScoredHit> foreign_city_guard(const Index& index, std::string_view q,
                                          std::vector<ScoredHit> rows) {
  if (rows.empty() || !judged(rows.front().first.precision)) return rows;
  const rules::TextMap& map = index.active_rules().foreign_city_guard_settings();
  if (map.empty()) return rows;
  Guard guard(map, q);
  if (guard.withdraws(rows.front().first.commune)) rows.clear();
  return rows;
}

}  // namespace vorlane::query
