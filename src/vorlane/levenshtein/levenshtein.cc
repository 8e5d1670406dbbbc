// Building the Levenshtein automaton from edit-distance rows.
//
// Every live row (one whose smallest entry is within the distance) becomes
// one state; rows are explored from a last-in-first-out stack, and after
// each row the build gives up once the store holds more than kStateLimit
// states. From each row, the edge for any character absent from the query
// is laid first over the whole Unicode range (never overwriting), then each
// query character's own edge is laid over it (overwriting). Multi-byte
// characters go through intermediate states, one per non-final byte; these
// hang off the one state whose edges were being laid and are reached from no
// other.
//
// Invariant relied on: entry 0 of a row counts the characters read, so no
// row can recur after a different number of characters, and the start row
// is never reached again.
#include "vorlane/levenshtein/levenshtein.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unordered_map>

#include "vorlane/base/utf8.h"
#include "vorlane/levenshtein/utf8_ranges.h"

namespace vorlane::levenshtein {
namespace {

using Row = DynamicLevenshtein::Row;

constexpr char32_t kLastScalar = 0x10FFFF;
constexpr size_t kRowMapInitialRoom = 1024;

Error state_limit_exceeded() {
  return Error(ErrorCode::invalid_argument,
               "Levenshtein automaton exceeds the limit of " + std::to_string(kStateLimit) +
                   " states");
}

struct RowHash {
  size_t operator()(const Row& row) const {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (uint32_t v : row) {
      h ^= v;
      h *= 0x100000001b3ULL;
    }
    return static_cast<size_t>(h ^ (h >> 32));
  }
};

// The store being built, with the map from row to the state made for it.
class DfaBuilder {
 public:
  explicit DfaBuilder(const DynamicLevenshtein& dynamic) : dynamic_(dynamic) {
    rows_.reserve(kRowMapInitialRoom);
  }

  // The state of `row`, made on first sight; nullopt for a row that is not
  // live.
  std::optional<uint32_t> cached(const Row& row);

  // Byte edges from `from` to `to` for every character of low..=high.
  // Without `overwrite` an edge already set is kept.
  void add_utf8_sequences(bool overwrite, uint32_t from, uint32_t to, char32_t low,
                          char32_t high);

  const Dfa& dfa() const { return dfa_; }
  Dfa take_dfa() { return std::move(dfa_); }

 private:
  void set_edges(bool overwrite, uint32_t from, utf8_ranges::ByteRange range, uint32_t to);

