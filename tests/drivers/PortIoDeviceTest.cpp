// The portio request handling as a unit: statuses, outputs and the port accesses it makes.
#include "drivers/portio/PortIoDevice.h"

#include <gtest/gtest.h>

#include "monitor/protocol/SimClockProtocol.h"
#include "tests/support/RecordingBus.h"

namespace velmo::drivers {
namespace {

namespace pr = protocol;
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
    if (!row.read && !row.write) {
      // No access would ever be allowed: no handle is handed out for it.
      EXPECT_EQ(opened.status, kDenied) << test::Hex(row.port) << " width " << row.width;
      EXPECT_TRUE(rig.bus.trace.empty());
      continue;
    }
    ASSERT_EQ(opened.status, kOk) << test::Hex(row.port);
    const uint32_t handle = *opened.Word(0);
    EXPECT_EQ(rig.Send(kRead, 4, {handle, 0}).status, row.read ? kOk : kDenied)
        << "read " << test::Hex(row.port) << " width " << row.width;
    EXPECT_EQ(rig.Send(kWrite, 0, {handle, 0, 0x11223344}).status, row.write ? kOk : kDenied)
        << "write " << test::Hex(row.port) << " width " << row.width;
    EXPECT_EQ(rig.bus.trace.size(), size_t{row.read} + size_t{row.write}) << test::Hex(row.port);
  }
}

