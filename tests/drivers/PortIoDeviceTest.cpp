// The portio request handling as a unit: statuses, outputs and the port accesses it makes.
#include "drivers/portio/PortIoDevice.h"

#include <gtest/gtest.h>

#include "monitor/hw/SimClockProtocol.h"
#include "tests/support/RecordingBus.h"

namespace velmo::drivers {
namespace {

namespace pr = hw::protocol;
using Lines = std::vector<std::string>;

constexpr uint32_t kOpen = pr::kIoctlPortIoOpen, kRead = pr::kIoctlPortIoRead,
                   kWrite = pr::kIoctlPortIoWrite, kClose = pr::kIoctlPortIoClose;
constexpr uint32_t kOk = pr::kStatusSuccess, kInvalid = pr::kStatusInvalidParameter,
                   kDenied = pr::kStatusAccessDenied,
                   kNoResources = pr::kStatusInsufficientResources;

// One device over a recording bus; requests return the decoded reply.
struct Rig {
  test::RecordingBus bus;
  std::vector<uint32_t> advanced;
  PortIoDevice device;
  explicit Rig(uint16_t viaBase = 0, bool board = false)
      : device(bus, PortAllowList::ForMonitor(viaBase),
               board ? PortIoDevice::AdvanceClock([this](uint32_t s) { advanced.push_back(s); })
                     : PortIoDevice::AdvanceClock()) {}

