// The commands of orvane-tool. Each command lives in its own file and registers itself in
// the table of commands.cpp. main loads the deployment configuration once and hands every
// command the tool's environment, through which the program's services are built.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/services.h"
#include "config/deployment_config.h"
#include "tool/terminal_ui.h"

namespace orvane::tool {

struct ToolEnv {
  config::ConfigLoadResult loaded;
  TerminalUi ui;

  // The program's services (app::BuildServices) with the tool's seams: the terminal UI, the
  // carrier PIN of `pin` or asked on the terminal, and `namedReader` (a software carrier)
  // counted as present besides the cards in the PC/SC readers.
  std::unique_ptr<app::Services> Services(std::optional<std::string> pin = std::nullopt,
                                          std::optional<std::u16string> namedReader = std::nullopt);
};

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const std::vector<std::string>& args, ToolEnv& env);
};

const std::vector<Command>& Commands();

int RunConfig(const std::vector<std::string>& args, ToolEnv& env);
int RunVersionCheck(const std::vector<std::string>& args, ToolEnv& env);
int RunGetSubject(const std::vector<std::string>& args, ToolEnv& env);
int RunGetCertificate(const std::vector<std::string>& args, ToolEnv& env);
int RunEnroll(const std::vector<std::string>& args, ToolEnv& env);
int RunDiag(const std::vector<std::string>& args, ToolEnv& env);
int RunProviders(const std::vector<std::string>& args, ToolEnv& env);
int RunMakeRequest(const std::vector<std::string>& args, ToolEnv& env);
int RunCarriers(const std::vector<std::string>& args, ToolEnv& env);
int RunRenderRequest(const std::vector<std::string>& args, ToolEnv& env);
int RunRenderCert(const std::vector<std::string>& args, ToolEnv& env);
int RunInstallRoots(const std::vector<std::string>& args, ToolEnv& env);

}  // namespace orvane::tool
