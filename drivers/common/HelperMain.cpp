#include "drivers/common/HelperMain.h"

#include <linux/capability.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "monitor/protocol/DriverProtocol.h"
#include "sim/SimulatedBoard.h"

namespace velmo::drivers {

HelperBus LoadBoard(const std::string& boardPath, std::string* error) {
  HelperBus result;
  std::unique_ptr<sim::SimulatedBoard> board = sim::SimulatedBoard::Load(boardPath, error);
  result.board = board.get();
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
  const char* socketPath = std::getenv("NOTIFY_SOCKET");
  if (!socketPath || !*socketPath) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t length = std::strlen(socketPath);
  if (length >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, socketPath, length);
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';  // abstract namespace
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  static const char kReady[] = "READY=1";
  (void)::sendto(fd, kReady, sizeof kReady - 1, MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&address),
                 static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
  ::close(fd);
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

int ServeDevice(const char* device, RequestHandler& handler, bool keepRawIo,
                const base::WarningSink& log) {
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
  std::string error;
  std::unique_ptr<DeviceServer> server =
      DeviceServer::Listen(path, handler, PeerPolicy::ForThisProcess(), log, &error);
  if (!server) {
    log(error);
    ::close(stopFd);
    return 1;
  }
  if (!DropCapabilities(keepRawIo))
    log(std::string("cannot drop capabilities: ") + std::strerror(errno));
  log("serving " + path);
  NotifyReady();
  server->Run(stopFd);

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
