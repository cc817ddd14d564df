// orvane-tool providers and make-request, run as the scripts run them.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "csp/csp_test_env.h"

namespace {

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(env.dir + "/orvane.conf")
        << "[paths]\ndata_dir = " << env.dir << "/tool-data\nroot_store = " << env.dir << "/machine/ROOT\n";
  }
  int Run(const std::string& args, std::string* out) {
    const std::string command = "ORVANE_CONFIG=" + env.dir + "/orvane.conf " + std::string(ORVANE_BINARY_DIR) +
                                "/src/orvane-tool " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    out->clear();
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out->append(buf, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  orvane::test::ProviderEnvironment env;
};

}  // namespace

TEST_F(ToolTest, ProvidersListsOneProviderALine) {
  std::string out;
  ASSERT_EQ(Run("providers", &out), 0) << out;
  EXPECT_NE(out.find("КриптоПро CSP\t80\tOrvane Software GOST R 34.10-2012 256 Provider"), std::string::npos) << out;
  EXPECT_NE(out.find("ViPNet CSP\t78\t"), std::string::npos) << out;
  EXPECT_NE(out.find("\t5.0.12000\n"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6);
}

TEST_F(ToolTest, MakeRequestWritesAVerifiableRequest) {
  const std::string file = env.dir + "/tool.der";
  std::string out;
  ASSERT_EQ(Run("make-request --reader 'Virtual PCD 00 00' --family 1 --generation 1 "
                "--subject '2.5.4.3=Тест,2.5.4.6=RU,1.2.643.100.3=12345678901' "
                "--eku 1.3.6.1.5.5.7.3.2,1.3.6.1.5.5.7.3.4 --pin 4321 --out " +
                    file +
                    " --export --period '12 Months' --policy-level KC3 --template-oid 1.2.3.4 "
                    "--identification-kind 2 --alt-name 2.5.4.3=Alt",
                &out),
            0)
      << out;
  const std::regex lines(
      "container: (TVK-000000-000-[0-9]{6}-[0-9]{4}-000000000000-12345678901-[0-9A-F]{8})\n"
      "path: \\\\\\\\\\.\\\\Virtual PCD 00 00\\\\\\1\n");
  EXPECT_TRUE(std::regex_match(out, lines)) << out;
  std::string verify;
  EXPECT_EQ(env.OpenSsl("req -inform DER -in " + file + " -verify -noout", &verify), 0) << verify;
  EXPECT_NE(verify.find("verify OK"), std::string::npos) << verify;
}

TEST_F(ToolTest, MakeRequestReportsBadInput) {
  std::string out;
  EXPECT_EQ(
      Run("make-request --reader R --family 3 --generation 1 --subject 2.5.4.3=X --eku 1.2 --pin 1 --out x", &out), 2);
  EXPECT_EQ(Run("make-request --reader R --family 1 --generation 1 --subject 2.5.4.3=X --pin 1 --out x", &out), 2);
  EXPECT_EQ(Run("make-request --bogus", &out), 2);
  EXPECT_EQ(Run("make-request --reader R --family 1 --generation 1 --subject 1.2.643.100.1=ABC --eku 1.3.6.1.5.5.7.3.2 "
                "--pin 1 --out " +
                    env.dir + "/never.der",
                &out),
            1);
  EXPECT_NE(out.find("ошибка 0x80092020"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(env.dir + "/never.der"));
}

TEST_F(ToolTest, MakeRequestRefusesWhatItWouldChangeBeforeMakingAnything) {
  const std::string common = "make-request --reader R --family 1 --generation 1 --eku 1.3.6.1.5.5.7.3.2 --pin 1 ";
  const std::string out = " --out " + env.dir + "/refused.der";
  const std::pair<std::string, std::string> cases[] = {
      {"--subject \"$(printf '2.5.4.3=\\320')\"", "UTF-8"},
      {"--subject '2.5.4.3=X,RU'", "OID=значение"},
      {"--subject 2.5.4.3=X --alt-name 'Alt'", "OID=значение"},
      {"--subject 2.5.4.3=X --start-date 2025-13-45", "неверная дата"},
      {"--subject 2.5.4.3=X --template-oid 1.2.x", "OID шаблона"},
      {"--subject 2.5.4.3=X --identification-kind 7", "Использование"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args);
    std::string text;
    EXPECT_EQ(Run(common + args + out, &text), 2) << text;
    EXPECT_NE(text.find(message), std::string::npos) << text;
  }
  EXPECT_FALSE(std::filesystem::exists(env.dir + "/tool-data/containers")) << "no container was made";
  EXPECT_FALSE(std::filesystem::exists(env.dir + "/refused.der"));
}

TEST_F(ToolTest, InstallRootsWritesBothHeadCaRootsOnce) {
  std::string out;
  EXPECT_EQ(Run("install-roots --check", &out), 1) << out;
  EXPECT_NE(out.find("не установлен"), std::string::npos) << out;
  ASSERT_EQ(Run("install-roots", &out), 0) << out;
  EXPECT_NE(out.find("Минкомсвязь России (ГОСТ Р 34.10-2012): установлен (4BC6DC14D97010C41A26E058AD851F81C842415A)"),
            std::string::npos)
      << out;
  ASSERT_EQ(Run("install-roots", &out), 0) << out;
  EXPECT_EQ(out.find(": установлен"), std::string::npos) << "nothing written twice: " << out;
  EXPECT_EQ(Run("install-roots --check", &out), 0) << out;
  EXPECT_EQ(Run("install-roots --force", &out), 2) << out;
}
