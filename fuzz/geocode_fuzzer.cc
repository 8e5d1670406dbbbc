// Fuzz target for the forward road: any query text and k, answered by the
// cascade over the committed Velmont sheets (fuzz/sheets: one without
// metadata, one with a POI layer, one whose rules carry a city gazetteer).
// Every answer must hold at most min(k, 100) hits and no internal flag.
// Built with -fsanitize=fuzzer by clang, or as a plain replay program over
// files (fuzz/replay_main.cc) by any compiler.
//
// Input: byte 0 picks the sheet, byte 1 the k, the rest is the query text
// (not necessarily UTF-8: the engine must cope with any bytes).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"

#ifndef VORLANE_FUZZ_SHEETS_DIR
#error "VORLANE_FUZZ_SHEETS_DIR must name the directory of the fuzz sheets"
#endif

namespace {

using vorlane::query::Index;

std::unique_ptr<Index> open_sheet(const char* name) {
  const std::string path = std::string(VORLANE_FUZZ_SHEETS_DIR) + "/" + name;
  auto index = Index::open(path);
  if (!index) {
    std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), index.error().message().c_str());
    std::abort();
  }
  return std::move(*index);
}

struct Sheets {
  std::unique_ptr<Index> bare = open_sheet("velmont_bare.idx");
  std::unique_ptr<Index> sheet = open_sheet("velmont.idx");
  std::unique_ptr<Index> poi = open_sheet("velmont_poi.idx");
  std::unique_ptr<Index> guard = open_sheet("velmont_guard.idx");
};

// Small counts mostly; two bytes stand for counts past the cap.
uint64_t count_of(uint8_t byte) {
  if (byte == 0xFF) return (uint64_t{1} << 32) + 5;
  if (byte == 0xFE) return 1000;
  return byte % 16;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 4096) return 0;
  static const Sheets sheets;
  const Index* poi = nullptr;
  const Index* sheet = sheets.bare.get();
  if (data[0] % 3 == 1) {
    sheet = sheets.sheet.get();
    poi = sheets.poi.get();
  } else if (data[0] % 3 == 2) {
    sheet = sheets.guard.get();
  }
  const uint64_t k = count_of(data[1]);
  const std::string_view q(reinterpret_cast<const char*>(data + 2), size - 2);
  const auto hits = vorlane::query::query_cascade(*sheet, poi, q, k);
  if (hits.size() > std::min<uint64_t>(k, vorlane::query::kMaxAnswers)) std::abort();
  for (const auto& hit : hits) {
    for (std::string_view flag : hit.flags) {
      if (flag.starts_with("__")) std::abort();
    }
  }
  return 0;
}
