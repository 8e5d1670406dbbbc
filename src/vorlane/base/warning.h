// Non-fatal problems are reported as whole "warning: " lines on standard
// error (file descriptor 2), each in a single write so that lines from
// concurrent threads or processes never interleave.
#pragma once

#include <string_view>

namespace vorlane {

// Writes "warning: " + message + "\n" to file descriptor 2.
void write_warning(std::string_view message);

}  // namespace vorlane
