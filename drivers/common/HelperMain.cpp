#include "drivers/common/HelperMain.h"

#include <linux/capability.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstring>

#include "monitor/hw/KernelPortClaims.h"
#include "monitor/hwmon/KernelOwnership.h"
#include "monitor/protocol/DriverProtocol.h"
#include "sim/SimulatedBoard.h"

namespace velmo::drivers {

HelperBus LoadBoard(const std::string& boardPath, std::string* error) {
  HelperBus result;
  std::unique_ptr<sim::SimulatedBoard> board = sim::SimulatedBoard::Load(boardPath, error);
  result.board = board.get();
  if (board && board->UsesMachineHwmon()) {
    // The machine's hwmon stands for this board's: a driver's device there owns its chip.
    result.bus = std::make_unique<hw::ClaimGuardBus>(std::move(board), hwmon::ReadHwmonClaims());
    return result;
  }
  result.bus = std::move(board);
  return result;
}

base::WarningSink StderrLog(const std::string& program) {
  return [program](const std::string& text) {
    const std::string line = program + ": " + text + "\n";
    (void)!::write(STDERR_FILENO, line.data(), line.size());
  };
}

void NotifyReady() {
  (void)sd_notify(0, "READY=1");
}

bool DropCapabilities(bool keepRawIo) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  const uint32_t rawIo = 1u << CAP_SYS_RAWIO;  // capability 17: in the first word
  uint32_t keep = keepRawIo ? rawIo : 0u;
  for (auto& word : data) {
    word.effective &= keep;
    word.permitted &= keep;
    word.inheritable = 0;
    keep = 0;
  }
  return ::syscall(SYS_capset, &header, data) == 0;
}

namespace {

// The socket systemd passed for `path`: nullopt when none was passed; an error when what was
// passed is not that socket (a unit listening elsewhere would leave the monitor without its
// device).
base::Expected<std::optional<int>> PassedSocket(const std::string& path) {
  const int count = sd_listen_fds(1);  // also clears LISTEN_FDS for anything started later
  if (count < 0)
    return base::Error{std::string("cannot read the sockets passed: ") + std::strerror(-count),
                       -count};
  if (count == 0) return std::optional<int>();
  if (count > 1)
    return base::Error{std::to_string(count) + " sockets passed, expected the one of " + path};
  if (sd_is_socket_unix(SD_LISTEN_FDS_START, SOCK_SEQPACKET, 1, path.c_str(), 0) <= 0)
    return base::Error{"the socket passed is not a listening SOCK_SEQPACKET socket at " + path};
  return std::optional<int>(SD_LISTEN_FDS_START);
}

}  // namespace

int ServeDevice(const char* device, RequestHandler& handler, bool keepRawIo,
                const base::WarningSink& log, std::chrono::seconds idleExit) {
  // The signals arrive through a descriptor, so the poll loop ends between two requests.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  const int stopFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (stopFd < 0) {
    log(std::string("signalfd: ") + std::strerror(errno));
    return 1;
  }

  const std::string path = protocol::DevicePath(device);
  const auto socket = PassedSocket(path);
  const PeerPolicy policy = PeerPolicy::ForThisProcess();
  auto served = !socket          ? base::Expected<std::unique_ptr<DeviceServer>>(socket.error())
                : socket.value() ? DeviceServer::Adopt(*socket.value(), handler, policy, log)
                                 : DeviceServer::Listen(path, handler, policy, log);
  if (!served) {
    log(served.error().message);
    ::close(stopFd);
    return 1;
  }
  std::unique_ptr<DeviceServer> server = std::move(served).value();
  const int passed = socket.value().value_or(-1);
  if (!DropCapabilities(keepRawIo))
    log(std::string("cannot drop capabilities: ") + std::strerror(errno));
  // Only a helper its socket brings back may end when idle: one that made its own socket would
  // take the device away with it.
  const std::chrono::milliseconds idle = passed >= 0 ? idleExit : std::chrono::seconds(0);
  log("serving " + path + (passed >= 0 ? " (socket passed by systemd)" : ""));
  NotifyReady();
  if (server->Run(stopFd, idle) == DeviceServer::RunEnd::kIdle) {
    server.reset();
    log("no client for " + std::to_string(idleExit.count()) + " s; ending");
    ::close(stopFd);
    return 0;
  }

  signalfd_siginfo info{};
  (void)!::read(stopFd, &info, sizeof info);
  ::close(stopFd);
  const size_t open = handler.OpenObjects();
  server.reset();
  log("stopped by signal " + std::to_string(info.ssi_signo) + "; released " + std::to_string(open) +
      " open object(s)");
  return 0;
}

}  // namespace velmo::drivers
