// Key lists under tests/data: one entry a line, hex key, tab, decimal value.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vorlane::testing {

using KeyList = std::vector<std::pair<std::string, uint64_t>>;

// The entries of tests/data/<relative>, in file order; fails the current
// test when the file is unreadable.
KeyList read_key_list(const std::string& relative);

}  // namespace vorlane::testing
