#include "vorlane/base/format_float.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace vorlane {
namespace {

TEST(FormatF64Display, ShortestDigitsWithoutExponent) {
  const struct {
    double value;
    std::string text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {91.0, "91"},
      {90.5, "90.5"},
      {-180.25, "-180.25"},
      {0.1, "0.1"},
      {0.3, "0.3"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e-7, "0.0000001"},
      {-1.5e-5, "-0.000015"},
      {123456789.0, "123456789"},
      {1e21, "1000000000000000000000"},
      {1.25e22, "12500000000000000000000"},
      {std::numeric_limits<double>::denorm_min(), "0." + std::string(323, '0') + "5"},
      {1e300, "1" + std::string(300, '0')},
      {std::numeric_limits<double>::max(), "17976931348623157" + std::string(292, '0')},
      {std::nan(""), "NaN"},
      {-std::nan(""), "NaN"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_f64_display(c.value), c.text) << c.text;
  }
}

}  // namespace
}  // namespace vorlane
