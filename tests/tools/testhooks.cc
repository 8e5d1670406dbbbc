// Test-only C entry points over the norm module, loaded by the Python test
// sheet writer through ctypes so that its dictionary keys come from the
// engine's own canonical form and phonetic key, never from a second
// implementation.
//
// Each function takes a UTF-8 text (`in`, `len` bytes), writes its result to
// `out` when the result fits in `cap` bytes (nothing is written otherwise,
// and no terminating NUL ever), and returns the result's length in bytes, so
// a caller whose buffer was too small retries with the returned size.
// SIZE_MAX means the engine ran out of memory.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "vorlane/norm/normalize.h"
#include "vorlane/norm/phonetic.h"

namespace {

template <typename Fn>
size_t run_text_function(Fn fn, const char* in, size_t len, char* out, size_t cap) {
  try {
    const std::string result = fn(std::string_view(len == 0 ? "" : in, len));
    if (result.size() <= cap && !result.empty()) std::memcpy(out, result.data(), result.size());
    return result.size();
  } catch (const std::bad_alloc&) {
    return SIZE_MAX;
  }
}

}  // namespace

// The library is built with hidden visibility; only these are exported.
#define VORLANE_TEST_EXPORT __attribute__((visibility("default")))

extern "C" {

VORLANE_TEST_EXPORT size_t vorlane_test_normalize(const char* in, size_t len, char* out, size_t cap) {
  return run_text_function(vorlane::norm::normalize, in, len, out, cap);
}

VORLANE_TEST_EXPORT size_t vorlane_test_phonetic_key(const char* in, size_t len, char* out, size_t cap) {
  return run_text_function(vorlane::norm::phonetic_key, in, len, out, cap);
}

}  // extern "C"
