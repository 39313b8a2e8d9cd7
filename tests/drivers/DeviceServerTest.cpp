// The helpers' socket server in this process: who may connect, what the socket file looks like,
// and how many clients it takes.
#include "drivers/common/DeviceServer.h"

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "drivers/portio/PortIoDevice.h"
#include "tests/support/HelperRig.h"
#include "tests/support/RecordingBus.h"

namespace velmo::drivers {
namespace {

namespace pr = protocol;

TEST(PeerPolicy, RootTheHelpersUserOrTheGroup) {
  const PeerPolicy policy{1000, 500};
  const PeerPolicy noGroup{1000, std::nullopt};
  struct Row {
    PeerCredentials peer;
    std::vector<gid_t> groups;
    bool allowed;
    bool allowedWithoutGroup;
  };
  const Row rows[] = {
      {{1, 0, 0}, {}, true, true},               // root
      {{1, 1000, 1000}, {}, true, true},         // the helper's own user
      {{1, 1001, 500}, {}, true, false},         // primary group velmo
      {{1, 1001, 100}, {20, 500}, true, false},  // supplementary group velmo
      {{1, 1001, 100}, {20, 501}, false, false},
      {{1, 65534, 65534}, {}, false, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PeerAllowed(row.peer, row.groups, policy), row.allowed) << row.peer.uid;
    EXPECT_EQ(PeerAllowed(row.peer, row.groups, noGroup), row.allowedWithoutGroup) << row.peer.uid;
  }
}

class DeviceServerTest : public ::testing::Test {
 protected:
  std::unique_ptr<DeviceServer> Listen(const PeerPolicy& policy) {
    auto server = DeviceServer::Listen(path_, device_, policy,
                                       [this](const std::string& line) { log_.push_back(line); });
    if (!server) {
      ADD_FAILURE() << server.error().message;
      return nullptr;
    }
    return std::move(server).value();
  }
  int Connect() {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
  }
  // Sends `datagram` on `fd` and serves until the reply is there. The reply's bytes, or nullopt
  // when the server closed the connection.
  static std::optional<std::vector<uint8_t>> Exchange(DeviceServer& server, int fd,
                                                      const std::vector<uint8_t>& datagram) {
    if (::send(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL) < 0) return std::nullopt;
    for (int round = 0; round < 200; ++round) {
      server.PollOnce(10);
      uint8_t buffer[512];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) return std::vector<uint8_t>(buffer, buffer + n);
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return std::nullopt;
    }
    return std::nullopt;
  }
  static std::vector<uint8_t> OpenRequest() {
    return pr::EncodeRequest(pr::kIoctlPortIoOpen, 4, std::vector<uint32_t>{0x295, 1, 1});
  }

  test::TempDir dir_;
  std::string path_ = dir_.File("sub/PortIo");  // the directory is created by the server
  test::RecordingBus bus_;
  PortIoDevice device_{bus_, PortAllowList::ForMonitor(0)};
  std::vector<std::string> log_;
};

TEST_F(DeviceServerTest, SocketModeFollowsTheGroup) {
  struct stat st {};
  {
    auto server = Listen(PeerPolicy{::geteuid(), std::nullopt});
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  EXPECT_FALSE(std::filesystem::exists(path_));  // removed with the server
  if (::geteuid() != 0) GTEST_SKIP() << "giving the socket to another group needs root";
  const struct group* daemonGroup = ::getgrnam("daemon");
  ASSERT_TRUE(daemonGroup);
  auto server = Listen(PeerPolicy{0, daemonGroup->gr_gid});
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0660u);
  EXPECT_EQ(st.st_gid, daemonGroup->gr_gid);
}

TEST_F(DeviceServerTest, PeersOutsideThePolicyAreDisconnectedUnheard) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  const gid_t group = 4242;  // the "velmo" group of this test
  auto server = Listen(PeerPolicy{0, group});
  ::chmod(dir_.Path().c_str(), 0755);
  ::chmod((dir_.Path() + "/sub").c_str(), 0755);
  ::chmod(path_.c_str(), 0777);  // let the file system pass everyone: the peer check decides

  struct Row {
    const char* who;
    std::vector<gid_t> groups;
    bool served;
  };
  const Row rows[] = {{"nobody", {}, false}, {"nobody in the group", {group}, true}};
  for (const Row& row : rows) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgroups(row.groups.size(), row.groups.data()) != 0 || ::setgid(65534) != 0 ||
          ::setuid(65534) != 0)
        ::_exit(3);
      const int fd = Connect();
      const std::vector<uint8_t> request = OpenRequest();
      (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
      uint8_t reply[64];
      const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
      ::_exit(n > 0 ? 0 : 1);
    }
    int status = 0;
    for (int round = 0; round < 500 && ::waitpid(child, &status, WNOHANG) == 0; ++round)
      server->PollOnce(10);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), row.served ? 0 : 1) << row.who;
  }
  EXPECT_TRUE(bus_.trace.empty());
  // One refusal, for the user outside the group.
  ASSERT_FALSE(log_.empty());
  EXPECT_NE(log_[0].find("refused connection from pid"), std::string::npos);
  EXPECT_NE(log_[0].find("uid 65534"), std::string::npos);
  EXPECT_EQ(std::count_if(log_.begin(), log_.end(),
                          [](const std::string& line) { return line.find("refused") == 0; }),
            1);
}

