// Street-key dictionary reads for the matching core. The dictionary's nodes
// were proved sound at open; its values were not, hence checked_street_id on
// every id that leaves this file.
#include "vorlane/query/street_keys.h"

#include "vorlane/base/utf8.h"
#include "vorlane/query/core_stats.h"
#include "vorlane/query/index.h"

namespace vorlane::query {

std::optional<std::string_view> commune_code(const Index& index, uint64_t commune_id) {
  if (commune_id >= index.commune_count()) return std::nullopt;
  std::string_view code = index.commune(commune_id).code;
  if (const size_t nul = code.find('\0'); nul != std::string_view::npos) code = code.substr(0, nul);
  if (!utf8::is_valid(code)) return std::string_view();
  return code;
}

std::optional<uint32_t> checked_street_id(const Index& index, uint64_t value) {
  if (value >= index.street_count()) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<fst::Map::Position> street_text_end(const Index& index,
                                                  std::string_view street_text) {
  ++core_stats().descents;
  const fst::Map& keys = index.street_key_fst;
  const std::optional<fst::Map::Position> end = keys.descend(street_text, keys.root());
  if (!end) return std::nullopt;
  return keys.descend(std::string_view(&kStreetKeySeparator, 1), *end);
}

std::optional<uint32_t> street_under_code(const Index& index, fst::Map::Position text_end,
                                          std::string_view code) {
  ++core_stats().descents;
  const fst::Map& keys = index.street_key_fst;
  const std::optional<fst::Map::Position> end = keys.descend(code, text_end);
  if (!end) return std::nullopt;
  const std::optional<uint64_t> value = keys.value_at(*end);
  if (!value) return std::nullopt;
  return checked_street_id(index, *value);
}

StreetTextScan::StreetTextScan(const Index& index)
    : index_(index), stream_(index.street_key_fst.range(ByteView(), ByteView())) {}

void StreetTextScan::start(std::string_view street_text) {
  ++core_stats().descents;
  lower_.assign(street_text);
  lower_.push_back(kStreetKeySeparator);
  // Every key of the range begins with lower_: when no key does, one walk
  // down the dictionary settles the scan without a stream seeking past it
  // to the next key.
  const fst::Map& keys = index_.street_key_fst;
  empty_ = !keys.descend(lower_, keys.root());
  if (empty_) return;
  upper_.assign(street_text);
  upper_.push_back(kStreetKeySeparatorEnd);
  stream_.restart(ByteView(lower_), ByteView(upper_));
}

std::optional<uint32_t> StreetTextScan::next() {
  if (empty_) return std::nullopt;
  while (stream_.next()) {
    if (const std::optional<uint32_t> id = checked_street_id(index_, stream_.value())) return id;
  }
  return std::nullopt;
}

}  // namespace vorlane::query
