// Helpers shared by the C++ tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorlane::testing {

// Absolute path of a file under tests/data.
std::string data_path(const std::string& relative);

// The whole content of a file; fails the current test when unreadable.
std::vector<uint8_t> read_file(const std::string& path);

}  // namespace vorlane::testing
