// Test tool: opens one fst map file with vorlane::fst::Map and answers a
// file of queries, so that scripts can compare the reader with other
// implementations of the format.
//
// Usage: fst_probe MAP_FILE QUERY_FILE
//
// Byte strings are written "x" followed by lower-case hex ("x" alone is the
// empty string); an open range bound is "*". Query lines:
//   get xKEY              the key's entry, if present
//   all                   every entry in order
//   range GE LT           entries with GE <= key < LT
//   prefix xP [GE LT]     entries whose key starts with P (within [GE, LT))
// Output: first "size\tN" (the map's key count), then for each query its
// entries as "HEX\tVALUE" lines followed by a line "end". A map that fails
// to open gives one line "error\tMESSAGE" and exit status 2; a malformed
// query line ends the run with status 1.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "vorlane/fst/map.h"

namespace {

using vorlane::ByteView;
using vorlane::fst::Map;

std::string to_hex(ByteView bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "xHEX" -> bytes; nullopt when malformed.
std::optional<std::string> parse_bytes(const std::string& token) {
  if (token.empty() || token[0] != 'x' || token.size() % 2 != 1) return std::nullopt;
  std::string out;
  for (size_t i = 1; i < token.size(); i += 2) {
    const int hi = hex_digit(token[i]);
    const int lo = hex_digit(token[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

// A range bound: "*" (open) or "xHEX". The outer optional is the parse result.
std::optional<std::optional<std::string>> parse_bound(const std::string& token) {
  if (token == "*") return std::optional<std::string>();
  std::optional<std::string> b = parse_bytes(token);
  if (!b) return std::nullopt;
  return b;
}

std::optional<ByteView> as_view(const std::optional<std::string>& s) {
  if (!s) return std::nullopt;
  return ByteView(std::string_view(*s));
}

template <typename S>
void print_stream(S& stream) {
  while (stream.next()) std::cout << to_hex(stream.key()) << '\t' << stream.value() << '\n';
}

bool answer(const Map& map, const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words{std::istream_iterator<std::string>(in),
                                 std::istream_iterator<std::string>()};
  if (words.empty()) return true;
  const std::string& op = words[0];
  if (op == "get" && words.size() == 2) {
    const std::optional<std::string> key = parse_bytes(words[1]);
    if (!key) return false;
    if (std::optional<uint64_t> v = map.get(*key)) {
      std::cout << to_hex(ByteView(std::string_view(*key))) << '\t' << *v << '\n';
    }
  } else if (op == "all" && words.size() == 1) {
    auto s = map.stream();
    print_stream(s);
  } else if (op == "range" && words.size() == 3) {
    const auto ge = parse_bound(words[1]);
    const auto lt = parse_bound(words[2]);
    if (!ge || !lt) return false;
    auto s = map.range(as_view(*ge), as_view(*lt));
    print_stream(s);
  } else if (op == "prefix" && (words.size() == 2 || words.size() == 4)) {
    const std::optional<std::string> prefix = parse_bytes(words[1]);
    if (!prefix) return false;
    std::optional<std::optional<std::string>> ge{std::optional<std::string>()}, lt = ge;
    if (words.size() == 4) {
      ge = parse_bound(words[2]);
      lt = parse_bound(words[3]);
      if (!ge || !lt) return false;
    }
    auto s = map.search(vorlane::fst::StartsWith(vorlane::fst::Str(*prefix)), as_view(*ge),
                        as_view(*lt));
    print_stream(s);
  } else {
    return false;
  }
  std::cout << "end\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: fst_probe MAP_FILE QUERY_FILE\n";
    return 1;
  }
  std::ifstream map_file(argv[1], std::ios::binary);
  std::ifstream queries(argv[2]);
  if (!map_file || !queries) {
    std::cerr << "fst_probe: cannot read " << (map_file ? argv[2] : argv[1]) << '\n';
    return 1;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(map_file),
                                   std::istreambuf_iterator<char>()};
  vorlane::Result<Map> map = Map::open(ByteView(bytes.data(), bytes.size()));
  if (!map) {
    std::cout << "error\t" << map.error().message() << '\n';
    return 2;
  }
  std::cout << "size\t" << map->size() << '\n';
  std::string line;
  while (std::getline(queries, line)) {
    if (!answer(*map, line)) {
      std::cerr << "fst_probe: bad query line: " << line << '\n';
      return 1;
    }
  }
  return 0;
}
