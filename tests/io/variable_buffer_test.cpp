#include "io/variable_buffer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>

#include "support/tls_test_server.h"

using orvane::io::ASVariableBuffer;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed = 0) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>((i * 7 + seed) & 0xFF);
  return v;
}

}  // namespace

TEST(VariableBuffer, MemoryFileBoundary) {
  ASVariableBuffer exact;
  const auto a = Pattern(65536);
  ASSERT_TRUE(exact.Append(a.data(), 65536));
  EXPECT_FALSE(exact.HasSpillFile());
  EXPECT_EQ(exact.Remaining(), 65536);

  ASVariableBuffer over;
  const auto b = Pattern(65537);
  ASSERT_TRUE(over.Append(b.data(), 65537));
  ASSERT_TRUE(over.HasSpillFile());
  EXPECT_EQ(over.SpillFileSize(), 1);
  EXPECT_EQ(over.ReadAll(), b);
}

TEST(VariableBuffer, SpillFileIsPrivateAndLeavesNoNameBehind) {
  // The temporary folder of this test holds no "TVK" file while the buffer spills: the file
  // lost its name as soon as it was made, so a killed process leaves nothing behind.
  orvane::test::TempDir tmp;
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  setenv("TMPDIR", tmp.Path().c_str(), 1);
  {
    ASVariableBuffer buf;
    const auto data = Pattern(70000);
    ASSERT_TRUE(buf.Append(data.data(), 70000));
    ASSERT_TRUE(buf.HasSpillFile());
    EXPECT_EQ(buf.SpillFileMode(), 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), {}), 0);
    EXPECT_EQ(buf.ReadAll(), data);
  }
  if (old != nullptr) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST(VariableBuffer, ReadAcrossMemoryIntoFile) {
  ASVariableBuffer buf;
  const auto data = Pattern(70000, 3);
  // Appended in pieces that straddle the boundary.
  ASSERT_TRUE(buf.Append(data.data(), 65000));
  ASSERT_TRUE(buf.Append(data.data() + 65000, 5000));
  buf.SetReadPosition(65500);
  std::uint8_t out[100];
  EXPECT_EQ(buf.Read(out, 100), 100);
  EXPECT_TRUE(std::equal(out, out + 100, data.begin() + 65500));
  EXPECT_EQ(buf.ReadPosition(), 65600);
  // Entirely in the file.
  EXPECT_EQ(buf.Read(out, 100), 100);
  EXPECT_TRUE(std::equal(out, out + 100, data.begin() + 65600));
  buf.SetReadPosition(0);
  EXPECT_EQ(buf.ReadAll(), data);
}

TEST(VariableBuffer, ReadEdgesAndReset) {
  ASVariableBuffer buf;
  std::uint8_t out[16];
  EXPECT_EQ(buf.Read(out, 16), 0);
  EXPECT_EQ(buf.Read(out, 0), -1);
  EXPECT_EQ(buf.Read(nullptr, 4), -1);
  EXPECT_TRUE(buf.Append(nullptr, 5));
  EXPECT_TRUE(buf.Append("abc", 0));
  EXPECT_EQ(buf.Length(), 0);

  const auto big = Pattern(100000);
  ASSERT_TRUE(buf.Append(big.data(), 100000));
  buf.Reset();
  EXPECT_EQ(buf.Remaining(), 0);
  EXPECT_TRUE(buf.HasSpillFile());
  EXPECT_EQ(buf.SpillFileSize(), 0);
  ASSERT_TRUE(buf.Append("0123456789", 10));
  EXPECT_EQ(buf.ReadAllText(), "0123456789");
  // Filling up again after a reset puts the file part at the file's start.
  buf.Reset();
  ASSERT_TRUE(buf.Append(big.data(), 100000));
  EXPECT_EQ(buf.SpillFileSize(), 100000 - 65536);
  EXPECT_EQ(buf.ReadAll(), big);
}

TEST(VariableBuffer, FormattedAppend) {
  ASVariableBuffer buf;
  EXPECT_EQ(buf.AppendFormatted("%s: %d\n", "Сервер", 443), static_cast<int>(std::strlen("Сервер: 443\n")));
  EXPECT_EQ(buf.AppendFormatted("%s", ""), -1);
  const std::string longText(20000, 'x');
  EXPECT_EQ(buf.AppendFormatted("%s", longText.c_str()), 16383);
  EXPECT_EQ(buf.Length(), static_cast<std::int64_t>(std::strlen("Сервер: 443\n")) + 16383);
}

TEST(VariableBuffer, FailedSpillLosesTheWholeAppendAndSaysSo) {
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  setenv("TMPDIR", "/nonexistent/orvane-no-such-dir", 1);
  ASVariableBuffer buf;
  const auto data = Pattern(65000);
  ASSERT_TRUE(buf.Append(data.data(), 65000));
  const auto more = Pattern(1000, 9);
  EXPECT_FALSE(buf.Append(more.data(), 1000));
  EXPECT_NE(buf.LastSpillError(), 0);
  EXPECT_EQ(buf.Length(), 65000);
  if (old != nullptr) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  // Once the folder is usable again, appends go on with nothing stray in between.
  ASSERT_TRUE(buf.Append(more.data(), 1000));
  auto all = buf.ReadAll();
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 66000u);
  EXPECT_TRUE(std::equal(more.begin(), more.end(), all->begin() + 65000));
}
