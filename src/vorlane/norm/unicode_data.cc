// The context-free full lower-case mapping equals ICU's simple mapping
// (u_tolower) for every code point but U+0130; the norm tests check that
// claim against ICU's full case mapping for all code points.
#include "vorlane/norm/unicode_data.h"

#include <unicode/bytestream.h>
#include <unicode/uchar.h>

#include <cstdio>
#include <cstdint>
#include <cstdlib>

#include "vorlane/base/utf8.h"

namespace vorlane::norm {
namespace {

constexpr char32_t kCapitalIWithDot = 0x0130;
constexpr char32_t kCombiningDotAbove = 0x0307;

using Getter = const icu::Normalizer2* (*)(UErrorCode&);

const icu::Normalizer2& instance_or_abort(Getter get, const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = get(status);
  if (U_FAILURE(status) || n == nullptr) {
    // Going on would silently miss every accented name.
    std::fprintf(stderr, "vorlane: ICU %s data unavailable: %s\n", name, u_errorName(status));
    std::abort();
  }
  return *n;
}

}  // namespace

const icu::Normalizer2& nfd() {
  static const icu::Normalizer2& instance =
      instance_or_abort(&icu::Normalizer2::getNFDInstance, "NFD");
  return instance;
}

const icu::Normalizer2& nfc() {
  static const icu::Normalizer2& instance =
      instance_or_abort(&icu::Normalizer2::getNFCInstance, "NFC");
  return instance;
}

std::string compose(std::string_view text) {
  std::string lossy;
  if (!utf8::is_valid(text)) lossy = utf8::decode_lossy(text);
  const std::string_view source = lossy.empty() ? text : lossy;
  std::string composed;
  UErrorCode status = U_ZERO_ERROR;
  if (source.size() <= static_cast<size_t>(INT32_MAX)) {
    const auto length = static_cast<int32_t>(source.size());
    icu::StringByteSink<std::string> sink(&composed, length);
    nfc().normalizeUTF8(0, icu::StringPiece(source.data(), length), sink, nullptr, status);
  } else {
    status = U_INDEX_OUTOFBOUNDS_ERROR;
  }
  // ICU fails only when out of memory or past its 2 GiB limit; the
  // uncomposed text still holds every character.
  if (U_FAILURE(status)) return std::string(source);
  return composed;
}

FullLowercase full_lowercase(char32_t c) {
  if (c == kCapitalIWithDot) return {{U'i', kCombiningDotAbove}, 2};
  return {{static_cast<char32_t>(u_tolower(static_cast<UChar32>(c))), 0}, 1};
}

}  // namespace vorlane::norm
