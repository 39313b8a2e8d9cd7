// Start-up of the helper services: the sequence and messages against a scripted service
// manager, systemctl as the systemd manager drives it, and helpers spawned without systemd.
#include "monitor/service/DriverService.h"

#include "monitor/service/HelperUnit.h"
#include "monitor/service/SpawnServiceManager.h"
#include "monitor/service/SystemdServiceManager.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <gtest/gtest.h>

#include <map>

#include "tests/support/HelperRig.h"
#include "tests/support/RecordingBus.h"

namespace velmo::service {
namespace {

using Messages = std::vector<std::pair<std::string, std::string>>;

class CountingSleeper : public Sleeper {
 public:
  std::vector<std::chrono::milliseconds> sleeps;
  std::chrono::milliseconds real{0};  // how long to really wait per sleep
  void Sleep(std::chrono::milliseconds duration) override {
    sleeps.push_back(duration);
    if (real.count()) std::this_thread::sleep_for(real);
  }
};

// A service manager whose services behave as scripted; it records every call.
class ScriptedManager : public ServiceManager {
 public:
  struct Service {
    bool exists = true;
    bool creatable = true;
    bool startable = true;
    int runningAtPoll = 0;  // 0: running already; -1: never; n: at the n-th poll after start
    bool serving = false;   // its device answers, whatever the manager knows of it
  };
  bool opens = true;
  std::map<std::string, Service> services;
  std::vector<std::string> calls;

  bool Serving(const std::string& name) override {
    calls.push_back("serving? " + name);
    return services[name].serving;
  }
  bool Open() override {
    calls.push_back("open");
    return opens;
  }
  bool Exists(const std::string& name) override {
    calls.push_back("exists " + name);
    return services[name].exists;
  }
  bool Create(const std::string& name) override {
    calls.push_back("create " + name);
    services[name].exists = services[name].creatable;
    return services[name].creatable;
  }
  bool IsRunning(const std::string& name) override {
    calls.push_back("running? " + name);
    const Service& s = services[name];
    if (s.runningAtPoll == 0) return true;
    return started_[name] && s.runningAtPoll > 0 && ++polls_[name] >= s.runningAtPoll;
  }
  bool Start(const std::string& name) override {
    calls.push_back("start " + name);
    started_[name] = services[name].startable;
    return services[name].startable;
  }

