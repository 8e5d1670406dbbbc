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
