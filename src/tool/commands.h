// The commands of orvane-tool. Each command lives in its own file and registers itself in
// the table of commands.cpp.
#pragma once

#include <string>
#include <vector>

namespace orvane::tool {

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const std::vector<std::string>& args);
};

const std::vector<Command>& Commands();

// Loads the deployment configuration and makes it the process-wide one; prints its
// problems to stderr. Every command that talks to a peer calls it first.
void LoadConfigOrWarn();

int RunConfig(const std::vector<std::string>& args);
int RunVersionCheck(const std::vector<std::string>& args);
int RunGetSubject(const std::vector<std::string>& args);
int RunGetCertificate(const std::vector<std::string>& args);
int RunEnroll(const std::vector<std::string>& args);
int RunDiag(const std::vector<std::string>& args);
int RunProviders(const std::vector<std::string>& args);
int RunMakeRequest(const std::vector<std::string>& args);
int RunCarriers(const std::vector<std::string>& args);
int RunRenderRequest(const std::vector<std::string>& args);
int RunRenderCert(const std::vector<std::string>& args);

}  // namespace orvane::tool