 private:
  std::map<std::string, bool> started_;
  std::map<std::string, int> polls_;
};

TEST(StartDriverServices, SequenceAndMessages) {
  using S = ScriptedManager::Service;
  struct Row {
    const char* what;
    bool opens;
    S portio;
    S mapmem;
    bool result;
    size_t sleeps;
    Messages messages;
    std::vector<std::string> calls;  // empty: not checked
  };
  const Row rows[] = {
      {"both running",
       true,
       {},
       {},
       true,
       0,
       {},
       {"serving? portio", "open", "exists portio", "running? portio", "serving? mapmem", "open",
        "exists mapmem", "running? mapmem"}},
      {"portio stopped, running at the third poll",
       true,
       S{true, true, true, 3},
       {},
       true,
       3,
       {},
       {"serving? portio", "open", "exists portio", "running? portio", "start portio",
        "running? portio", "running? portio", "running? portio", "serving? mapmem", "open",
        "exists mapmem", "running? mapmem"}},
      {"portio never runs",
       true,
       S{true, true, true, -1},
       {},
       false,
       10,
       {{"Could not start Driver", "Velmond"}, {"Could not find the Velmo driver", "Velmond"}},
       {}},
      {"portio missing, created and started",
       true,
       S{false, true, true, 1},
       {},
       true,
       1,
       {},
       {"serving? portio", "open", "exists portio", "create portio", "running? portio",
        "start portio", "running? portio", "serving? mapmem", "open", "exists mapmem",
        "running? mapmem"}},
      {"portio cannot be created",
       true,
       S{false, false, true, 0},
       {},
       false,
       0,
       {{"Could not Create Service ", "Velmond"}, {"Could not find the Velmo driver", "Velmond"}},
       {"serving? portio", "open", "exists portio", "create portio"}},
      {"portio does not start",
       true,
       S{true, true, false, 1},
       {},
       false,
       0,
       {{"Could not start service.", "Velmond"}, {"Could not find the Velmo driver", "Velmond"}},
       {"serving? portio", "open", "exists portio", "running? portio", "start portio"}},
      {"no service manager",
       false,
       {},
       {},
       false,
       0,
       {{"Could not open Service Control Manager", "Velmond"},
        {"Could not find the Velmo driver", "Velmond"}},
       {"serving? portio", "open"}},
      // Serving helpers are taken as they are: no manager, no program, no registration needed.
      {"both serving, unknown to the manager",
       false,
       S{false, false, false, -1, true},
       S{false, false, false, -1, true},
       true,
       0,
       {},
       {"serving? portio", "serving? mapmem"}},
      {"portio serving, mapmem started",
       true,
       S{false, false, false, -1, true},
       S{true, true, true, 1},
       true,
       1,
       {},
       {"serving? portio", "serving? mapmem", "open", "exists mapmem", "running? mapmem",
        "start mapmem", "running? mapmem"}},
      {"mapmem never runs",
       true,
       {},
       S{true, true, true, -1},
       false,
       10,
       {{"Could not start Driver", "Velmond"}, {"Could not find the MapMem driver", "Velmond"}},
       {}},
  };
  for (const Row& row : rows) {
    ScriptedManager manager;
    manager.opens = row.opens;
    manager.services["portio"] = row.portio;
    manager.services["mapmem"] = row.mapmem;
    CountingSleeper sleeper;
    test::RecordingHost host;
    EXPECT_EQ(StartDriverServices(manager, sleeper, host), row.result) << row.what;
    EXPECT_EQ(sleeper.sleeps.size(), row.sleeps) << row.what;
    for (auto d : sleeper.sleeps)
      EXPECT_EQ(d, std::chrono::milliseconds(1000)) << row.what;
    EXPECT_EQ(host.messages, row.messages) << row.what;
    if (!row.calls.empty()) {
      EXPECT_EQ(manager.calls, row.calls) << row.what;
    }
    // A failure for portio means mapmem is never tried.
    if (!row.result && row.messages.back().first == "Could not find the Velmo driver") {
      for (const std::string& call : manager.calls)
        EXPECT_EQ(call.find("mapmem"), std::string::npos) << row.what;
    }
    EXPECT_TRUE(host.endCodes.empty());
  }
}

TEST(UnitFiles, ShippedUnitsAreTheOnesStartUpWrites) {
  const std::string dir = std::string(VELMO_SOURCE_DIR) + "/drivers/systemd/";
  for (const std::string name : {"portio", "mapmem"}) {
    EXPECT_EQ(test::ReadText(dir + name + ".service"),
              UnitFileText(name, "/usr/local/lib/velmo/drivers/" + name))
        << name;
    EXPECT_EQ(test::ReadText(dir + name + ".socket"), SocketUnitText(name)) << name;
  }
  EXPECT_NE(SocketUnitText("mapmem").find("\nListenSequentialPacket=/run/velmo/MAPMEM0\n"),
            std::string::npos);
  const std::string portio = UnitFileText("portio", "/x/portio");
  EXPECT_NE(portio.find("DeviceAllow=/dev/port rw\n"), std::string::npos);
  EXPECT_EQ(portio.find("/dev/mem"), std::string::npos);
  const std::string mapmem = UnitFileText("mapmem", "/x/mapmem");
  EXPECT_NE(mapmem.find("DeviceAllow=/dev/mem r\n"), std::string::npos);
  EXPECT_EQ(mapmem.find("/dev/port"), std::string::npos);
  EXPECT_EQ(mapmem.find("@raw-io"), std::string::npos);
}

// A stand-in for systemctl: logs its arguments, keeps the state of units in files.
constexpr const char* kFakeSystemctl = R"(#!/bin/sh
state="$(dirname "$0")/state"
echo "$*" >> "$state/calls"
last=""; for a in "$@"; do last="$a"; done
case "$1" in
  show)
    case "$2" in
      --property=Version) echo 252 ;;
      --property=LoadState) if [ -e "$state/$last.loaded" ]; then echo loaded; else echo not-found; fi ;;
    esac ;;
  is-active) [ -e "$state/$last.active" ] ;;
  start) [ -e "$state/$last.loaded" ] && [ ! -e "$state/$last.broken" ] && touch "$state/$last.active" ;;
  daemon-reload) for f in "$state/../units/"*.service; do touch "$state/$(basename "$f").loaded"; done ;;
  enable) [ -e "$state/$last.loaded" ] ;;
  *) exit 1 ;;
