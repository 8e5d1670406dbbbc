// Reads the hex-keyed lists that accompany the golden maps; lines without a
// tab are skipped, so a trailing newline or a blank line is harmless.
#include "support/key_list.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_data.h"

namespace vorlane::testing {

KeyList read_key_list(const std::string& relative) {
  std::ifstream in(data_path(relative));
  EXPECT_TRUE(in.good()) << "cannot read " << relative;
  KeyList out;
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string key;
    for (size_t i = 0; i + 1 < tab; i += 2) {
      key += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    }
    out.emplace_back(std::move(key), std::stoull(line.substr(tab + 1)));
  }
  return out;
}

}  // namespace vorlane::testing
