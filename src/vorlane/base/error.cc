#include "vorlane/base/error.h"

namespace vorlane {

std::string Error::full_chain() const {
  std::string out;
  for (auto it = layers_.rbegin(); it != layers_.rend(); ++it) {
    if (!out.empty()) out += ": ";
    out += *it;
  }
  return out;
}

}  // namespace vorlane
