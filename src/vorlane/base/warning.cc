#include "vorlane/base/warning.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace vorlane {

void write_warning(std::string_view message) {
  std::string line;
  line.reserve(message.size() + 10);
  line += "warning: ";
  line += message;
  line += '\n';
  // One write for the whole line; only a short write (a full pipe) or a
  // signal makes us continue with the rest.
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(2, line.data() + done, line.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace vorlane
