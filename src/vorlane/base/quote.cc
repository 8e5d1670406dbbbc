// Escaping rules: \0 \t \r \n \\ \" by name; the single quote as is;
// grapheme-extending characters and characters that are not printable
// (general categories Cc, Cf, Cs, Co, Cn, Zl, Zp, and Zs other than the
// space) as \u{hex}; bytes of ill-formed UTF-8 as \xNN. Character properties
// come from ICU, so they follow ICU's Unicode version.
#include "vorlane/base/quote.h"

#include <unicode/uchar.h>

#include <cstdio>

#include "vorlane/base/utf8.h"

namespace vorlane {
namespace {

bool is_printable(char32_t c) {
  if (c == U' ') return true;
  switch (u_charType(static_cast<UChar32>(c))) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_SPACE_SEPARATOR:
      return false;
    default:
      return true;
  }
}

void append_unicode_escape(std::string& out, char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(c));
  out += buf;
}

void append_char(std::string& out, char32_t c, std::string_view raw) {
  switch (c) {
    case U'\0': out += "\\0"; return;
    case U'\t': out += "\\t"; return;
    case U'\r': out += "\\r"; return;
    case U'\n': out += "\\n"; return;
    case U'\\': out += "\\\\"; return;
    case U'"': out += "\\\""; return;
    default: break;
  }
  if (c >= 0x20 && c < 0x7F) {
    out.push_back(static_cast<char>(c));
  } else if (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_GRAPHEME_EXTEND) ||
             !is_printable(c)) {
    append_unicode_escape(out, c);
  } else {
    out.append(raw);
  }
}

std::string quote_bytes(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out.push_back('"');
  size_t pos = 0;
  while (pos < s.size()) {
    const utf8::Step st = utf8::decode_step(s, pos);
    if (st.valid) {
      append_char(out, st.scalar, s.substr(pos, st.length));
    } else {
      for (size_t i = 0; i < st.length; ++i) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(static_cast<uint8_t>(s[pos + i])));
        out += buf;
      }
    }
    pos += st.length;
  }
  out.push_back('"');
  return out;
}

}  // namespace

std::string quote_str(std::string_view text) { return quote_bytes(text); }

std::string quote_path(std::string_view path) { return quote_bytes(path); }

}  // namespace vorlane