  const DynamicLevenshtein& dynamic_;
  Dfa dfa_;
  std::unordered_map<Row, uint32_t, RowHash> rows_;
};

std::optional<uint32_t> DfaBuilder::cached(const Row& row) {
  if (!dynamic_.is_live(row)) return std::nullopt;
  const auto found = rows_.find(row);
  if (found != rows_.end()) return found->second;
  const uint32_t id = dfa_.add_state(dynamic_.is_match(row));
  rows_.emplace(row, id);
  return id;
}

void DfaBuilder::set_edges(bool overwrite, uint32_t from, utf8_ranges::ByteRange range,
                           uint32_t to) {
  DfaState& state = dfa_.state(from);
  for (unsigned b = range.start; b <= range.end; ++b) {
    if (overwrite || state.next[b] == DfaState::kNoEdge) state.next[b] = to;
  }
}

void DfaBuilder::add_utf8_sequences(bool overwrite, uint32_t from, uint32_t to, char32_t low,
                                    char32_t high) {
  utf8_ranges::Utf8Sequences sequences(low, high);
  while (std::optional<utf8_ranges::Utf8Sequence> seq = sequences.next()) {
    uint32_t current = from;
    for (size_t k = 0; k + 1 < seq->size(); ++k) {
      const utf8_ranges::ByteRange range = (*seq)[k];
      const uint32_t inner = dfa_.add_state(false);
      // A character's own path replaces the edge of its leading byte, which
      // other characters with the same leading bytes (the mismatch path, or
      // an earlier query character) also go through. The new intermediate
      // state starts as a copy of the one it replaces, so those characters
      // keep their transitions and only this character's bytes are
      // redirected. The state count is the same either way.
      if (overwrite && range.start == range.end) {
        const uint32_t replaced = dfa_.state(current).next[range.start];
        if (replaced != DfaState::kNoEdge) dfa_.state(inner).next = dfa_.state(replaced).next;
      }
      set_edges(overwrite, current, range, inner);
      current = inner;
    }
    set_edges(overwrite, current, seq->back(), to);
  }
}

// Marks `id` as having been put on the stack; false when it already was.
bool mark_seen(std::vector<bool>& seen, uint32_t id) {
  if (id >= seen.size()) seen.resize(static_cast<size_t>(id) + 1, false);
  if (seen[id]) return false;
  seen[id] = true;
  return true;
}

}  // namespace

uint64_t char_intermediates(char32_t c) { return c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3; }

// Reading the query itself passes through n + 1 live rows (they differ in
// entry 0), each query character adding its intermediate states; from each
// of those rows the mismatch row is live as soon as dist >= 1.
uint64_t minimum_state_count(const std::vector<char32_t>& chars, uint32_t dist) {
  const uint64_t rows = chars.size() + 1;
  uint64_t bound = rows;
  for (char32_t c : chars) bound += char_intermediates(c);
  return dist == 0 ? bound : bound + kMismatchIntermediates * rows;
}

DynamicLevenshtein::DynamicLevenshtein(std::string_view query, uint32_t dist)
    : query_(query), dist_(dist) {
  size_t pos = 0;
  while (pos < query.size()) {
    const utf8::Step step = utf8::decode_step(query, pos);
    chars_.push_back(step.valid ? step.scalar : utf8::kReplacement);
    pos += step.length;
  }
}

Row DynamicLevenshtein::start() const {
  Row row(chars_.size() + 1);
  for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint32_t>(i);
  return row;
}

// Entries other than entry 0 never exceed dist + 1, and entry 0 never
// exceeds the number of characters read, which the state limit keeps small;
// the arithmetic is done in 64 bits so that a distance near 2^32 cannot wrap.
Row DynamicLevenshtein::accept(const Row& row, char32_t c) const {
  const uint64_t cap = uint64_t{dist_} + 1;
  Row next(row.size());
  next[0] = row[0] + 1;
  for (size_t i = 0; i < chars_.size(); ++i) {
    const uint64_t cost = chars_[i] == c ? 0 : 1;
    const uint64_t best = std::min({cap, row[i] + cost, uint64_t{row[i + 1]} + 1,
                                    uint64_t{next[i]} + 1});
    next[i + 1] = static_cast<uint32_t>(best);
  }
  return next;
}

bool DynamicLevenshtein::is_live(const Row& row) const {
  return !row.empty() && *std::min_element(row.begin(), row.end()) <= dist_;
}

uint32_t Dfa::add_state(bool is_match) {
  // The state limit stops a build at a few tens of thousands of states.
  if (count_ >= DfaState::kNoEdge) {
    std::fputs("fatal: state index fits u32\n", stderr);
    std::abort();
  }
  if (count_ % kChunkSize == 0) chunks_.push_back(std::make_unique_for_overwrite<Chunk>());
  const auto id = static_cast<uint32_t>(count_);
  ++count_;
  DfaState& s = state(id);
  s.next.fill(DfaState::kNoEdge);
  s.is_match = is_match ? 1 : 0;
  return id;
}

Result<Levenshtein> Levenshtein::build(std::string_view query, uint32_t dist) {
  DynamicLevenshtein dynamic(query, dist);
  const std::vector<char32_t>& chars = dynamic.chars();
  // Refusal depends only on the size of the complete automaton, so a text
  // that cannot fit is refused before any row of its length is built.
  if (minimum_state_count(chars, dist) > kStateLimit) return state_limit_exceeded();

  DfaBuilder builder(dynamic);
  std::vector<Row> stack;
  stack.push_back(dynamic.start());
  std::vector<bool> seen;
  while (!stack.empty()) {
    const Row row = std::move(stack.back());
    stack.pop_back();
    const uint32_t id = *builder.cached(row);  // rows on the stack are live

    Row mismatch = dynamic.accept(row, DynamicLevenshtein::kOther);
    if (const std::optional<uint32_t> to = builder.cached(mismatch)) {
      builder.add_utf8_sequences(false, id, *to, 0, kLastScalar);
      if (mark_seen(seen, *to)) stack.push_back(std::move(mismatch));
    }
    for (size_t i = 0; i < chars.size(); ++i) {
      if (row[i] > dist) continue;
      Row matched = dynamic.accept(row, chars[i]);
      if (const std::optional<uint32_t> to = builder.cached(matched)) {
        builder.add_utf8_sequences(true, id, *to, chars[i], chars[i]);
        if (mark_seen(seen, *to)) stack.push_back(std::move(matched));
      }
    }
    if (builder.dfa().size() > kStateLimit) return state_limit_exceeded();
  }
  return Levenshtein(std::move(dynamic), builder.take_dfa());
}

bool Levenshtein::matches(std::string_view text) const {
  State s = start();
  for (char c : text) s = accept(s, static_cast<uint8_t>(c));
  return is_match(s);
}

}  // namespace vorlane::levenshtein
