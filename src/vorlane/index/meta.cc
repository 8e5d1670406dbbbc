// Decodes the metadata section: a u32 entry count, then per entry a u16
// key length, the key, a u32 value length and the value, all strict UTF-8.
// Every read goes through a bounds-checked cursor, and the list is never
// sized by the count alone: the count is a claim from the file, so at most
// as many entries are reserved as the remaining bytes could hold.
#include "vorlane/index/meta.h"

#include <algorithm>

#include "vorlane/base/utf8.h"

namespace vorlane::index {
namespace {

// The smallest entry: empty key and value, just the two length fields.
constexpr size_t kMinEntrySize = 2 + 4;

std::optional<std::string_view> read_text(Cursor& cursor, uint64_t length) {
  auto text = cursor.str(length);
  if (!text || !utf8::is_valid(*text)) return std::nullopt;
  return text;
}

}  // namespace

std::optional<MetaEntries> decode_meta(ByteView section) {
  Cursor cursor(section);
  const auto count = cursor.u32le();
  if (!count || *count > kMaxMetaEntries) return std::nullopt;

  MetaEntries entries;
  entries.reserve(std::min<size_t>(*count, cursor.remaining() / kMinEntrySize));
  for (uint32_t i = 0; i < *count; ++i) {
    const auto key_length = cursor.u16le();
    if (!key_length) return std::nullopt;
    const auto key = read_text(cursor, *key_length);
    if (!key) return std::nullopt;
    const auto value_length = cursor.u32le();
    if (!value_length) return std::nullopt;
    const auto value = read_text(cursor, *value_length);
    if (!value) return std::nullopt;
    entries.emplace_back(std::string(*key), std::string(*value));
  }
  return entries;
}

}  // namespace vorlane::index
