// The lazily evaluated Levenshtein automaton.
//
// Equivalence with the eager automaton, which the tests check against it:
// - a row's entries farther than dist from the diagonal (|j - k| > dist)
//   are dist + 1, because the edit distance between k characters and j
//   characters is at least |j - k| and entries are capped at dist + 1;
//   entry 0 (the characters read) is the one exception, and it is k;
// - the eager edges lead, for every valid UTF-8 encoding of a scalar value
//   (shortest form, no surrogates), to the state of the row the dynamic
//   step gives for that character, through intermediate states that never
//   match; every other byte has no edge. Decoding the bytes here and
//   stepping the row gives the same accepted strings (a byte that leads
//   nowhere may only die a few bytes later, which no match can tell);
// - the state count walks the same rows in the same way as the eager build
//   and adds the same intermediate states per row.
#include "vorlane/levenshtein/row_automaton.h"

#include <algorithm>
#include <optional>
#include <string>

#include "vorlane/base/utf8.h"
#include "vorlane/levenshtein/levenshtein.h"

namespace vorlane::levenshtein {
namespace {

// A character that no query holds (queries hold scalar values or U+FFFD).
constexpr char32_t kAbsent = 0xFFFFFFFF;
constexpr uint8_t kUnused = 0xFF;

Error refused(const std::string& why) { return Error(ErrorCode::invalid_argument, why); }

}  // namespace

// Walks every row reachable from the start row, counting the eager states.
// The rows seen are kept in an open-addressing table (a row per state, so at
// most kStateLimit of them).
class RowWalker {
 public:
  explicit RowWalker(const RowAutomaton& a) : a_(a), slots_(kInitialSlots), used_(kInitialSlots) {}

  // The eager state count, or nothing once it passes kStateLimit.
  std::optional<size_t> count() {
    const RowAutomaton::Row start = a_.start().row;
    insert(start);
    stack_.push_back(start);
    uint64_t states = 1;
    const uint64_t d = a_.dist_;
    const size_t n = a_.chars_.size();
    while (!stack_.empty()) {
      const RowAutomaton::Row row = stack_.back();
      stack_.pop_back();
      if (reach(row, kAbsent, states)) states += kMismatchIntermediates;
      const size_t first = row.k > d ? row.k - d : 0;
      const size_t last = std::min<uint64_t>(n, uint64_t{row.k} + d + 1);
      for (size_t i = first; i < last; ++i) {
        if (a_.entry(row, i) > d) continue;
        if (reach(row, a_.chars_[i], states)) states += char_intermediates(a_.chars_[i]);
      }
      if (states > kStateLimit) return std::nullopt;
    }
    return static_cast<size_t>(states);
  }

 private:
  static constexpr size_t kInitialSlots = 1024;  // a power of two

  static size_t hash(const RowAutomaton::Row& r) {
    uint64_t h = 0xcbf29ce484222325ULL ^ r.k;
    for (uint8_t v : r.band) h = (h ^ v) * 0x100000001b3ULL;
    return static_cast<size_t>(h ^ (h >> 29));
  }

  // Whether the row was not in the table before.
  bool insert(const RowAutomaton::Row& row) {
    if (2 * (size_ + 1) > slots_.size()) grow();
    size_t i = hash(row) & (slots_.size() - 1);
    while (used_[i]) {
      if (slots_[i] == row) return false;
      i = (i + 1) & (slots_.size() - 1);
    }
    slots_[i] = row;
    used_[i] = 1;
    ++size_;
    return true;
  }

  void grow() {
    std::vector<RowAutomaton::Row> rows;
    rows.reserve(size_);
    for (size_t i = 0; i < slots_.size(); ++i) {
      if (used_[i]) rows.push_back(slots_[i]);
    }
    slots_.assign(2 * slots_.size(), RowAutomaton::Row{});
    used_.assign(slots_.size(), 0);
    size_ = 0;
    for (const RowAutomaton::Row& r : rows) insert(r);
  }

  // Whether the row after `c` is live; a live row seen for the first time
  // is a new state to walk from.
  bool reach(const RowAutomaton::Row& row, char32_t c, uint64_t& states) {
    bool live = false;
    const RowAutomaton::Row next = a_.step(row, c, live);
    if (!live) return false;
    if (insert(next)) {
      ++states;
      stack_.push_back(next);
    }
    return true;
  }

