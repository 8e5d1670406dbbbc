// Fuzz target for the sheet opener: any bytes either fail to open with an
// error, or open into an index whose every reachable part reads safely.
// Built with -fsanitize=fuzzer by clang, or as a plain replay program over
// files (fuzz/replay_main.cc) by any compiler.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vorlane/base/mapped_file.h"
#include "vorlane/query/index.h"

namespace {

// Reads what a query may read: records, names, house lists, dictionaries.
void touch(const vorlane::query::Index& index) {
  for (size_t id = 0; id < index.street_count() && id < 64; ++id) {
    const auto street = index.street(id);
    if (!street) continue;
    (void)index.name(street->name_offset);
    (void)index.commune_name(street->commune);
    (void)index.find_house(static_cast<uint32_t>(id), *street, 1, 0, false, 0);
  }
  auto words = index.words_fst.stream();
  for (int i = 0; i < 64 && words.next(); ++i) (void)index.words_fst.get(words.key());
  (void)index.communes_by_name("paris");
  (void)index.resolve_place("roma");
  if (index.default_centre) {
    (void)index.try_reverse(index.default_centre->lat, index.default_centre->lon, 5);
  }
  (void)index.try_reverse(0.0, 0.0, 3);
  (void)vorlane::query::de_blank_postcode_anchor_commune_id(
      index, {"hauptstrasse", "berlin", "", "10115", 1, 10115});
  (void)index.de_blank_postcode_display_streets.get("hauptstrasse", "berlin");
  vorlane::query::ExactHouseCache cache;
  const auto pairs = vorlane::query::de_roster_range(index.de_postcode_streets, 10115);
  for (size_t i = 0; i < pairs.size() && i < 64; ++i) {
    const auto street = index.street(pairs[i].second);
    if (!street) continue;
    (void)vorlane::query::exact_house_postcode_candidate_cached(index, cache, pairs[i].second,
                                                                *street, 1, 0, pairs[i].first);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (512u << 10)) return 0;
  auto file = vorlane::MappedFile::from_bytes(
      std::string_view(reinterpret_cast<const char*>(data), size));
  auto index = vorlane::query::Index::open_mapped("fuzz.idx", file);
  if (index) touch(**index);
  return 0;
}
