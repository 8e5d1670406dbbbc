// Redirects file descriptor 2 into a pipe around one call and reads the pipe
// once the original descriptor is back; relies on the call writing less
// than a pipe buffer, so it never blocks.
#include "support/stderr_capture.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace vorlane::testing {

std::string captured_stderr(const std::function<void()>& fn) {
  int fds[2];
  if (::pipe(fds) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {};
  }
  const int saved = ::dup(2);
  ::dup2(fds[1], 2);
  ::close(fds[1]);
  fn();
  ::dup2(saved, 2);
  ::close(saved);
  std::string out;
  char buf[512];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
  ::close(fds[0]);
  return out;
}

}  // namespace vorlane::testing
