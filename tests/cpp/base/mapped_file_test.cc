#include "vorlane/base/mapped_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "vorlane/base/result.h"
#include "vorlane/base/warning.h"

namespace vorlane {
namespace {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/vorlane-test-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string file(const std::string& name, const std::string& content) const {
    std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(MappedFile, MapsContentAndOutlivesTheFirstHolder) {
  TempDir dir;
  auto opened = MappedFile::open(dir.file("a.idx", "VRC0 bytes"));
  ASSERT_TRUE(opened);
  std::shared_ptr<const MappedFile> keep = *opened;
  opened = MappedFile::open(dir.file("b.idx", "x"));
  EXPECT_EQ(keep->bytes().as_string_view(), "VRC0 bytes");
}

TEST(MappedFile, EmptyFileIsAnEmptyView) {
  TempDir dir;
  auto opened = MappedFile::open(dir.file("empty.idx", ""));
  ASSERT_TRUE(opened) << opened.error().full_chain();
  EXPECT_EQ((*opened)->bytes().size(), 0u);
}

TEST(MappedFile, FailuresCarryTheQuotedPathAndTheSystemError) {
  TempDir dir;
  const std::string missing = dir.path() + "/no\"such.idx";
  auto opened = MappedFile::open(missing);
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().message(), "cannot open \"" + dir.path() + "/no\\\"such.idx\"");
  EXPECT_EQ(opened.error().cause(), "No such file or directory (os error 2)");

  // A NUL byte is refused, never cut: the file before the NUL exists.
  const std::string real = dir.file("real.idx", "data");
  auto with_nul = MappedFile::open(real + std::string("\0.bak", 5));
  ASSERT_FALSE(with_nul);
  EXPECT_EQ(with_nul.error().message(), "cannot open \"" + real + "\\0.bak\"");

  auto directory = MappedFile::open(dir.path());
  ASSERT_FALSE(directory);
  EXPECT_EQ(directory.error().message(), "No such device (os error 19)");
}

TEST(Error, ContextLayersWrapTheCause) {
  Error e = Error(ErrorCode::io, "inner").with_context("middle").with_context("outer");
  EXPECT_EQ(e.message(), "outer");
  EXPECT_EQ(e.cause(), "inner");
  EXPECT_EQ(e.full_chain(), "outer: middle: inner");
}

TEST(Warning, WritesOneWholeLineToStandardError) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const int saved = ::dup(2);
  ::dup2(fds[1], 2);
  write_warning("regions disabled");
  ::dup2(saved, 2);
  ::close(saved);
  ::close(fds[1]);
  char buf[64] = {};
  const ssize_t n = ::read(fds[0], buf, sizeof buf - 1);
  ::close(fds[0]);
  EXPECT_EQ(std::string(buf, n > 0 ? n : 0), "warning: regions disabled\n");
}

}  // namespace
}  // namespace vorlane
