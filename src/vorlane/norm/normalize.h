// The canonical text form: the one form in which the engine compares texts,
// and the form of every key of a sheet's dictionaries. Two texts match
// exactly when their canonical forms are equal byte for byte, so any change
// here -- including a change of the Unicode data behind it -- is a change of
// the key format.
#pragma once

#include <string>
#include <string_view>

namespace vorlane::norm {

// Lower case, marks removed after canonical decomposition, separator runs
// turned into one space, a hyphenated digit range cut to its first number,
// a letter glued to a long digit run split off, no space at either end.
// Total and pure: every input gives a result; ill-formed UTF-8 is read as
// U+FFFD per maximal ill-formed subpart, and the result is always valid UTF-8.
std::string normalize(std::string_view text);

namespace detail {

// The general path over Unicode data, whatever the input. normalize() takes
// a byte-table shortcut for pure-ASCII input; tests hold the two equal.
std::string normalize_unicode(std::string_view text);

// The shortcut itself. Requires: every byte of `text` is below 0x80.
std::string normalize_ascii(std::string_view text);

}  // namespace detail
}  // namespace vorlane::norm