// A peer that keeps opening connections only ever loses its own oldest ones: it holds at most
// its share, the newest connection is always served, and the log says so a bounded number of times.
TEST_F(DeviceServerTest, ConnectionsOfOnePeerAreCappedAndTheNewestServed) {
  auto server = Listen(PeerPolicy::ForThisProcess());
  const int holder = Connect();  // holds a port object: the last to be closed
  ASSERT_TRUE(Exchange(*server, holder, OpenRequest()));
  std::vector<int> fds;
  for (int i = 0; i < 200; ++i) {
    fds.push_back(Connect());
    server->PollOnce(0);
  }
  EXPECT_EQ(server->ConnectionCount(), DeviceServer::kMaxConnectionsPerUser);
  EXPECT_TRUE(Exchange(*server, fds.back(), OpenRequest()).has_value());
  EXPECT_FALSE(Exchange(*server, fds.front(), OpenRequest()).has_value());  // closed for room
  EXPECT_TRUE(Exchange(*server, holder, OpenRequest()).has_value());
  // About 185 connections were closed to make room; the log holds a minute's share of them.
  EXPECT_LE(log_.size(), static_cast<size_t>(RateLimitedLog::kBurst));
  EXPECT_NE(log_.front().find("to make room for uid"), std::string::npos);
  for (int fd : fds)
    ::close(fd);
  ::close(holder);
}

// Another user holding every connection it can get does not keep the monitor out.
TEST_F(DeviceServerTest, APeerHoldingConnectionsCannotLockOutAnother) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  const gid_t group = 4242;  // the "velmo" group of this test
  auto server = Listen(PeerPolicy{0, group});
  ::chmod(dir_.Path().c_str(), 0755);
  ::chmod((dir_.Path() + "/sub").c_str(), 0755);
  ::chmod(path_.c_str(), 0777);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t hog = ::fork();
  ASSERT_GE(hog, 0);
  if (hog == 0) {
    const gid_t groups[] = {group};
    if (::setgroups(1, groups) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    std::vector<int> held;
    for (size_t i = 0; i < 4 * DeviceServer::kMaxConnections; ++i)
      held.push_back(Connect());
    (void)!::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  // Serve while the other user connects, until it holds all it could get.
  for (int round = 0; round < 5000; ++round) {
    server->PollOnce(1);
    pollfd done{ready[0], POLLIN, 0};
    if (::poll(&done, 1, 0) > 0) break;
  }
  for (int round = 0; round < 20; ++round)
    server->PollOnce(1);
  EXPECT_LE(server->ConnectionCount(), DeviceServer::kMaxConnectionsPerUser);
  const int monitor = Connect();
  EXPECT_TRUE(Exchange(*server, monitor, OpenRequest()).has_value());
  ::kill(hog, SIGKILL);
  ::waitpid(hog, nullptr, 0);
  ::close(monitor);
  ::close(ready[0]);
}

// Anyone who may write the device folder could put a socket of their own in the device's place.
TEST_F(DeviceServerTest, AFolderOthersMayWriteIsRefused) {
  const std::string open = dir_.File("open");
  std::filesystem::create_directories(open);
  std::filesystem::permissions(open, std::filesystem::perms::all);
  const auto server =
      DeviceServer::Listen(open + "/PortIo", device_, PeerPolicy::ForThisProcess(), {});
  ASSERT_FALSE(server);
  EXPECT_EQ(server.error().message,
            open + " may be written by others than its owner; refusing to serve from it");
}

TEST_F(DeviceServerTest, ConnectionEndReleasesItsPorts) {
  auto server = Listen(PeerPolicy::ForThisProcess());
  const int fd = Connect();
  for (int i = 0; i < 2; ++i) {
    const auto reply = Exchange(*server, fd, OpenRequest());
    ASSERT_TRUE(reply);
    EXPECT_EQ(pr::DecodeReply(*reply)->status, pr::kStatusSuccess);
  }
  // An empty datagram from a live client is a malformed request, not the end of it.
  const auto empty = Exchange(*server, fd, {});
  ASSERT_TRUE(empty);
  EXPECT_EQ(pr::DecodeReply(*empty)->status, pr::kStatusInvalidParameter);
  EXPECT_EQ(device_.OpenObjects(), 2u);
  ::close(fd);
  for (int round = 0; round < 100 && server->ConnectionCount(); ++round)
    server->PollOnce(10);
  EXPECT_EQ(device_.OpenObjects(), 0u);
  ASSERT_FALSE(log_.empty());
  EXPECT_NE(log_.back().find("closed with 2 object(s) open; released them, 0 open"),
            std::string::npos);
}

}  // namespace
}  // namespace velmo::drivers