  pr::Reply Send(uint32_t code, uint32_t capacity, std::vector<uint32_t> words, uint64_t conn = 1) {
    return SendRaw(pr::EncodeRequest(code, capacity, words), conn);
  }
  pr::Reply SendRaw(const std::vector<uint8_t>& datagram, uint64_t conn = 1) {
    const std::optional<pr::Reply> reply = pr::DecodeReply(device.Handle(conn, datagram));
    EXPECT_TRUE(reply.has_value());
    return reply.value_or(pr::Reply{0xFFFFFFFF, {}});
  }
  uint32_t Open(uint32_t port, uint32_t width, uint32_t count = 1, uint64_t conn = 1) {
    const pr::Reply reply = Send(kOpen, 4, {port, width, count}, conn);
    EXPECT_EQ(reply.status, kOk) << "OPEN " << test::Hex(port);
    return reply.Word(0).value_or(0);
  }
};

TEST(PortIoDevice, ConversationReadsAndWritesThroughTheHandle) {
  Rig rig;
  rig.bus.inputs[0x296] = 0x1a7;  // wider than a byte: only what the bus returns for width 1
  const uint32_t handle = rig.Open(0x296, 1);
  EXPECT_NE(handle, 0u);
  const pr::Reply read = rig.Send(kRead, 4, {handle, 0});
  EXPECT_EQ(read.status, kOk);
  EXPECT_EQ(read.output.size(), 4u);
  EXPECT_EQ(read.Word(0), 0x1a7u);
  const pr::Reply written = rig.Send(kWrite, 0, {handle, 0, 0x1234});
  EXPECT_EQ(written.status, kOk);
  EXPECT_TRUE(written.output.empty());
  EXPECT_EQ(rig.Send(kClose, 0, {handle}).status, kOk);
  EXPECT_EQ(rig.Send(kClose, 0, {handle}).status, kInvalid);  // closed twice
  EXPECT_EQ(rig.bus.trace, (Lines{"in 1 0x296 0x1a7", "out 1 0x296 0x1234"}));
  EXPECT_EQ(rig.device.OpenObjects(), 0u);
}

TEST(PortIoDevice, RefusedRequestsTouchNoPort) {
  struct Row {
    const char* what;
    uint32_t code;
    uint32_t capacity;
    std::vector<uint32_t> words;  // {H} stands for the open handle of 0x295 (count 1, width 1)
    uint32_t status;
  };
  constexpr uint32_t H = 0xFFFFFFF0;
  const Row rows[] = {
      {"READ offset at the count", kRead, 4, {H, 1}, kInvalid},
      {"WRITE offset at the count", kWrite, 0, {H, 1, 0}, kInvalid},
      {"READ with handle 0", kRead, 4, {0, 0}, kInvalid},
      {"READ unknown handle", kRead, 4, {H + 1, 0}, kInvalid},
      {"READ output under 4 bytes", kRead, 3, {H, 0}, kInvalid},
      {"READ input too short", kRead, 4, {H}, kInvalid},
      {"WRITE input too short", kWrite, 0, {H, 0}, kInvalid},
      {"CLOSE without input", kClose, 0, {}, kInvalid},
      {"OPEN input too short", kOpen, 4, {0x295, 1}, kInvalid},
      {"OPEN output under 4 bytes", kOpen, 3, {0x295, 1, 1}, kInvalid},
      {"OPEN past port 0xFFFF", kOpen, 4, {0xFFFF, 1, 2}, kInvalid},
      {"OPEN beyond 16 bits", kOpen, 4, {0x10295, 1, 1}, kInvalid},
      {"OPEN huge count", kOpen, 4, {0x295, 1, 0xFFFFFFFF}, kInvalid},
      {"unknown code", pr::ControlCode(7), 4, {H, 0}, kInvalid},
      {"mapmem's UNMAP code means READ here", pr::kIoctlMapMemUnmap, 4, {H, 5}, kInvalid},
      {"clock request without a board", pr::kIoctlPortIoAdvanceClock, 0, {10}, kInvalid},
      // The allow-list: ranges outside it at OPEN, directions and widths at READ/WRITE.
      {"OPEN port 0x80", kOpen, 4, {0x80, 1, 1}, kDenied},
      {"OPEN 0x294-0x295", kOpen, 4, {0x294, 1, 2}, kDenied},
      {"OPEN 0x296-0x297", kOpen, 4, {0x296, 1, 2}, kDenied},
      {"OPEN the keyboard controller", kOpen, 4, {0x64, 1, 1}, kDenied},
  };
  for (const Row& row : rows) {
    Rig rig;
    const uint32_t handle = rig.Open(0x295, 1);
    std::vector<uint32_t> words = row.words;
    for (uint32_t& w : words) {
      if (w == H) w = handle;
      if (w == H + 1) w = handle + 1;
    }
    const pr::Reply reply = rig.Send(row.code, row.capacity, words);
    EXPECT_EQ(reply.status, row.status) << row.what;
    EXPECT_TRUE(reply.output.empty()) << row.what;
    EXPECT_TRUE(rig.bus.trace.empty()) << row.what;
    EXPECT_EQ(rig.device.OpenObjects(), 1u) << row.what;
  }
}

TEST(PortIoDevice, AllowListDirectionsAndWidths) {
  struct Row {
    uint32_t port;
    uint32_t width;
    bool read;
    bool write;
  };
  const Row rows[] = {
      {0x295, 1, true, true},   {0x296, 1, true, true},  {0x295, 2, true, true},
      {0xEB, 1, false, true},   {0xCF8, 4, false, true}, {0xCF8, 1, false, false},
      {0xCF9, 1, false, false},  // the reset control register of many chipsets
      {0xCFC, 4, true, false},  {0xCFE, 2, true, false}, {0xCFF, 1, true, false},
      {0xCFF, 2, false, false},  // would spill to 0xD00
      {0x296, 2, false, false},  // spills to 0x297
  };
  for (const Row& row : rows) {
    Rig rig;
    rig.bus.inputs[static_cast<uint16_t>(row.port)] = 0x5a;
    const pr::Reply opened = rig.Send(kOpen, 4, {row.port, row.width, 1});
    ASSERT_EQ(opened.status, kOk) << test::Hex(row.port);
    const uint32_t handle = *opened.Word(0);
    EXPECT_EQ(rig.Send(kRead, 4, {handle, 0}).status, row.read ? kOk : kDenied)
        << "read " << test::Hex(row.port) << " width " << row.width;
    EXPECT_EQ(rig.Send(kWrite, 0, {handle, 0, 0x11223344}).status, row.write ? kOk : kDenied)
        << "write " << test::Hex(row.port) << " width " << row.width;
    EXPECT_EQ(rig.bus.trace.size(), size_t{row.read} + size_t{row.write}) << test::Hex(row.port);
  }
}

TEST(PortIoDevice, WidthThreeReadsAllOnesAndWritesNothing) {
  Rig rig;
  const uint32_t handle = rig.Open(0x295, 3);
  EXPECT_EQ(rig.Send(kRead, 4, {handle, 0}).Word(0), 0xFFFFFFFFu);
  EXPECT_EQ(rig.Send(kWrite, 0, {handle, 0, 0x42}).status, kOk);
  EXPECT_TRUE(rig.bus.trace.empty());
}

TEST(PortIoDevice, RangeOffsetsAndLargerBuffers) {
  Rig rig;
  rig.bus.inputs[0xCFE] = 0xbeef;
  // Four byte lanes as one range; trailing input words and a large output are accepted.
  const pr::Reply opened = rig.Send(kOpen, 64, {0xCFC, 2, 4, 0xdead});
  ASSERT_EQ(opened.status, kOk);
  EXPECT_EQ(opened.output.size(), 4u);
  EXPECT_EQ(rig.Send(kRead, 16, {*opened.Word(0), 2, 99}).Word(0), 0xbeefu);
  EXPECT_EQ(rig.Send(kRead, 4, {*opened.Word(0), 4}).status, kInvalid);
  EXPECT_EQ(rig.bus.trace, (Lines{"in 2 0xcfe 0xbeef"}));
}

TEST(PortIoDevice, HandlesBelongToTheirConnection) {
  Rig rig;
  const uint32_t first = rig.Open(0x295, 1, 1, /*conn=*/1);
  const uint32_t second = rig.Open(0x295, 1, 1, /*conn=*/2);
  EXPECT_NE(first, second);
  EXPECT_EQ(rig.Send(kRead, 4, {first, 0}, 2).status, kInvalid);
  EXPECT_EQ(rig.Send(kClose, 0, {first}, 2).status, kInvalid);
  EXPECT_EQ(rig.device.OpenObjects(), 2u);
  EXPECT_EQ(rig.device.Disconnect(1), 1u);
  EXPECT_EQ(rig.device.Disconnect(1), 0u);
  EXPECT_EQ(rig.Send(kRead, 4, {first, 0}, 1).status, kInvalid);
  EXPECT_EQ(rig.device.OpenObjects(), 1u);
  EXPECT_EQ(rig.Send(kClose, 0, {second}, 2).status, kOk);
  EXPECT_EQ(rig.device.OpenObjects(), 0u);
}

TEST(PortIoDevice, PortObjectsPerConnectionAreCapped) {
  Rig rig;
  std::vector<uint32_t> handles;
  for (size_t i = 0; i < PortIoDevice::kMaxPortsPerConnection; ++i)
    handles.push_back(rig.Open(0x295, 1));
  EXPECT_EQ(rig.Send(kOpen, 4, {0x295, 1, 1}).status, kNoResources);
  EXPECT_NE(rig.Open(0x295, 1, 1, /*conn=*/2), 0u);  // another connection has its own budget
  EXPECT_EQ(rig.Send(kClose, 0, {handles[10]}).status, kOk);
  EXPECT_NE(rig.Open(0x295, 1), 0u);
  std::sort(handles.begin(), handles.end());
  EXPECT_EQ(std::adjacent_find(handles.begin(), handles.end()), handles.end());
  EXPECT_EQ(std::count(handles.begin(), handles.end(), 0u), 0);
}

TEST(PortIoDevice, MalformedDatagramsGetAnErrorStatus) {
  Rig rig;
  const std::vector<std::vector<uint8_t>> datagrams = {
      {},
      {0x00, 0x00, 0x22},                                   // shorter than the header
      std::vector<uint8_t>(pr::kMaxDatagram + 1, 0),        // oversize
      {0x00, 0x00, 0x22, 0x00, 4, 0, 0, 0, 0x95, 0x02, 0},  // OPEN cut inside its first word
  };
  for (const auto& datagram : datagrams) {
    const pr::Reply reply = rig.SendRaw(datagram);
    EXPECT_EQ(reply.status, kInvalid) << datagram.size() << " bytes";
    EXPECT_TRUE(reply.output.empty());
  }
  EXPECT_EQ(rig.device.OpenObjects(), 0u);
}

TEST(PortIoDevice, ViaMonitorBlockFromPciConfiguration) {
  test::RecordingBus bus;
  bus.responder = [&bus](uint16_t port, unsigned width) -> std::optional<uint32_t> {
    if (port != 0xCFC || bus.trace.empty()) return std::nullopt;
    const std::string& select = bus.trace.back();
    if (select == "out 4 0xcf8 0x80003800") return 0x06861106u;
    if (select == "out 4 0xcf8 0x80003c70") return width == 2 ? 0x6001u : 0xFFFF6001u;
    return std::nullopt;
  };
  EXPECT_EQ(PortAllowList::ProbeViaBase(bus), 0x6000);
  const PortAllowList list = PortAllowList::ForMonitor(0x6000);
  EXPECT_TRUE(list.Allows(0x6000, 1, PortDirection::kRead));
  EXPECT_TRUE(list.Allows(0x607F, 1, PortDirection::kWrite));
  EXPECT_FALSE(list.Allows(0x607F, 2, PortDirection::kRead));
  EXPECT_FALSE(list.Names(0x6080));
  EXPECT_FALSE(list.Names(0x5FFF));

  test::RecordingBus absent;  // no 686A at 0:7.0: no block
  EXPECT_EQ(PortAllowList::ProbeViaBase(absent), 0);
  // Bases that would open other ports are not taken.
  for (uint16_t base : {0x0000, 0x0080, 0x0280, 0x0C80, 0x0380})
    EXPECT_EQ(PortAllowList::ForMonitor(base).Rules().size(), 4u) << test::Hex(base);
  EXPECT_FALSE(PortAllowList::ForMonitor(0x0C80).Allows(0xCF9, 1, PortDirection::kWrite));
  EXPECT_EQ(PortAllowList::ForMonitor(0xFF80).Rules().size(), 5u);
  EXPECT_TRUE(PortAllowList::ForMonitor(0xFF80).Allows(0xFFFF, 1, PortDirection::kRead));
}

TEST(PortIoDevice, ClockRequestOnlyWithABoard) {
  Rig rig(0, /*board=*/true);
  EXPECT_EQ(rig.Send(pr::kIoctlPortIoAdvanceClock, 0, {10}).status, kOk);
  EXPECT_EQ(rig.Send(pr::kIoctlPortIoAdvanceClock, 0, {}).status, kInvalid);
  EXPECT_EQ(rig.advanced, (std::vector<uint32_t>{10}));
}

}  // namespace
}  // namespace velmo::drivers
