// Street-type spellings from the street-type words of the rules in force,
// in their list order (the loader sorts a sheet's entries bytewise). All
// comparisons are exact bytes; "str", "straße" and "strasse" are the one
// family of interchangeable words.
#include "vorlane/de/street_variants.h"

#include <algorithm>
#include <array>
#include <functional>
#include <unordered_set>

#include "vorlane/base/strings.h"
#include "vorlane/base/temporary_string.h"
#include "vorlane/base/utf8.h"
#include "vorlane/de/text.h"
#include "vorlane/rules/rules.h"

namespace vorlane::de {
namespace {

constexpr std::array<std::string_view, 3> kStreetFamily = {"str", "stra\u00DFe", "strasse"};
constexpr size_t kMinStemChars = 2;

bool in_street_family(std::string_view word) {
  return std::find(kStreetFamily.begin(), kStreetFamily.end(), word) != kStreetFamily.end();
}

bool is_listed(const rules::WordList& types, std::string_view word) {
  return std::find(types.begin(), types.end(), word) != types.end();
}

// A street's words, and whether the street is exactly those words joined by
// single spaces (as the matching core's street texts are): a variant is then
// spliced from two slices of the street around its replacement, not joined
// again word by word.
struct StreetWords {
  // Only words up to the first one starting at or past byte `differ_before`
  // are read when the street is plainly single-spaced.
  StreetWords(std::string_view text, size_t differ_before);
  template <TemporaryString S>
  StreetWords(S&&, size_t) = delete;

  // The words joined with one space, words [first, last) replaced by the
  // concatenation a + b + c.
  std::string replacing(size_t first, size_t last, std::string_view a, std::string_view b,
                        std::string_view c) const;
  // Whether a variant replacing words from `first` on may differ from the
  // street before byte `limit`; a variant of an unevenly spaced street
  // always may, being joined again from the start.
  bool differs_before(size_t first, size_t limit) const {
    return !single_spaced || static_cast<size_t>(words[first].data() - street.data()) < limit;
  }

  std::string_view street;
  std::vector<std::string_view> words;
  bool single_spaced = false;
};

StreetWords::StreetWords(std::string_view text, size_t differ_before) : street(text) {
  // Nothing but single spaces between its words, none at either end.
  if (is_single_spaced(text) && only_spaces_can_separate(text)) {
    single_spaced = true;
    for (size_t start = 0; start < text.size();) {
      const size_t end = std::min(text.find(' ', start), text.size());
      words.push_back(text.substr(start, end - start));
      if (start >= differ_before) break;
      start = end + 1;
    }
    return;
  }
  words = split_white_space(text);
  if (words.empty() || words.front().data() != street.data() ||
      words.back().data() + words.back().size() != street.data() + street.size()) {
    return;
  }
  for (size_t i = 1; i < words.size(); ++i) {
    const char* gap = words[i - 1].data() + words[i - 1].size();
    if (words[i].data() != gap + 1 || *gap != ' ') return;
  }
  single_spaced = true;
}

std::string StreetWords::replacing(size_t first, size_t last, std::string_view a,
                                   std::string_view b, std::string_view c) const {
  const size_t replacement = a.size() + b.size() + c.size();
  std::string out;
  if (single_spaced && replacement > 0) {
    const size_t head = static_cast<size_t>(words[first].data() - street.data());
    const size_t tail =
        static_cast<size_t>(words[last - 1].data() + words[last - 1].size() - street.data());
    out.reserve(head + replacement + street.size() - tail);
    out.append(street.substr(0, head)).append(a).append(b).append(c).append(street.substr(tail));
    return out;
  }
  out.reserve(street.size() + replacement + 1);
  for (size_t i = 0; i < words.size(); ++i) {
    if (i >= first && i < last) {
      if (i != first) continue;
      if (!out.empty()) out += ' ';
      out.append(a).append(b).append(c);
      continue;
    }
    if (!out.empty()) out += ' ';
    out += words[i];
  }
  return out;
}

// The variants found so far, in order. A short list is searched in place;
// from kIndexedFrom entries on a set of indexes into the list (indexes stay
// valid while the vector grows) answers membership.
class VariantList {
 public:
  explicit VariantList(std::string_view street)
      : street_(street), seen_(0, IndexHash{&out_}, IndexEqual{&out_}) {}
  // The set points into this object.
  VariantList(const VariantList&) = delete;
  VariantList& operator=(const VariantList&) = delete;

