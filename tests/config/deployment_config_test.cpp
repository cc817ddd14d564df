#include "config/deployment_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/tls_test_server.h"

using namespace orvane::config;

namespace {

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

class ConfigFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", (dir.Path() + "/xdg").c_str(), 1);
    unsetenv("ORVANE_CONFIG");
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("ORVANE_CONFIG");
  }
  orvane::test::TempDir dir;
};

}  // namespace

TEST_F(ConfigFiles, ExplicitFileOverridesKeyByKey) {
  const std::string file = dir.Path() + "/orvane.conf";
  Write(file,
        "[request_system]\nhost = 127.0.0.1\nport = 8443\n"
        "[tls]\nextra_ca_file = /tmp/ca.pem\n"
        "[ca]\nphone = 8 800 123-45-67 ; comment\n");
  setenv("ORVANE_CONFIG", file.c_str(), 1);
  const auto loaded = LoadDeploymentConfig();
  EXPECT_TRUE(loaded.errors.empty()) << loaded.errors.front();
  ASSERT_EQ(loaded.filesRead, std::vector<std::string>{file});
  EXPECT_EQ(loaded.config.requestHost, "127.0.0.1");
  EXPECT_EQ(loaded.config.requestPort, 8443);
  EXPECT_EQ(loaded.config.extraCaFile, "/tmp/ca.pem");
  EXPECT_EQ(loaded.config.caPhone, "8 800 123-45-67");
  EXPECT_EQ(loaded.config.authHost, BuiltInDefaults().authHost);  // untouched keys keep defaults
  EXPECT_EQ(loaded.config.authPort, 443);
}

TEST_F(ConfigFiles, BadValuesAreReportedAndIgnored) {
  const std::string file = dir.Path() + "/bad.conf";
  Write(file, "[request_system]\nport = 70000\nhost = ok.example\n[auth]\nport = 12x\n[nope]\nkey = 1\n");
  setenv("ORVANE_CONFIG", file.c_str(), 1);
  const auto loaded = LoadDeploymentConfig();
  EXPECT_EQ(loaded.config.requestPort, 443);
  EXPECT_EQ(loaded.config.authPort, 443);
  EXPECT_EQ(loaded.config.requestHost, "ok.example");
  ASSERT_EQ(loaded.errors.size(), 3u);
  EXPECT_NE(loaded.errors[0].find("request_system.port"), std::string::npos);
  EXPECT_NE(loaded.errors[2].find("nope.key"), std::string::npos);

  setenv("ORVANE_CONFIG", (dir.Path() + "/missing.conf").c_str(), 1);
  const auto missing = LoadDeploymentConfig();
  EXPECT_TRUE(missing.filesRead.empty());
  ASSERT_EQ(missing.errors.size(), 1u);
  EXPECT_NE(missing.errors[0].find("не найден"), std::string::npos);
}

TEST_F(ConfigFiles, UserFileWithoutExplicitOne) {
  std::filesystem::create_directories(dir.Path() + "/xdg/orvane");
  Write(dir.Path() + "/xdg/orvane/orvane.conf", "[hosts]\nedoc = ed.local\n");
  const auto loaded = LoadDeploymentConfig();
  ASSERT_FALSE(loaded.filesRead.empty());
  EXPECT_EQ(loaded.filesRead.back(), dir.Path() + "/xdg/orvane/orvane.conf");
  EXPECT_EQ(loaded.config.edocHost, "ed.local");
  // Every key is described, the ones just read included.
  bool seen = false;
  for (const auto& [k, v] : DescribeConfig(loaded.config)) seen |= (k == "hosts.edoc" && v == "ed.local");
  EXPECT_TRUE(seen);
}

TEST_F(ConfigFiles, StoreFollowsTheDataFolderOfAFileUnlessNamed) {
  const std::string file = dir.Path() + "/orvane.conf";
  Write(file, "[paths]\ndata_dir = /srv/orvane\n");
  setenv("ORVANE_CONFIG", file.c_str(), 1);
  EXPECT_EQ(LoadDeploymentConfig().config.myStoreDir, "/srv/orvane/stores/MY");
  Write(file, "[paths]\nmy_store = /srv/my\ndata_dir = /srv/orvane\n");
  EXPECT_EQ(LoadDeploymentConfig().config.myStoreDir, "/srv/my");
}
