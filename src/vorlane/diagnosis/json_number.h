// How trace records and serialised hits write a floating-point number.
#pragma once

#include <cmath>

#include <nlohmann/json.hpp>

namespace vorlane::diagnosis {

// The value widened to double; null when it is not finite, which JSON cannot
// hold.
inline nlohmann::json number_or_null(double v) {
  if (!std::isfinite(v)) return nullptr;
  return v;
}

}  // namespace vorlane::diagnosis
