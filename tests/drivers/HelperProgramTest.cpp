// The portio and mapmem programs on a temporary device directory and a simulated board: the
// request protocol over their sockets, clean-up after dead clients, and stopping on SIGTERM.
#include <sys/mman.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "monitor/protocol/SimClockProtocol.h"
#include "tests/support/HelperRig.h"

namespace velmo::drivers {
namespace {

namespace pr = protocol;
using hw::DeviceConnection;

constexpr const char* kBoard = R"({
  // w83782d answering chip id 0x30; register 0x28 drops at 10 s of simulated time
  "bios_id": "7K4XRQB8",
  "chip": "w83782d",
  "registers": {"0x28": 135, "0x2B": 17},
  "script": [{"at": 10, "registers": {"0x28": 100}}]
})";

class HelperPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    board_ = dir_.Write("board.json", kBoard);
    devices_ = dir_.Path() + "/dev";
    scope_ = std::make_unique<test::DeviceDirScope>(devices_);
  }
  std::unique_ptr<test::HelperProcess> Start(const char* program, const char* device,
                                             std::vector<std::string> args = {},
                                             std::vector<std::string> env = {}) {
    args.insert(args.begin(), {"--board", board_});
    auto helper = std::make_unique<test::HelperProcess>(
        program, args, devices_, dir_.File(std::string(device) + ".log"), env);
    EXPECT_TRUE(helper->WaitReady(device)) << helper->Log();
    return helper;
  }
  static pr::Reply Send(DeviceConnection& device, uint32_t code, uint32_t capacity,
                        std::vector<uint32_t> words, int* fd = nullptr) {
    const auto reply = device.Transact(code, capacity, words, fd);
    EXPECT_TRUE(reply.has_value());
    return reply.value_or(pr::Reply{0xFFFFFFFF, {}});
  }

  test::TempDir dir_;
  std::string board_, devices_;
  std::unique_ptr<test::DeviceDirScope> scope_;
};

TEST_F(HelperPrograms, PortIoProtocol) {
  auto portio = Start(VELMO_PORTIO_PROGRAM, pr::kPortIoDevice);
  auto device = DeviceConnection::Open(pr::kPortIoDevice);
  ASSERT_TRUE(device);
  const uint32_t index = *Send(*device, pr::kIoctlPortIoOpen, 4, {0x295, 1, 1}).Word(0);
  const uint32_t data = *Send(*device, pr::kIoctlPortIoOpen, 4, {0x296, 1, 1}).Word(0);
  EXPECT_NE(index, 0u);
  EXPECT_NE(index, data);
  EXPECT_EQ(Send(*device, pr::kIoctlPortIoWrite, 0, {index, 0, 0x58}).status, pr::kStatusSuccess);
  const pr::Reply chipId = Send(*device, pr::kIoctlPortIoRead, 4, {data, 0});
  EXPECT_EQ(chipId.output.size(), 4u);
  EXPECT_EQ(chipId.Word(0), 0x30u);  // zero-extended
  EXPECT_EQ(Send(*device, pr::kIoctlPortIoRead, 4, {data, 1}).status, pr::kStatusInvalidParameter);

  const uint32_t odd = *Send(*device, pr::kIoctlPortIoOpen, 4, {0x296, 3, 1}).Word(0);
  EXPECT_EQ(Send(*device, pr::kIoctlPortIoRead, 4, {odd, 0}).Word(0), 0xFFFFFFFFu);
  EXPECT_EQ(Send(*device, pr::kIoctlPortIoWrite, 0, {odd, 0, 1}).status, pr::kStatusSuccess);

  for (uint32_t handle : {index, data, odd})
    EXPECT_EQ(Send(*device, pr::kIoctlPortIoClose, 0, {handle}).status, pr::kStatusSuccess);
  EXPECT_EQ(Send(*device, pr::kIoctlPortIoClose, 0, {data}).status, pr::kStatusInvalidParameter);
  EXPECT_EQ(Send(*device, pr::ControlCode(9), 4, {}).status, pr::kStatusInvalidParameter);
  EXPECT_EQ(Send(*device, pr::kIoctlPortIoOpen, 4, {0x80, 1, 1}).status, pr::kStatusAccessDenied);

  // An oversize datagram is refused, and the connection still serves the next request.
  const auto oversize = device->TransactRaw(std::vector<uint8_t>(pr::kMaxDatagram + 40, 0));
  ASSERT_TRUE(oversize);
  EXPECT_EQ(oversize->status, pr::kStatusInvalidParameter);
  EXPECT_EQ(Send(*device, pr::kIoctlPortIoOpen, 4, {0x295, 1, 1}).status, pr::kStatusSuccess);
}

