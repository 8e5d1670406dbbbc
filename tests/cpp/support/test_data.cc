#include "support/test_data.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace vorlane::testing {

std::string data_path(const std::string& relative) {
  return std::string(VORLANE_TEST_DATA_DIR) + "/" + relative;
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace vorlane::testing