TEST(PortIoDevice, EmptyRangesAreRefused) {
  Rig rig;
  EXPECT_EQ(rig.Send(kOpen, 4, {0x295, 1, 0}).status, pr::kStatusInvalidParameter);
  EXPECT_EQ(rig.device.OpenObjects(), 0u);
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

namespace velmo::drivers {
namespace {

using Op = pr::BatchOp;
using K = pr::BatchKind;
constexpr uint32_t kBatch = pr::kIoctlPortIoBatch;

Op R(uint16_t port, uint8_t width = 1) {
  return {K::kRead, port, width, 0, 0, 0};
}
Op W(uint16_t port, uint32_t value, uint8_t width = 1) {
  return {K::kWrite, port, width, value, 0, 0};
}
Op WFrom(uint16_t port, uint32_t source, uint32_t andMask, uint32_t orMask) {
  return {K::kWriteFrom, port, 1, orMask, andMask, source};
}

std::vector<uint8_t> Request(const std::vector<Op>& ops, uint32_t capacity) {
  return pr::EncodeRequestBytes(kBatch, capacity, pr::EncodeBatchInput(ops));
}

// An op's four words as they go on the wire, for forms EncodeBatchInput would not make.
std::vector<uint32_t> Words(uint32_t head, uint32_t value = 0, uint32_t andMask = 0,
                            uint32_t source = 0) {
  return {head, value, andMask, source};
}

TEST(PortIoBatch, RunsInOrderWithReadModifyWrites) {
  Rig rig(0x6000);
  rig.bus.inputs[0x296] = 0x8b;
  rig.bus.inputs[0x6029] = 0x87;
  rig.bus.inputs[0xCFC] = 0x06861106;
  // The bank select of the chip layer: old 0x8b keeps its high bits and gets bank 2.
  const std::vector<Op> ops = {W(0x295, 0x4e), R(0x296),
                               W(0x295, 0x4e), WFrom(0x296, 1, 0xF8, 2),
                               R(0x6029),      W(0xCF8, 0x80003800, 4),
                               R(0xCFC, 4),    WFrom(0x296, 1, ~0x80u, 0)};
  const pr::Reply reply = rig.SendRaw(Request(ops, 12));
  ASSERT_EQ(reply.status, kOk);
  ASSERT_EQ(reply.output.size(), 12u);  // the three reads, in order
  EXPECT_EQ(reply.Word(0), 0x8bu);
  EXPECT_EQ(reply.Word(4), 0x87u);
  EXPECT_EQ(reply.Word(8), 0x06861106u);
  EXPECT_EQ(rig.bus.trace, (Lines{"out 1 0x295 0x4e", "in 1 0x296 0x8b", "out 1 0x295 0x4e",
                                  "out 1 0x296 0x8a", "in 1 0x6029 0x87", "out 4 0xcf8 0x80003800",
                                  "in 4 0xcfc 0x6861106", "out 1 0x296 0xb"}));
  EXPECT_EQ(rig.device.OpenObjects(), 0u);  // a batch holds nothing afterwards
}

TEST(PortIoBatch, RefusedBatchesTouchNoPort) {
  const uint32_t read295 = 0x295 | 1u << 16, write295 = read295 | 1u << 24;
  struct Row {
    const char* what;
    std::vector<uint8_t> datagram;
    uint32_t status;
  };
  auto raw = [](uint32_t capacity, uint32_t count, std::vector<std::vector<uint32_t>> ops) {
    std::vector<uint32_t> words = {count};
    for (const auto& op : ops)
      words.insert(words.end(), op.begin(), op.end());
    return pr::EncodeRequest(kBatch, capacity, words);
  };
  std::vector<Op> longest(pr::kMaxBatchOps, W(0x295, 0x4e));
  std::vector<Op> tooMany(pr::kMaxBatchOps + 1, W(0x295, 0x4e));
  std::vector<uint8_t> oversize = Request(longest, 0);
  oversize.push_back(0);
  const Row rows[] = {
      // Sizes.
      {"no input", pr::EncodeRequest(kBatch, 4, {}), kInvalid},
      {"count 0", raw(4, 0, {}), kInvalid},
      {"count above the input", raw(4, 2, {Words(read295)}), kInvalid},
      {"count below the input", raw(8, 1, {Words(read295), Words(read295)}), kInvalid},
      {"an operation cut short", raw(4, 1, {{read295, 0, 0}}), kInvalid},
      {"more than 512 operations", Request(tooMany, 0), kInvalid},
      {"datagram past the batch bound", oversize, kInvalid},
      {"output for fewer reads", Request({R(0x295), R(0x296)}, 7), pr::kStatusBufferTooSmall},
      // Forms.
      {"unknown kind", raw(0, 1, {Words(0x295 | 1u << 16 | 3u << 24)}), kInvalid},
      {"width 3", raw(4, 1, {Words(0x295 | 3u << 16)}), kInvalid},
      {"width 0", raw(4, 1, {Words(0x295)}), kInvalid},
      {"range past 0xFFFF", raw(4, 1, {Words(0xFFFF | 2u << 16)}), kInvalid},
      {"read with a value", raw(4, 1, {Words(read295, 1)}), kInvalid},
      {"write with a source", raw(0, 1, {Words(write295, 1, 0, 1)}), kInvalid},
      {"write with a mask", raw(0, 1, {Words(write295, 1, 0xFF)}), kInvalid},
      {"source is itself", Request({WFrom(0x296, 0, 0xFF, 0)}, 0), kInvalid},
      {"source is later", Request({WFrom(0x296, 1, 0xFF, 0), R(0x296)}, 4), kInvalid},
      {"source is a write", Request({W(0x295, 0x4e), WFrom(0x296, 0, 0xFF, 0)}, 0), kInvalid},
      // The allow-list, for every operation before any is done.
      {"port 0x80", Request({R(0x80)}, 4), kDenied},
      {"allowed, then the keyboard controller", Request({W(0x295, 0x4e), W(0x64, 0xFE)}, 0),
       kDenied},
      {"allowed, then the reset register", Request({W(0x295, 0x4e), R(0x296), W(0xCF9, 0x06)}, 4),
       kDenied},
      {"a read of a write-only port", Request({R(0x295), R(0xEB)}, 8), kDenied},
      {"a write of a read-only port", Request({W(0xCFC, 0, 4)}, 0), kDenied},
      {"0xCF8 as a byte", Request({W(0xCF8, 0x80, 1)}, 0), kDenied},
      {"a word over the pair's end", Request({R(0x296, 2)}, 4), kDenied},
      {"the VIA block when none is set", Request({R(0x295), R(0x6000)}, 8), kDenied},
      {"derived write to a refused port", Request({R(0x296), WFrom(0x80, 0, 0xFF, 0)}, 4), kDenied},
  };
  for (const Row& row : rows) {
    Rig rig;
    const pr::Reply reply = rig.SendRaw(row.datagram);
    EXPECT_EQ(reply.status, row.status) << row.what;
    EXPECT_TRUE(reply.output.empty()) << row.what;
    EXPECT_TRUE(rig.bus.trace.empty()) << row.what;
  }
  // The longest batch that is allowed runs whole.
  Rig rig;
  EXPECT_EQ(rig.SendRaw(Request(longest, 0)).status, kOk);
  EXPECT_EQ(rig.bus.trace.size(), pr::kMaxBatchOps);
}

TEST(PortIoBatch, LegacyRequestsKeepTheirBound) {
  // Only the batch may be longer than 256 bytes.
  Rig rig;
  const uint32_t handle = rig.Open(0x295, 1);
  std::vector<uint32_t> words = {handle, 0};
  words.resize(70, 0);  // 8 + 280 bytes
  EXPECT_EQ(rig.Send(kRead, 4, words).status, kInvalid);
  EXPECT_TRUE(rig.bus.trace.empty());
}

}  // namespace
}  // namespace velmo::drivers
