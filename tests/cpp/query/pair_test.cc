// check_pair on metadata the Python layer cannot hand it: an address sheet
// whose layer is not "addresses" never gets past open_address there.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sheet_builder.h"
#include "support/stderr_capture.h"
#include "vorlane/query/index.h"

namespace vorlane::query {
namespace {

using Meta = std::vector<std::pair<std::string, std::string>>;

std::unique_ptr<Index> open_with(Meta meta) {
  testing::SheetBuilder b;
  b.streets = {testing::street("Rue", {testing::house(1)})};
  b.meta = std::move(meta);
  return b.open();
}

TEST(CheckPair, CountriesThenSheetLayerThenPoiLayer) {
  const std::string kWrongPair =
      "POI layer is for country \"de\" but the address sheet is for \"fr\" — wrong file pair";
  const std::string kNotVerified =
      "warning: sheet without country identity (pre-v6 or no --meta) — pair not verified\n";
  const struct {
    const char* what;
    Meta address, poi;
    std::optional<std::string> message;
    bool warns;
  } cases[] = {
      {"matching pair", {{"country", "fr"}, {"layer", "addresses"}},
       {{"country", "fr"}, {"layer", "poi"}}, std::nullopt, false},
      {"sheet layer", {{"country", "fr"}, {"layer", "x"}}, {{"country", "fr"}, {"layer", "poi"}},
       "expected an address sheet, got layer \"x\"", false},
      {"countries before layers", {{"layer", "x"}, {"country", "fr"}},
       {{"country", "de"}, {"layer", "addresses"}}, kWrongPair, false},
      {"sheet layer before poi layer", {{"country", "fr"}, {"layer", "poi"}},
       {{"country", "fr"}, {"layer", "addresses"}},
       "expected an address sheet, got layer \"poi\"", false},
      {"first layer entry counts", {{"layer", "a\"b"}, {"layer", "addresses"}},
       {{"country", "fr"}}, "expected an address sheet, got layer \"a\\\"b\"", true},
      {"second layer entry ignored", {{"layer", "addresses"}, {"layer", "x"}},
       {{"layer", "poi"}}, std::nullopt, true},
      {"poi layer", {{"country", "fr"}}, {{"country", "fr"}, {"layer", "x"}},
       "expected a POI layer as --poi, got layer \"x\"", false},
      {"no metadata", {}, {}, std::nullopt, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto address = open_with(c.address), poi = open_with(c.poi);
    std::optional<std::string> message;
    const std::string err =
        vorlane::testing::captured_stderr([&] { message = check_pair(*address, *poi); });
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(err, c.warns ? kNotVerified : "");
  }
}

}  // namespace
}  // namespace vorlane::query