  const RowAutomaton& a_;
  std::vector<RowAutomaton::Row> slots_;
  std::vector<uint8_t> used_;
  size_t size_ = 0;
  std::vector<RowAutomaton::Row> stack_;
};

Result<RowAutomaton> RowAutomaton::unchecked(std::string_view query, uint32_t dist) {
  if (dist > kMaxDist) return refused("row automata support distances up to 7");
  const std::u32string chars = utf8::decode_scalars(query);
  return RowAutomaton(std::vector<char32_t>(chars.begin(), chars.end()), dist);
}

Result<RowAutomaton> RowAutomaton::build(std::string_view query, uint32_t dist) {
  VORLANE_ASSIGN_OR_RETURN(RowAutomaton a, unchecked(query, dist));
  const std::string over_limit = "Levenshtein automaton exceeds the limit of " +
                                 std::to_string(kStateLimit) + " states";
  if (a.surely_refused()) return refused(over_limit);
  const std::optional<size_t> states = RowWalker(a).count();
  if (!states) return refused(over_limit);
  a.state_count_ = *states;
  return a;
}

bool RowAutomaton::surely_refused() const {
  return minimum_state_count(chars_, dist_) > kStateLimit;
}

uint32_t RowAutomaton::entry(const Row& row, size_t j) const {
  if (j == 0 && row.k > dist_) return row.k;
  const int64_t t = static_cast<int64_t>(j) - row.k + dist_;
  if (t < 0 || t > 2 * static_cast<int64_t>(dist_)) return dist_ + 1;
  return row.band[static_cast<size_t>(t)];
}

RowAutomaton::Row RowAutomaton::step(const Row& row, char32_t c, bool& live) const {
  const uint32_t cap = dist_ + 1;
  Row next;
  next.k = row.k + 1;
  next.band.fill(kUnused);
  live = false;
  const size_t n = chars_.size();
  const size_t first = next.k > dist_ ? next.k - dist_ : 0;
  const uint64_t last = std::min<uint64_t>(n, uint64_t{next.k} + dist_);
  // The new entry before `first`, outside the band: k + 1 for entry 0.
  uint32_t before = first == 1 ? next.k : cap;
  for (size_t j = first; j <= last; ++j) {
    uint32_t v;
    if (j == 0) {
      v = next.k;
    } else {
      const uint32_t diagonal = entry(row, j - 1) + (chars_[j - 1] == c ? 0 : 1);
      v = std::min({cap, diagonal, entry(row, j) + 1, before + 1});
    }
    live |= v <= dist_;
    next.band[j + dist_ - next.k] = static_cast<uint8_t>(std::min(v, cap));
    before = v;
  }
  return next;
}

RowAutomaton::State RowAutomaton::start() const {
  State s;
  s.row.band.fill(kUnused);
  for (size_t j = 0; j <= std::min<size_t>(chars_.size(), dist_); ++j) {
    s.row.band[j + dist_] = static_cast<uint8_t>(j);
  }
  return s;
}

bool RowAutomaton::is_match(const State& s) const {
  return !s.dead && s.pending == 0 && entry(s.row, chars_.size()) <= dist_;
}

RowAutomaton::State RowAutomaton::accept(const State& s, uint8_t byte) const {
  State next = s;
  if (s.dead) return next;
  if (s.pending == 0) {
    next.low = 0x80;
    next.high = 0xBF;
    if (byte < 0x80) {
      next.partial = byte;
    } else if (byte >= 0xC2 && byte <= 0xDF) {
      next.partial = byte & 0x1F;
      next.pending = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      next.partial = byte & 0x0F;
      next.pending = 2;
      if (byte == 0xE0) next.low = 0xA0;   // no overlong forms
      if (byte == 0xED) next.high = 0x9F;  // no surrogates
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      next.partial = byte & 0x07;
      next.pending = 3;
      if (byte == 0xF0) next.low = 0x90;
      if (byte == 0xF4) next.high = 0x8F;  // nothing above U+10FFFF
    } else {
      next.dead = true;
      return next;
    }
  } else {
    if (byte < s.low || byte > s.high) {
      next.dead = true;
      return next;
    }
    next.partial = (s.partial << 6) | (byte & 0x3F);
    next.pending = s.pending - 1;
    next.low = 0x80;
    next.high = 0xBF;
  }
  if (next.pending > 0) return next;
  bool live = false;
  next.row = step(s.row, next.partial, live);
  next.dead = !live;
  return next;
}

bool RowAutomaton::matches(std::string_view text) const {
  State s = start();
  for (char c : text) s = accept(s, static_cast<uint8_t>(c));
  return is_match(s);
}

}  // namespace vorlane::levenshtein