esac
)";

TEST(SystemdServiceManager, DrivesSystemctl) {
  if (::geteuid() != 0) GTEST_SKIP() << "creating a unit is for root only";
  test::TempDir dir;
  const std::string systemctl = dir.Write("systemctl", kFakeSystemctl);
  ::chmod(systemctl.c_str(), 0755);
  std::filesystem::create_directories(dir.File("state"));
  std::filesystem::create_directories(dir.File("units"));
  std::filesystem::create_directories(dir.File("drivers"));
  for (const char* helper : {"portio", "mapmem"}) {
    dir.Write(std::string("drivers/") + helper, "#!/bin/sh\n");
    ::chmod(dir.File(std::string("drivers/") + helper).c_str(), 0755);
  }
  // portio is registered and running; mapmem is missing and gets created, then started.
  dir.Write("state/portio.service.loaded", "");
  dir.Write("state/portio.service.active", "");

  SystemdServiceManager manager(systemctl, dir.File("units"),
                                {dir.File("nowhere"), dir.File("drivers")});
  CountingSleeper sleeper;
  test::RecordingHost host;
  EXPECT_TRUE(StartDriverServices(manager, sleeper, host));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(sleeper.sleeps.size() == 1u);
  EXPECT_EQ(test::ReadText(dir.File("state/calls")),
            "show --property=Version --value\n"
            "show --property=LoadState --value portio.service\n"
            "is-active --quiet portio.service\n"
            "show --property=Version --value\n"
            "show --property=LoadState --value mapmem.service\n"
            "daemon-reload\n"
            "enable mapmem.service\n"
            "is-active --quiet mapmem.service\n"
            "start mapmem.service\n"
            "is-active --quiet mapmem.service\n");
  EXPECT_EQ(test::ReadText(dir.File("units/mapmem.service")),
            UnitFileText("mapmem", dir.File("drivers/mapmem")));
  EXPECT_EQ(test::ReadText(dir.File("units/mapmem.socket")), SocketUnitText("mapmem"));

  // A unit that fails to start, and a program that is nowhere to be found.
  dir.Write("state/mapmem.service.broken", "");
  std::filesystem::remove(dir.File("state/mapmem.service.active"));
  test::RecordingHost broken;
  EXPECT_FALSE(StartDriverService(manager, sleeper, broken, "mapmem"));
  EXPECT_EQ(broken.messages, (Messages{{"Could not start service.", "Velmond"}}));
  SystemdServiceManager lost(systemctl, dir.File("units"), {dir.File("nowhere")});
  std::filesystem::remove(dir.File("state/mapmem.service.loaded"));
  std::filesystem::remove(dir.File("units/mapmem.service"));
  test::RecordingHost missing;
  EXPECT_FALSE(StartDriverService(lost, sleeper, missing, "mapmem"));
  EXPECT_EQ(missing.messages, (Messages{{"Could not Create Service ", "Velmond"}}));

  SystemdServiceManager absent(dir.File("no-systemctl"), dir.File("units"));
  test::RecordingHost none;
  EXPECT_FALSE(StartDriverService(absent, sleeper, none, "portio"));
  EXPECT_EQ(none.messages, (Messages{{"Could not open Service Control Manager", "Velmond"}}));
}

// A listening socket nobody accepts on, as a systemd socket unit holds it before its service runs.
int BareListeningSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
  EXPECT_EQ(::listen(fd, 16), 0);
  return fd;
}

