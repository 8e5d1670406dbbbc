// Capturing what code under test writes to file descriptor 2 (warnings are
// written there directly, not through std::cerr).
#pragma once

#include <functional>
#include <string>

namespace vorlane::testing {

// Everything `fn` writes to file descriptor 2 while it runs. The output must
// fit in a pipe buffer (64 KiB on Linux).
std::string captured_stderr(const std::function<void()>& fn);

}  // namespace vorlane::testing
