// portio and mapmem started by their socket, as systemd does it: systemd-socket-activate listens
// on the device and starts the helper at the first connection, handing it the socket. Clients
// in and outside the group velmo, the idle end, and sockets the helper must not take.
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/HelperRig.h"

namespace velmo::drivers {
namespace {

namespace pr = protocol;
using hw::DeviceConnection;

constexpr gid_t kSpareVelmoGid = 47110;  // used when this machine has no group velmo

// What a client that connects as another user gets.
enum ClientResult { kServed = 0, kNoConnection = 1, kNoReply = 2, kChildFailed = 3 };

// Forks a child that takes the user `uid`, the group `gid` and the supplementary `groups`, then
// sends one request to `device`.
int ConnectAs(const char* device, uid_t uid, gid_t gid, std::vector<gid_t> groups) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
      ::_exit(kChildFailed);
    auto connection = DeviceConnection::Open(device);
    if (!connection) ::_exit(kNoConnection);
    const uint32_t words[] = {0x295, 1, 1};
    ::_exit(connection->Transact(pr::kIoctlPortIoOpen, 4, words) ? kServed : kNoReply);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : kChildFailed;
}

class SocketActivation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::geteuid(), 0u) << "playing other users needs root";
    // Other users reach the device folder, and the helper alone knows the group velmo: the
    // helper runs in a mount namespace whose /etc/group has it.
    ::chmod(dir_.Path().c_str(), 0755);
    devices_ = dir_.File("dev");
    std::filesystem::create_directories(devices_);
    ::chmod(devices_.c_str(), 0755);
    board_ = dir_.Write("board.json", R"({"bios_id": "7K4XRQB8", "chip": "w83782d"})");
    std::string groups = test::ReadText("/etc/group");
    if (const group* g = ::getgrnam("velmo")) {
      velmoGid_ = g->gr_gid;
    } else {
      velmoGid_ = kSpareVelmoGid;
      groups += "velmo:x:" + std::to_string(velmoGid_) + ":\n";
    }
    groupFile_ = dir_.Write("group", groups);
    scope_ = std::make_unique<test::DeviceDirScope>(devices_);
  }

  // systemd-socket-activate listening on `device` for `program`; extra arguments for it
  // (before the program) in `activateArgs`, for the helper in `helperArgs`.
  std::unique_ptr<test::HelperProcess> Activate(const char* program, const char* device,
                                                std::vector<std::string> helperArgs,
                                                std::vector<std::string> activateArgs = {
                                                    "--seqpacket"}) {
    std::vector<std::string> args = {"--mount",  "sh",
                                     "-c",       "mount --bind \"$0\" /etc/group && exec \"$@\"",
                                     groupFile_, "systemd-socket-activate",
                                     "-l",       pr::DevicePath(device),
                                     "-E",       "VELMO_DEVICE_DIR=" + devices_};
    args.insert(args.end(), activateArgs.begin(), activateArgs.end());
    args.insert(args.end(), {program, "--board", board_});
    args.insert(args.end(), helperArgs.begin(), helperArgs.end());
    auto process = std::make_unique<test::HelperProcess>("/usr/bin/unshare", args, devices_,
                                                         dir_.File(std::string(device) + ".log"));
    // It says so once the socket listens.
    EXPECT_TRUE(test::WaitFor([&] {
      return process->Log().find("Listening on") != std::string::npos;
    })) << process->Log();
    // A socket anyone may connect to: the helper's own check of its peers is what is tested.
    ::chmod(pr::DevicePath(device).c_str(), 0666);
    return process;
  }

  test::TempDir dir_;
  std::string devices_, board_, groupFile_;
  gid_t velmoGid_ = 0;
  std::unique_ptr<test::DeviceDirScope> scope_;
};

TEST_F(SocketActivation, StartedAtTheFirstConnectionServesTheGroupAndRefusesOthers) {
  for (const char* program : {VELMO_PORTIO_PROGRAM, VELMO_MAPMEM_PROGRAM}) {
    const bool portio = std::string(program) == VELMO_PORTIO_PROGRAM;
    const char* device = portio ? pr::kPortIoDevice : pr::kMapMemDevice;
    SCOPED_TRACE(device);
    auto helper = Activate(program, device, {"--idle-exit", "0"});
    EXPECT_EQ(helper->Log().find("serving"), std::string::npos) << "started before a client came";

    // A member of velmo through a supplementary group, and one whose primary group it is.
    EXPECT_EQ(ConnectAs(device, 4242, 4242, {velmoGid_}), kServed) << helper->Log();
    EXPECT_EQ(ConnectAs(device, 4244, velmoGid_, {}), kServed) << helper->Log();
    // Not a member: the connection is closed without a reply.
    EXPECT_EQ(ConnectAs(device, 4243, 4243, {4243}), kNoReply) << helper->Log();

    EXPECT_EQ(helper->Stop(), 0);
    const std::string log = helper->Log();
    const std::string program_name = portio ? "portio: " : "mapmem: ";
    EXPECT_NE(log.find(program_name + "serving " + pr::DevicePath(device) +
                       " (socket passed by systemd)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("refused connection from pid"), std::string::npos) << log;
    EXPECT_NE(log.find("uid 4243"), std::string::npos) << log;
    // The socket is the passer's: the helper leaves it in place.
    struct stat st;
    EXPECT_EQ(::lstat(pr::DevicePath(device).c_str(), &st), 0);
  }
}

TEST_F(SocketActivation, EndsWhenIdleButNeverDropsAQuietClient) {
  auto helper = Activate(VELMO_PORTIO_PROGRAM, pr::kPortIoDevice, {"--idle-exit", "1"});
  {
    auto device = DeviceConnection::Open(pr::kPortIoDevice);
    ASSERT_TRUE(device);
    const uint32_t words[] = {0x295, 1, 1};
    ASSERT_TRUE(device->Transact(pr::kIoctlPortIoOpen, 4, words));
    // Quiet for well over the idle time, and still served.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    const auto reply = device->Transact(pr::kIoctlPortIoOpen, 4, words);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, pr::kStatusSuccess);
  }
  // With the client gone, the helper ends by itself.
  EXPECT_EQ(helper->Wait(), 0);
  EXPECT_NE(helper->Log().find("portio: no client for 1 s; ending"), std::string::npos)
      << helper->Log();
}

TEST_F(SocketActivation, SocketThatIsNotTheDeviceIsRefused) {
  struct Row {
    const char* what;
    std::vector<std::string> activateArgs;
    int clientType;
  };
  const Row rows[] = {
      {"a stream socket", {}, SOCK_STREAM},
      {"two sockets", {"--seqpacket", "-l", dir_.File("other")}, SOCK_SEQPACKET},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto helper = Activate(VELMO_PORTIO_PROGRAM, pr::kPortIoDevice, {}, row.activateArgs);
    // Any connection makes systemd-socket-activate start the helper.
    const int fd = ::socket(AF_UNIX, row.clientType | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                  pr::DevicePath(pr::kPortIoDevice).c_str());
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(helper->Wait(), 1);
    ::close(fd);
    const std::string log = helper->Log();
    EXPECT_EQ(log.find("serving"), std::string::npos) << log;
    EXPECT_TRUE(log.find("is not a listening SOCK_SEQPACKET socket") != std::string::npos ||
                log.find("2 sockets passed") != std::string::npos)
        << log;
    std::filesystem::remove(pr::DevicePath(pr::kPortIoDevice));
    std::filesystem::remove(dir_.File("other"));
  }
}

}  // namespace
}  // namespace velmo::drivers