TEST_F(HelperPrograms, MapMemHandsOutTheWindow) {
  auto mapmem = Start(VELMO_MAPMEM_PROGRAM, pr::kMapMemDevice);
  auto device = DeviceConnection::Open(pr::kMapMemDevice);
  ASSERT_TRUE(device);
  EXPECT_EQ(Send(*device, pr::kIoctlMapMemMap, 3, {}).status, pr::kStatusBufferTooSmall);
  std::string seen[2];
  for (std::string& text : seen) {
    int fd = -1;
    // The same code that opens a port range on PortIo maps the window here.
    const pr::Reply reply = Send(*device, pr::kIoctlPortIoOpen, 4, {}, &fd);
    ASSERT_EQ(reply.status, pr::kStatusSuccess);
    EXPECT_EQ(reply.Word(0), 0xCE0u);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, 4096);
    void* view = ::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(view, MAP_FAILED);
    text.assign(static_cast<const char*>(view) + 0xCE0, 8);
    ::munmap(view, 4096);
    ::close(fd);
  }
  EXPECT_EQ(seen[0], "7K4XRQB8");
  EXPECT_EQ(seen[1], seen[0]);
  EXPECT_EQ(Send(*device, pr::kIoctlMapMemUnmap, 0, {}).status, pr::kStatusSuccess);
  EXPECT_EQ(Send(*device, pr::kIoctlMapMemUnmap, 0, {}).status, pr::kStatusSuccess);
  EXPECT_EQ(Send(*device, pr::kIoctlPortIoRead, 0, {}).status, pr::kStatusSuccess);  // UNMAP
  EXPECT_EQ(Send(*device, pr::kIoctlPortIoWrite, 0, {}).status, pr::kStatusInvalidParameter);
}

TEST_F(HelperPrograms, MapMemWindowFromOptionsAndEnvironment) {
  struct Row {
    std::vector<std::string> args;
    std::vector<std::string> env;
    uint32_t offset;
    off_t size;
  };
  const Row rows[] = {
      {{"--device-address", "0xFEFF0", "--device-size", "0x20"}, {}, 0xFF0, 0x2000},
      {{}, {"MAPMEM_DEVICE_ADDRESS=0xF0800", "MAPMEM_DEVICE_SIZE=0x1000"}, 0x800, 0x2000},
      {{"--device-size", "16"}, {"MAPMEM_DEVICE_SIZE=0x4000"}, 0xCE0, 0x1000},  // option wins
  };
  for (const Row& row : rows) {
    auto mapmem = Start(VELMO_MAPMEM_PROGRAM, pr::kMapMemDevice, row.args, row.env);
    auto device = DeviceConnection::Open(pr::kMapMemDevice);
    ASSERT_TRUE(device);
    int fd = -1;
    const pr::Reply reply = Send(*device, pr::kIoctlMapMemMap, 4, {}, &fd);
    EXPECT_EQ(reply.Word(0), row.offset) << mapmem->Log();
    struct stat st {};
    EXPECT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, row.size);
    ::close(fd);
    device.reset();
    EXPECT_EQ(mapmem->Stop(), 0);
  }
}

