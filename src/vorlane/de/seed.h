// A seed: a starting text for the German variant generator and the rewrite
// steps that made it, in the order they ran.
#pragma once

#include <string>
#include <vector>

#include "vorlane/de/effect.h"

namespace vorlane::de {

using Effects = std::vector<Effect>;

struct Seed {
  std::string text;
  Effects effects;

  bool operator==(const Seed&) const = default;
};

}  // namespace vorlane::de
