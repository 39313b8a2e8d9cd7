// kiru: the Velmo setup. A three-step wizard that writes the monitor and its helper services
// out of this program, registers the services' units, gives the user access and an autostart
// entry, and can start the monitor; --unattended runs the same installation without windows.
#include <CLI/CLI.hpp>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "monitor/core/InstallLayout.h"
#include "setup/install/GroupFile.h"
#include "setup/install/LinuxMachine.h"
#include "setup/install/Payload.h"
#include "setup/install/Unattended.h"
#include "setup/wizard/KiruSheet.h"
#include "setup/wizard/MessageBoxHost.h"

namespace {

using namespace velmo::setup;

// Why something failed, beside the message shown: the setup's standard error.
void LogReason(const std::string& why) {
  std::cerr << "kiru: " << why << "\n";
}

bool HasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// An installation under --root keeps its group file there too, and leaves systemd alone.
struct Targets {
  std::string prefix;
  std::unique_ptr<Systemd> systemd;
  std::unique_ptr<GroupDatabase> groups;
  std::optional<Invoker> user;
  std::string systemRoot;  // --root DIR, where the prefix is DIR too

  explicit Targets(const std::string& root) {
    if (root.empty()) {
      prefix = velmo::core::install::InstallPrefixFromEnvironment();
      systemd = std::make_unique<SystemctlSystemd>();
      groups = std::make_unique<SystemGroups>();
    } else {
      std::string path = std::filesystem::absolute(root).lexically_normal().string();
      while (path.size() > 1 && path.back() == '/')
        path.pop_back();
      prefix = path;
      systemRoot = path;
      systemd = std::make_unique<NoSystemd>();
      groups = std::make_unique<GroupFile>(prefix + "/etc/group", prefix);
    }
    auto invoker = ResolveInvoker(IdentitySource::ThisProcess());
    if (invoker)
      user = std::move(invoker).value();
    else
      invokerError = invoker.error().message;
  }
  std::string invokerError;  // why `user` is unknown
  SetupContext Context(SetupHost& host) const {
    return SetupContext{prefix, EmbeddedPayloads(), *systemd, *groups, user,
                        host,   systemRoot,         LogReason};
  }
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{"Velmo setup: installs the monitor, its helper services and its autostart entry",
               "kiru"};
  bool unattended = false;
  std::string root;
  cli.add_flag("--unattended", unattended,
               "install without the wizard; messages as JSON lines on standard output");
  cli.add_option("--root", root,
                 "install the program, the helpers, the units and the group file under DIR "
                 "instead of " +
                     velmo::core::install::InstallPrefixFromEnvironment() +
                     "; systemd is not called")
      ->type_name("DIR");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return cli.exit(e) == 0 ? 0 : 2;
  }

  const Targets machine(root);
  if (!machine.invokerError.empty()) LogReason(machine.invokerError);
  LinuxPlatformSource platform;
  if (unattended) {
    JsonLinesHost host(std::cout);
    return RunUnattended(CheckPlatform(platform.Read()), machine.Context(host), host);
  }

  if (!HasDisplay()) {
    std::cerr << "kiru: no display to show the wizard on; use --unattended\n";
    return 2;
  }
  QApplication app(argc, argv);
  MessageBoxHost host;
  const SetupContext context = machine.Context(host);
  UserLauncher launcher;
  std::optional<UserAccount> user;
  if (machine.user) user = machine.user->account;
  WizardServices services{platform, [&context] { RunInstallation(context); },
                          launcher, velmo::core::install::ProgramPath(machine.prefix),
                          user,     host,
                          LogReason};
  CKiruSheet sheet(services);
  sheet.exec();
  return 0;
}