TEST_F(HelperPrograms, DeadClientsLeaveNothingBehind) {
  auto portio = Start(VELMO_PORTIO_PROGRAM, pr::kPortIoDevice);
  auto mapmem = Start(VELMO_MAPMEM_PROGRAM, pr::kMapMemDevice);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Opens three ports and the window, then waits to be killed without closing anything.
    auto ports = DeviceConnection::Open(pr::kPortIoDevice);
    auto window = DeviceConnection::Open(pr::kMapMemDevice);
    bool ok = ports && window;
    for (int i = 0; ok && i < 3; ++i) {
      const uint32_t open[] = {0x295, 1, 1};
      const auto reply = ports->Transact(pr::kIoctlPortIoOpen, 4, open);
      ok = reply && reply->status == pr::kStatusSuccess;
    }
    int fd = -1;
    ok = ok && window->Transact(pr::kIoctlMapMemMap, 4, {}, &fd).has_value();
    const char byte = ok ? 'y' : 'n';
    (void)!::write(ready[1], &byte, 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(byte, 'y');
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(test::WaitFor([&] {
    return portio->Log().find("closed with 3 object(s) open; released them, 0 open") !=
           std::string::npos;
  })) << portio->Log();
  EXPECT_TRUE(test::WaitFor([&] {
    return mapmem->Log().find("closed with 1 object(s) open; released them, 0 open") !=
           std::string::npos;
  })) << mapmem->Log();
}

TEST_F(HelperPrograms, StopOnSigtermRemovesTheSocket) {
  auto portio = Start(VELMO_PORTIO_PROGRAM, pr::kPortIoDevice);
  auto device = DeviceConnection::Open(pr::kPortIoDevice);
  ASSERT_TRUE(device);
  const uint32_t open[] = {0x295, 1, 1};
  ASSERT_TRUE(device->Transact(pr::kIoctlPortIoOpen, 4, open));
  EXPECT_EQ(portio->Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(devices_ + "/PortIo"));
  EXPECT_NE(portio->Log().find("stopped by signal 15; released 1 open object(s)"),
            std::string::npos)
      << portio->Log();
  EXPECT_FALSE(device->Transact(pr::kIoctlPortIoOpen, 4, open).has_value());
}

TEST_F(HelperPrograms, RefusesToStartTwiceOrOnAForeignFile) {
  auto portio = Start(VELMO_PORTIO_PROGRAM, pr::kPortIoDevice);
  test::HelperProcess second(VELMO_PORTIO_PROGRAM, {"--board", board_}, devices_,
                             dir_.File("second.log"));
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_NE(second.Log().find("is already being served"), std::string::npos) << second.Log();
  EXPECT_TRUE(DeviceConnection::Open(pr::kPortIoDevice));  // the first one still serves

  test::TempDir other;
  std::ofstream(other.File("MAPMEM0")) << "not a socket";
  test::HelperProcess mapmem(VELMO_MAPMEM_PROGRAM, {"--board", board_}, other.Path(),
                             dir_.File("third.log"));
  EXPECT_EQ(mapmem.Wait(), 1);
  EXPECT_NE(mapmem.Log().find("exists and is not a socket"), std::string::npos);
  EXPECT_EQ(test::ReadText(other.File("MAPMEM0")), "not a socket");
}

TEST_F(HelperPrograms, StaleSocketOfADeadHelperIsReplaced) {
  auto portio = Start(VELMO_PORTIO_PROGRAM, pr::kPortIoDevice);
  ::kill(portio->Pid(), SIGKILL);  // leaves its socket file behind
  portio->Wait();
  ASSERT_TRUE(std::filesystem::exists(devices_ + "/PortIo"));
  auto next = Start(VELMO_PORTIO_PROGRAM, pr::kPortIoDevice);
  EXPECT_TRUE(DeviceConnection::Open(pr::kPortIoDevice));
}

}  // namespace
}  // namespace velmo::drivers