  void emit(std::string candidate) {
    if (candidate == street_ || contains(candidate)) return;
    out_.push_back(std::move(candidate));
    if (out_.size() == kIndexedFrom) {
      for (size_t i = 0; i < out_.size(); ++i) seen_.insert(i);
    } else if (out_.size() > kIndexedFrom) {
      seen_.insert(out_.size() - 1);
    }
  }

  std::vector<std::string> release() { return std::move(out_); }

 private:
  static constexpr size_t kIndexedFrom = 32;

  bool contains(std::string_view candidate) const {
    if (out_.size() >= kIndexedFrom) return seen_.find(candidate) != seen_.end();
    return std::find(out_.begin(), out_.end(), candidate) != out_.end();
  }

  struct IndexHash {
    using is_transparent = void;
    const std::vector<std::string>* texts;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    size_t operator()(size_t i) const { return (*this)(std::string_view((*texts)[i])); }
  };
  struct IndexEqual {
    using is_transparent = void;
    const std::vector<std::string>* texts;
    std::string_view text(std::string_view s) const { return s; }
    std::string_view text(size_t i) const { return (*texts)[i]; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return text(a) == text(b);
    }
  };

  std::string_view street_;
  std::vector<std::string> out_;
  std::unordered_set<size_t, IndexHash, IndexEqual> seen_;
};

// Glue pass: a listed type word after another word is glued onto it, in
// each spelling of its family.
void glue_type_word(const rules::WordList& types, const StreetWords& street, size_t i,
                    size_t limit, VariantList& out) {
  const std::vector<std::string_view>& words = street.words;
  if (i == 0 || !street.differs_before(i - 1, limit) || !is_listed(types, words[i])) return;
  for (const std::string_view member : street_type_family(words[i])) {
    out.emit(street.replacing(i - 1, i + 1, words[i - 1], "", member));
  }
}

// Suffix pass: a word ending in a listed type word after a stem of at least
// two characters, glued and split, in each spelling of its family.
void split_type_suffix(const rules::WordList& types, const StreetWords& street, size_t i,
                       size_t limit, VariantList& out) {
  if (!street.differs_before(i, limit)) return;
  const std::string_view word = street.words[i];
  for (const std::string& type : types) {
    if (!word.ends_with(type)) continue;
    const std::string_view stem = word.substr(0, word.size() - type.size());
    if (utf8::char_count(stem) < kMinStemChars) continue;
    for (const std::string_view member : street_type_family(type)) {
      out.emit(street.replacing(i, i + 1, stem, "", member));
      out.emit(street.replacing(i, i + 1, stem, " ", member));
    }
  }
}

}  // namespace

std::vector<std::string_view> street_type_family(std::string_view word) {
  std::vector<std::string_view> family;
  const bool street_word = in_street_family(word);
  for (const std::string& entry : rules::current().de_street_types()) {
    if (street_word ? in_street_family(entry) : entry == word) family.push_back(entry);
  }
  return family;
}

std::vector<std::string> street_variants(std::string_view street, size_t differ_before) {
  const rules::WordList& types = rules::current().de_street_types();
  // Both passes need a word that is or ends in a type word.
  const bool holds_type = std::any_of(types.begin(), types.end(), [&](const std::string& type) {
    return street.find(type) != std::string_view::npos;
  });
  if (!holds_type) return {};
  const StreetWords words(street, differ_before);
  VariantList out(street);
  for (size_t i = 0; i < words.words.size(); ++i) {
    // Words stand in byte order: no later replacement starts before the
    // limit once the word before this one does not.
    if (i > 0 && !words.differs_before(i - 1, differ_before)) break;
    glue_type_word(types, words, i, differ_before, out);
    split_type_suffix(types, words, i, differ_before, out);
  }
  return out.release();
}

}  // namespace vorlane::de
