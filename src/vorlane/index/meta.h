// The metadata section of an index file: an ordered list of UTF-8 key/value
// pairs such as ("country", "de") and ("layer", "addresses").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vorlane/base/byte_view.h"

namespace vorlane::index {

// Upper bound on the entry count a metadata section may declare.
inline constexpr uint32_t kMaxMetaEntries = 1024;

// In file order; keys may repeat (readers take the first entry of a key).
using MetaEntries = std::vector<std::pair<std::string, std::string>>;

// Decodes the bytes of the metadata section. Returns nothing when the
// section is malformed: shorter than its 4-byte count, a count above
// kMaxMetaEntries, an entry running past the end, or a key or value that is
// not strictly valid UTF-8. An absent (empty) section also returns nothing.
// Bytes after the last entry are ignored.
std::optional<MetaEntries> decode_meta(ByteView section);

}  // namespace vorlane::index
