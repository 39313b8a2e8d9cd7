// libFuzzer target: a helper's socket layer (DeviceServer with the portio device) fed by real
// client sockets. The input is a session: datagrams of any size on a few connections, clients
// closing, new clients arriving. The server must answer every datagram it keeps the connection
// for with a well-formed reply, never hold more connections than its caps, release every object
// of a closed connection, and touch no port outside the allow-list.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "drivers/common/DeviceServer.h"
#include "drivers/fuzz/FuzzInput.h"
#include "drivers/portio/PortIoDevice.h"
#include "monitor/protocol/DriverProtocol.h"

namespace {

using namespace velmo;
using drivers::PortAllowList;
using drivers::PortDirection;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

class CheckingBus : public hw::Bus {
 public:
  explicit CheckingBus(const PortAllowList& allow) : allow_(allow) {}
  uint32_t In(uint16_t port, unsigned width) override {
    Check(allow_.Allows(port, width, PortDirection::kRead));
    return port;
  }
  void Out(uint16_t port, unsigned width, uint32_t) override {
    Check(allow_.Allows(port, width, PortDirection::kWrite));
  }
  bool ReadPhysical(uint64_t, uint8_t*, size_t, std::string*) override { return false; }

 private:
  const PortAllowList& allow_;
};

// One server for the whole run, on a private folder.
struct Rig {
  std::string dir;
  std::string path;
  PortAllowList allow = PortAllowList::ForMonitor(0x6000);
  CheckingBus bus{allow};
  drivers::PortIoDevice device{bus, allow};
  std::unique_ptr<drivers::DeviceServer> server;
  Rig() {
    char pattern[] = "/tmp/velmo-fuzz-server-XXXXXX";
    Check(::mkdtemp(pattern) != nullptr);
    dir = pattern;
    path = dir + "/PortIo";
    auto listening =
        drivers::DeviceServer::Listen(path, device, drivers::PeerPolicy::ForThisProcess(), {});
    Check(listening.has_value());
    server = std::move(listening).value();
  }
  int Connect() {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd);
      return -1;
    }
    server->PollOnce(0);  // accept it
    return fd;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Rig rig;
  int clients[fuzz::kConnections];
  for (int& fd : clients)
    fd = rig.Connect();
  fuzz::StepReader reader({data, size});
  fuzz::Step step;
  while (reader.Next(&step)) {
    int& fd = clients[step.connection];
    if (step.disconnect) {
      if (fd >= 0) ::close(fd);
      fd = rig.Connect();
      continue;
    }
    if (fd < 0) continue;
    if (::send(fd, step.datagram.data(), step.datagram.size(), MSG_NOSIGNAL) < 0) continue;
    rig.server->PollOnce(0);
    uint8_t reply[protocol::kMaxBatchDatagram + 16];
    const ssize_t n = ::recv(fd, reply, sizeof reply, MSG_DONTWAIT);
    if (n > 0) {
      // Every reply is a well-formed reply datagram.
      Check(protocol::DecodeReply({reply, static_cast<size_t>(n)}).has_value());
    } else if (n == 0) {
      ::close(fd);  // the server dropped it (an oversize request, say)
      fd = rig.Connect();
    }
    Check(rig.server->ConnectionCount() <= drivers::DeviceServer::kMaxConnections);
  }
  for (int fd : clients)
    if (fd >= 0) ::close(fd);
  for (int round = 0; round < 4; ++round)
    rig.server->PollOnce(0);
  // Every connection of this input is gone, and so is everything it held.
  Check(rig.server->ConnectionCount() == 0);
  Check(rig.device.OpenObjects() == 0);
  return 0;
}
