// Locating, generating and opening the benchmark map. Generation runs the
// Python given to CMake on make_fst_keys.py once; later runs find the files.
#include "bench_data.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace vorlane::bench {

std::optional<std::filesystem::path> bench_data_dir() {
  const char* env = std::getenv("VORLANE_FST_BENCH_DATA");
  const std::filesystem::path dir =
      env ? std::filesystem::path(env)
          : std::filesystem::temp_directory_path() / "vorlane-fst-bench-1000000";
  if (std::filesystem::exists(dir / "keys.fst") && std::filesystem::exists(dir / "keys.tsv")) {
    return dir;
  }
  const std::string command = std::string("\"") + VORLANE_BENCH_PYTHON + "\" \"" +
                              VORLANE_BENCH_SOURCE_DIR + "/make_fst_keys.py\" \"" + dir.string() +
                              "\"";
  std::cerr << "generating " << dir << " ...\n";
  if (std::system(command.c_str()) != 0) {
    std::cerr << "cannot generate the benchmark data in " << dir << '\n';
    return std::nullopt;
  }
  return dir;
}

std::vector<uint8_t> read_bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fst::Map open_map_or_exit(const std::vector<uint8_t>& bytes) {
  Result<fst::Map> m = fst::Map::open(ByteView(bytes.data(), bytes.size()));
  if (!m) {
    std::cerr << "cannot open the benchmark map: " << m.error().message() << '\n';
    std::exit(1);
  }
  return std::move(m).value();
}

}  // namespace vorlane::bench
