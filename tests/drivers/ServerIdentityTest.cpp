// The monitor talks only to helpers of root or of its own user: a socket that another user put
// in the device folder gets none of its requests.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "monitor/hw/DriverBackend.h"
#include "monitor/protocol/DriverProtocol.h"
#include "tests/support/HelperRig.h"

namespace velmo::hw {
namespace {

namespace pr = protocol;

TEST(ServerIdentity, AHelperOfAnotherUserIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to serve as another user";
  test::TempDir dir;
  test::DeviceDirScope scope(dir.Path());
  ASSERT_EQ(::chown(dir.Path().c_str(), 4242, 4242), 0);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t impostor = ::fork();
  ASSERT_GE(impostor, 0);
  if (impostor == 0) {
    if (::setgid(4242) != 0 || ::setuid(4242) != 0) ::_exit(3);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = pr::DevicePath(pr::kPortIoDevice);
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0777) != 0 || ::listen(fd, 4) != 0)
      ::_exit(4);
    (void)!::write(ready[1], "x", 1);
    for (;;) {
      const int client = ::accept(fd, nullptr, nullptr);
      uint8_t request[512];
      // Had the monitor sent anything, the impostor would have read it here.
      if (client >= 0 && ::recv(client, request, sizeof request, 0) > 0) ::_exit(5);
    }
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  std::string refusal;
  EXPECT_FALSE(DeviceConnection::Open(pr::kPortIoDevice, &refusal).has_value());
  EXPECT_NE(refusal.find("is served by uid 4242, neither root nor this user; not used"),
            std::string::npos)
      << refusal;
  DriverBackend backend;
  const PortRead read = backend.ReadPort(0x295, 1);
  ASSERT_EQ(read.failures.size(), 1u);
  EXPECT_EQ(read.failures[0].error, HwError::kPortDeviceMissing);
  EXPECT_NE(read.failures[0].detail.find("uid 4242"), std::string::npos);
  int status = 0;
  EXPECT_EQ(::waitpid(impostor, &status, WNOHANG), 0) << "the impostor got a request";
  ::kill(impostor, SIGKILL);
  ::waitpid(impostor, nullptr, 0);
}

}  // namespace
}  // namespace velmo::hw
