// Quoting of texts and paths inside messages: double-quoted, with backslash
// escapes for quotes, backslashes, control and invisible characters, and
// (paths only) \xNN for every byte that is not part of valid UTF-8. Messages
// that name a file must stay readable and unambiguous whatever the name.
#pragma once

#include <string>
#include <string_view>

namespace vorlane {

// A UTF-8 text, quoted. Ill-formed bytes (which a text should not hold) are
// shown as for paths, so nothing is ever lost from a message.
std::string quote_str(std::string_view text);

// A file path (arbitrary bytes), quoted.
std::string quote_path(std::string_view path);

}  // namespace vorlane
