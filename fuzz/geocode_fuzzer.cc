// Fuzz target for the forward road: any query text and k, answered by the
// cascade over the committed sheets (fuzz/sheets, written by
// tests/support/fuzz_sheets.py): the Velmont sheets of the plain road (one
// without metadata, one with a POI layer, one whose rules carry a city
// gazetteer), one sheet per country branch (French, Italian, Spanish, and a
// version-7 German one with the German rules, and its twin whose street-type
// words leave blank-postcode streets apart) and two whose rules switch the
// structured-field stages on.
//
// Every answer must hold at most min(k, 100) hits, none with an internal
// flag; confidences lie in [0, 1] and never rise down the list; scores and
// coordinates are finite, coordinates on the globe; the precision is one of
// the forward classes; and the texts of a hit are UTF-8 whenever the query
// is, since the module hands them to Python as str.
//
// Built with -fsanitize=fuzzer by clang, or as a plain replay program over
// files (fuzz/replay_main.cc) by any compiler.
//
// Input: byte 0 picks the sheet, byte 1 the k, the rest is the query text
// (not necessarily UTF-8: the engine must cope with any bytes). Under
// libFuzzer, VORLANE_FUZZ_SHEET=<file name> keeps byte 0 of every mutated
// input on that sheet, so that one run can dwell on one branch.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "vorlane/base/utf8.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"

#ifndef VORLANE_FUZZ_SHEETS_DIR
#error "VORLANE_FUZZ_SHEETS_DIR must name the directory of the fuzz sheets"
#endif

namespace {

using vorlane::query::Hit;
using vorlane::query::Index;

// Byte 0 modulo the size of this table picks a row; the first three keep
// the places they had before the branch sheets came.
struct SheetName {
  const char* sheet;
  const char* poi;  // or nullptr
};
constexpr std::array<SheetName, 10> kSheets = {{
    {"velmont_bare.idx", nullptr},
    {"velmont.idx", "velmont_poi.idx"},
    {"velmont_guard.idx", nullptr},
    {"country_fr.idx", nullptr},
    {"country_it.idx", nullptr},
    {"country_es.idx", nullptr},
    {"country_de.idx", nullptr},
    {"fields_br.idx", nullptr},
    {"fields_pe.idx", nullptr},
    {"country_de_blank.idx", nullptr},
}};

std::unique_ptr<Index> open_sheet(const char* name) {
  const std::string path = std::string(VORLANE_FUZZ_SHEETS_DIR) + "/" + name;
  auto index = Index::open(path);
  if (!index) {
    std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), index.error().message().c_str());
    std::abort();
  }
  return std::move(*index);
}

struct OpenSheet {
  std::unique_ptr<Index> sheet;
  std::unique_ptr<Index> poi;
};

struct Sheets {
  std::array<OpenSheet, kSheets.size()> open;
  Sheets() {
    for (size_t i = 0; i < kSheets.size(); ++i) {
      open[i].sheet = open_sheet(kSheets[i].sheet);
      if (kSheets[i].poi != nullptr) open[i].poi = open_sheet(kSheets[i].poi);
    }
  }
};

// Small counts mostly; two bytes stand for counts past the cap.
uint64_t count_of(uint8_t byte) {
  if (byte == 0xFF) return (uint64_t{1} << 32) + 5;
  if (byte == 0xFE) return 1000;
  return byte % 16;
}

bool is_forward_precision(std::string_view p) {
  return p == vorlane::query::kPrecisionHouse || p == vorlane::query::kPrecisionInterp ||
         p == vorlane::query::kPrecisionNear || p == vorlane::query::kPrecisionStreet ||
         p == vorlane::query::kPrecisionCity;
}

bool texts_are_utf8(const Hit& hit) {
  namespace utf8 = vorlane::utf8;
  return utf8::is_valid(hit.street) && utf8::is_valid(hit.commune) &&
         utf8::is_valid(hit.postcode) && (!hit.housenumber || utf8::is_valid(*hit.housenumber)) &&
         (!hit.region || utf8::is_valid(*hit.region));
}

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 4096) return 0;
  static const Sheets sheets;
  const OpenSheet& picked = sheets.open[data[0] % kSheets.size()];
  const uint64_t k = count_of(data[1]);
  const std::string_view q(reinterpret_cast<const char*>(data + 2), size - 2);
  const auto hits = vorlane::query::query_cascade(*picked.sheet, picked.poi.get(), q, k);
  check(hits.size() <= std::min<uint64_t>(k, vorlane::query::kMaxAnswers), "more than k hits");
  const bool utf8_query = vorlane::utf8::is_valid(vorlane::query::cut_query_text(q));
  float above = 1.0f;
  for (const Hit& hit : hits) {
    for (std::string_view flag : hit.flags) check(!flag.starts_with("__"), "internal flag");
    check(hit.confidence >= 0.0f && hit.confidence <= above, "confidence out of [0, 1] or rising");
    above = hit.confidence;
    check(std::isfinite(hit.score), "score not finite");
    check(std::isfinite(hit.lat) && std::abs(hit.lat) <= 90.0 && std::isfinite(hit.lon) &&
              std::abs(hit.lon) <= 180.0,
          "coordinates off the globe");
    check(is_forward_precision(hit.precision), "precision not a forward class");
    check(!utf8_query || texts_are_utf8(hit), "texts not UTF-8 for a UTF-8 query");
  }
  return 0;
}

#ifdef VORLANE_FUZZ_LIBFUZZER
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

std::optional<uint8_t> pinned_sheet() {
  const char* name = std::getenv("VORLANE_FUZZ_SHEET");
  if (name == nullptr) return std::nullopt;
  for (size_t i = 0; i < kSheets.size(); ++i) {
    if (std::string_view(kSheets[i].sheet) == name) return static_cast<uint8_t>(i);
  }
  std::fprintf(stderr, "VORLANE_FUZZ_SHEET names no fuzz sheet: %s\n", name);
  std::abort();
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int /*seed*/) {
  static const std::optional<uint8_t> pinned = pinned_sheet();
  size = LLVMFuzzerMutate(data, size, max_size);
  if (pinned && size > 0) data[0] = *pinned;
  return size;
}
#endif
