#include "platform/file_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/tls_test_server.h"

using namespace orvane::platform;

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t Entries(const std::string& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

}  // namespace

TEST(FileWrite, ReplaceUsesAUniqueTemporaryAndLeavesNothingBehind) {
  orvane::test::TempDir dir;
  const std::string path = dir.Path() + "/a.cer";
  // Something already holds the name a fixed temporary would take.
  std::filesystem::create_directory(path + ".tmp");
  ASSERT_TRUE(ReplaceFile(path, "first", 0600));
  ASSERT_TRUE(ReplaceFile(path, "second", 0644));
  EXPECT_EQ(Read(path), "second");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(Entries(dir.Path()), 2u);  // the file and the directory, no temporary

  int err = 0;
  EXPECT_FALSE(ReplaceFile(dir.Path() + "/missing/a.cer", "x", 0600, &err));
  EXPECT_EQ(err, ENOENT);
}

TEST(FileWrite, CreateNewNeverReplaces) {
  orvane::test::TempDir dir;
  const std::string path = dir.Path() + "/c";
  bool existed = true;
  ASSERT_TRUE(CreateNewFile(path, "one", 0600, existed));
  EXPECT_FALSE(existed);
  EXPECT_FALSE(CreateNewFile(path, "two", 0600, existed));
  EXPECT_TRUE(existed);
  EXPECT_EQ(Read(path), "one");
  EXPECT_EQ(Entries(dir.Path()), 1u);
}