TEST(SystemdServiceManager, SocketsThatAnswerNeedNoSystemctl) {
  test::TempDir dir;
  test::DeviceDirScope scope(dir.File("dev"));
  std::filesystem::create_directories(dir.File("dev"));
  const std::string systemctl = dir.Write("systemctl", kFakeSystemctl);
  ::chmod(systemctl.c_str(), 0755);
  std::filesystem::create_directories(dir.File("state"));
  std::filesystem::create_directories(dir.File("units"));
  SystemdServiceManager manager(systemctl, dir.File("units"), {dir.File("nowhere")});
  CountingSleeper sleeper;

  // Only portio's socket: the rule runs for mapmem (not loaded, no program: its messages).
  const int portio = BareListeningSocket(protocol::DevicePath(protocol::kPortIoDevice));
  test::RecordingHost half;
  EXPECT_FALSE(StartDriverServices(manager, sleeper, half));
  EXPECT_EQ(half.messages, (Messages{{"Could not Create Service ", "Velmond"},
                                     {"Could not find the MapMem driver", "Velmond"}}));
  EXPECT_EQ(test::ReadText(dir.File("state/calls")),
            "show --property=Version --value\n"
            "show --property=LoadState --value mapmem.service\n");

  // Both sockets listen: nothing is asked of systemctl, nothing is said.
  std::filesystem::remove(dir.File("state/calls"));
  const int mapmem = BareListeningSocket(protocol::DevicePath(protocol::kMapMemDevice));
  test::RecordingHost both;
  EXPECT_TRUE(StartDriverServices(manager, sleeper, both));
  EXPECT_TRUE(both.messages.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("state/calls")));
  EXPECT_TRUE(sleeper.sleeps.empty());
  ::close(portio);
  ::close(mapmem);
}

// The pid of the process serving `device`, from the credentials of a connection to it.
pid_t ServerPid(const char* device) {
  const std::string path = protocol::DevicePath(device);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  pid_t pid = -1;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    ucred cred{};
    socklen_t length = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0) pid = cred.pid;
  }
  ::close(fd);
  return pid;
}

TEST(SpawnServiceManager, StartsDetachedHelpers) {
  test::TempDir dir;
  test::DeviceDirScope scope(dir.File("dev"));
  const std::string board = dir.Write("board.json", R"({"bios_id": "7K4XRQB8", "chip": "none"})");
  const std::vector<std::string> helperDirs = {
      std::filesystem::path(VELMO_PORTIO_PROGRAM).parent_path().string(),
      std::filesystem::path(VELMO_MAPMEM_PROGRAM).parent_path().string()};

  SpawnServiceManager missing({"--board", board}, {dir.File("nowhere")});
  CountingSleeper sleeper;
  test::RecordingHost host;
  EXPECT_FALSE(StartDriverServices(missing, sleeper, host));
  EXPECT_EQ(host.messages, (Messages{{"Could not Create Service ", "Velmond"},
                                     {"Could not find the Velmo driver", "Velmond"}}));

  SpawnServiceManager manager({"--board", board}, helperDirs);
  sleeper.real = std::chrono::milliseconds(100);
  host.messages.clear();
  EXPECT_TRUE(StartDriverServices(manager, sleeper, host));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(hw::DriverBackend::Reachable());
  // Already running: the second start returns at once.
  sleeper.sleeps.clear();
  EXPECT_TRUE(StartDriverServices(manager, sleeper, host));
  EXPECT_TRUE(sleeper.sleeps.empty());

  for (const char* device : {protocol::kPortIoDevice, protocol::kMapMemDevice}) {
    const pid_t pid = ServerPid(device);
    ASSERT_GT(pid, 0);
    EXPECT_NE(::getsid(pid), ::getsid(0));  // a session of its own
    ::kill(pid, SIGTERM);
    EXPECT_TRUE(
        test::WaitFor([&] { return !std::filesystem::exists(protocol::DevicePath(device)); }));
  }
  EXPECT_NE(test::ReadText(dir.File("dev/portio.log")).find("serving"), std::string::npos);
  EXPECT_NE(test::ReadText(dir.File("dev/mapmem.log")).find("stopped by signal 15"),
            std::string::npos);
}

}  // namespace
}  // namespace velmo::service
