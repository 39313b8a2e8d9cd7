#include "monitor/hw/DriverService.h"

#include <algorithm>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "monitor/hw/DriverBackend.h"
#include "monitor/hw/DriverProtocol.h"

namespace velmo::hw {

namespace {

constexpr const char* kCaption = "Velmond";
constexpr int kStartPolls = 10;
constexpr std::chrono::milliseconds kPollInterval{1000};

struct Argv {
  std::vector<std::string> strings;
  std::vector<char*> pointers;
  explicit Argv(std::vector<std::string> args) : strings(std::move(args)) {
    for (std::string& s : strings)
      pointers.push_back(s.data());
    pointers.push_back(nullptr);
  }
};

// Runs `args` (looked up in PATH) and waits for it. Returns its exit status (-1 when it could not
// run or did not exit normally); its standard output goes to `output` when given.
int RunCommand(std::vector<std::string> args, std::string* output = nullptr) {
  Argv argv(std::move(args));
  int pipeFds[2] = {-1, -1};
  if (output && ::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid < 0) {
    if (output) {
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
    }
    return -1;
  }
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(output ? pipeFds[1] : null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execvp(argv.pointers[0], argv.pointers.data());
    ::_exit(127);
  }
  if (output) {
    ::close(pipeFds[1]);
    output->clear();
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
      if (n > 0) output->append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

std::string Unit(const std::string& name) {
  return name + ".service";
}

// Writes `text` to `path` through a temporary file and a rename.
bool WriteFileAtomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << text;
    out.flush();
    if (!out) return false;
  }
  ::chmod(temporary.c_str(), 0644);
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

// Starts `args` in its own session, re-parented to init, with standard input and output on
// /dev/null and standard error appended to `logPath` (or /dev/null). False when it cannot be
// executed.
bool SpawnDetached(std::vector<std::string> args, const std::string& logPath) {
  Argv argv(std::move(args));
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return false;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here to exec: the monitor may run several threads.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    const int null = ::open("/dev/null", O_RDWR);
    int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (log < 0) log = null;
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(log, STDERR_FILENO);
    ::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);  // nothing of the monitor's leaks into the helper
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGPIPE, SIG_DFL);
    ::execv(argv.pointers[0], argv.pointers.data());
    const int error = errno;
    (void)!::write(pipeFds[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes at a successful exec; an errno arrives when exec failed.
  int error = 0;
  ssize_t n;
  while ((n = ::read(pipeFds[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(pipeFds[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

std::string OwnDirectory() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

}  // namespace

void RealSleeper::Sleep(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

bool StartDriverService(ServiceManager& manager, Sleeper& sleeper, HwHost& host,
                        const std::string& name) {
  if (!manager.Open()) {
    host.ShowMessage("Could not open Service Control Manager", kCaption);
    return false;
  }
  if (!manager.Exists(name) && !manager.Create(name)) {
    host.ShowMessage("Could not Create Service ", kCaption);
    return false;
  }
  if (manager.IsRunning(name)) return true;
  if (!manager.Start(name)) {
    host.ShowMessage("Could not start service.", kCaption);
    return false;
  }
  for (int poll = 0; poll < kStartPolls; ++poll) {
    sleeper.Sleep(kPollInterval);
    if (manager.IsRunning(name)) return true;
  }
  host.ShowMessage("Could not start Driver", kCaption);
  return false;
}

bool StartDriverServices(ServiceManager& manager, Sleeper& sleeper, HwHost& host) {
  if (!StartDriverService(manager, sleeper, host, "portio")) {
    host.ShowMessage("Could not find the Velmo driver", kCaption);
    return false;
  }
  if (!StartDriverService(manager, sleeper, host, "mapmem")) {
    host.ShowMessage("Could not find the MapMem driver", kCaption);
    return false;
  }
  return true;
}

std::vector<std::string> DefaultHelperDirs() {
  std::vector<std::string> dirs;
  // VELMO_HELPER_DIR (a colon-separated list) comes first: a build tree or a test.
  if (const char* extra = std::getenv("VELMO_HELPER_DIR")) {
    std::string list = extra;
    for (size_t start = 0; start <= list.size();) {
      const size_t end = std::min(list.find(':', start), list.size());
      if (end > start) dirs.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  const std::string own = OwnDirectory();
  if (!own.empty()) {
    dirs.push_back(own);
    dirs.push_back(own + "/../lib/velmo/drivers");
  }
  dirs.push_back("/usr/local/lib/velmo/drivers");
  return dirs;
}

std::string FindHelper(const std::string& name, const std::vector<std::string>& dirs) {
  for (const std::string& dir : dirs) {
    const std::string path = dir + "/" + name;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0)
      return path;
  }
  return {};
}

const char* DeviceOfService(const std::string& name) {
  return name == "mapmem" ? protocol::kMapMemDevice : protocol::kPortIoDevice;
}

std::string UnitFileText(const std::string& name, const std::string& program) {
  const bool portio = name != "mapmem";
  std::string text;
  text += "# Velmo helper service " + name +
          (portio ? ": the monitor's I/O-port requests" : ": the BIOS identification window");
  text += std::string(" on /run/velmo/") + DeviceOfService(name) + "\n";
  text += "[Unit]\n";
  text += "Description=Velmo " + name + " helper service\n";
  text += "\n[Service]\n";
  text += "Type=notify\n";
  text += "ExecStart=" + program + "\n";
  text += "Restart=on-failure\n";
  text += "TimeoutStartSec=10\n";
  text += "RuntimeDirectory=velmo\n";
  text += "RuntimeDirectoryMode=0755\n";
  text += "RuntimeDirectoryPreserve=yes\n";
  if (!portio) {
    text += "# The window, as the Parameters values of the original driver:\n";
    text += "#Environment=MAPMEM_DEVICE_ADDRESS=0xFECE0 MAPMEM_DEVICE_SIZE=0x20\n";
  }
  text += "NoNewPrivileges=yes\n";
  text += "# CAP_CHOWN only to give the socket to the group velmo: the helper drops it then.\n";
  text += "CapabilityBoundingSet=CAP_SYS_RAWIO CAP_CHOWN\n";
  text += "DevicePolicy=closed\n";
  text += portio ? "DeviceAllow=/dev/port rw\n" : "DeviceAllow=/dev/mem r\n";
  text += "ProtectSystem=strict\n";
  text += "ProtectHome=yes\n";
  text += "PrivateTmp=yes\n";
  text += "PrivateNetwork=yes\n";
  text += "RestrictAddressFamilies=AF_UNIX\n";
  text += "ProtectKernelTunables=yes\n";
  text += "ProtectKernelModules=yes\n";
  text += "ProtectKernelLogs=yes\n";
  text += "ProtectControlGroups=yes\n";
  text += "ProtectHostname=yes\n";
  text += "ProtectClock=yes\n";
  text += "ProtectProc=invisible\n";
  text += "ProcSubset=pid\n";
  text += "PrivateMounts=yes\n";
  text += "IPAddressDeny=any\n";
  text += "RestrictNamespaces=yes\n";
  text += "RestrictRealtime=yes\n";
  text += "RestrictSUIDSGID=yes\n";
  text += "LockPersonality=yes\n";
  text += "MemoryDenyWriteExecute=yes\n";
  text += "SystemCallArchitectures=native\n";
  text +=
      portio ? "SystemCallFilter=@system-service @raw-io\n" : "SystemCallFilter=@system-service\n";
  text += "UMask=0077\n";
  text += "\n[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

SystemdServiceManager::SystemdServiceManager(std::string systemctl, std::string unitDir,
                                             std::vector<std::string> helperDirs)
    : systemctl_(std::move(systemctl)),
      unitDir_(std::move(unitDir)),
      helperDirs_(std::move(helperDirs)) {}

bool SystemdServiceManager::Open() {
  // Answered by the manager itself over D-Bus: fails where systemd does not run.
  std::string version;
  return RunCommand({systemctl_, "show", "--property=Version", "--value"}, &version) == 0 &&
         !Trim(version).empty();
}

bool SystemdServiceManager::Exists(const std::string& name) {
  std::string state;
  return RunCommand({systemctl_, "show", "--property=LoadState", "--value", Unit(name)}, &state) ==
             0 &&
         Trim(state) == "loaded";
}

bool SystemdServiceManager::Create(const std::string& name) {
  if (::geteuid() != 0) return false;  // only root may add a system unit
  const std::string program = FindHelper(name, helperDirs_);
  if (program.empty()) return false;
  if (!WriteFileAtomically(unitDir_ + "/" + Unit(name), UnitFileText(name, program))) return false;
  return RunCommand({systemctl_, "daemon-reload"}) == 0 &&
         RunCommand({systemctl_, "enable", Unit(name)}) == 0;
}

bool SystemdServiceManager::IsRunning(const std::string& name) {
  return RunCommand({systemctl_, "is-active", "--quiet", Unit(name)}) == 0;
}

bool SystemdServiceManager::Start(const std::string& name) {
  return RunCommand({systemctl_, "start", Unit(name)}) == 0;
}

SpawnServiceManager::SpawnServiceManager(std::vector<std::string> helperArgs,
                                         std::vector<std::string> helperDirs)
    : helperArgs_(std::move(helperArgs)), helperDirs_(std::move(helperDirs)) {}

bool SpawnServiceManager::Exists(const std::string& name) {
  return !FindHelper(name, helperDirs_).empty();
}

bool SpawnServiceManager::IsRunning(const std::string& name) {
  return DeviceConnection::Open(DeviceOfService(name)).has_value();
}

bool SpawnServiceManager::Start(const std::string& name) {
  const std::string program = FindHelper(name, helperDirs_);
  if (program.empty()) return false;
  std::vector<std::string> args = {program};
  args.insert(args.end(), helperArgs_.begin(), helperArgs_.end());
  const std::string dir = protocol::DeviceDir();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return SpawnDetached(std::move(args), dir + "/" + name + ".log");
}

std::unique_ptr<ServiceManager> MakeServiceManager(const std::vector<std::string>& helperArgs) {
  std::error_code ec;
  if (helperArgs.empty() && std::filesystem::is_directory("/run/systemd/system", ec))
    return std::make_unique<SystemdServiceManager>();
  return std::make_unique<SpawnServiceManager>(helperArgs);
}

}  // namespace velmo::hw
