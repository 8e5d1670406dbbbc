// Replays fuzz inputs without libFuzzer: every file named on the command
// line, or every file in a named directory, goes through the fuzz target
// once. Used by the tests to keep the corpus (seed sheets and any input that
// ever crashed) passing.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int replay(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0, inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) failures += replay(entry.path()), ++inputs;
      }
    } else {
      failures += replay(arg), ++inputs;
    }
  }
  std::printf("replayed %d inputs\n", inputs);
  return failures != 0 || inputs == 0 ? 1 : 0;
}
