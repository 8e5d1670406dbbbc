#include "vorlane/base/mapped_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "vorlane/base/result.h"
#include "support/stderr_capture.h"
#include "vorlane/base/warning.h"

namespace vorlane {
namespace {

struct TempDir {
  TempDir() : path(::mkdtemp(std::string("/tmp/vorlane-test-XXXXXX").data())) {}
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string file(const std::string& name, const std::string& content) const {
    std::ofstream(path + "/" + name, std::ios::binary) << content;
    return path + "/" + name;
  }
  const std::string path;
};

TEST(MappedFile, MapsContentThatOutlivesTheFirstHolder) {
  TempDir dir;
  auto opened = MappedFile::open(dir.file("a.idx", "VRC0 bytes"));
  ASSERT_TRUE(opened);
  std::shared_ptr<const MappedFile> keep = *opened;
  opened = MappedFile::open(dir.file("empty.idx", ""));
  ASSERT_TRUE(opened) << opened.error().full_chain();
  EXPECT_EQ((*opened)->bytes().size(), 0u);
  EXPECT_EQ(keep->bytes().as_string_view(), "VRC0 bytes");
}

TEST(MappedFile, FailuresCarryTheQuotedPathAndTheSystemError) {
  TempDir dir;
  auto missing = MappedFile::open(dir.path + "/no\"such.idx");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message(), "cannot open \"" + dir.path + "/no\\\"such.idx\"");
  EXPECT_EQ(missing.error().cause(), "No such file or directory (os error 2)");

  // A NUL byte is refused, never cut: the file before the NUL exists.
  const std::string real = dir.file("real.idx", "data");
  auto with_nul = MappedFile::open(real + std::string("\0.bak", 5));
  ASSERT_FALSE(with_nul);
  EXPECT_EQ(with_nul.error().message(), "cannot open \"" + real + "\\0.bak\"");

  // Neither a directory nor a device is a file of bytes to map; /dev/null
  // would otherwise read as an empty file.
  for (const std::string& not_regular : {dir.path, std::string("/dev/null")}) {
    auto opened = MappedFile::open(not_regular);
    ASSERT_FALSE(opened) << not_regular;
    EXPECT_EQ(opened.error().message(), "No such device (os error 19)");
  }
}

TEST(Error, ContextLayersWrapTheCause) {
  Error e = Error(ErrorCode::io, "inner").with_context("middle").with_context("outer");
  EXPECT_EQ(e.message(), "outer");
  EXPECT_EQ(e.cause(), "inner");
  EXPECT_EQ(e.full_chain(), "outer: middle: inner");
}

TEST(Warning, WritesOneWholeLineToStandardError) {
  EXPECT_EQ(vorlane::testing::captured_stderr([] { write_warning("regions disabled"); }),
            "warning: regions disabled\n");
}

}  // namespace
}  // namespace vorlane
