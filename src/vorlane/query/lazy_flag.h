// A boolean of a shared, otherwise read-only object, computed on first use:
// concurrent first callers wait for the one computation, and everyone reads
// the same value afterwards.
#pragma once

#include <mutex>

namespace vorlane::query {

class LazyFlag {
 public:
  template <typename Compute>
  bool get(Compute&& compute) const {
    std::call_once(once_, [&] { value_ = compute(); });
    return value_;
  }

 private:
  mutable std::once_flag once_;
  mutable bool value_ = false;
};

}  // namespace vorlane::query
