#include "monitor/hw/PortAccess.h"

#include <gtest/gtest.h>

#include "monitor/hw/DirectBackend.h"
#include "tests/support/RecordingBus.h"

namespace velmo::hw {
namespace {

using Lines = std::vector<std::string>;

struct Rig {
  test::RecordingBus bus;
  test::RecordingHost host;
  DirectBackend direct{bus};
  test::DriverModeBackend driver{bus};
  PortAccess ports{direct, host};
  explicit Rig(bool driverMode = false) {
    if (driverMode) ports.SetBackend(driver);
  }
};

TEST(ChipRegisterAccess, DirectModeBracketsIndexAndDataWithDelayWrites) {
  Rig rig;
  rig.bus.inputs[0x296] = 0x2a;
  EXPECT_EQ(rig.ports.ReadChipRegister(0x20), 0x2au);
  rig.ports.WriteChipRegister(0x2b, 0x7f);
  EXPECT_EQ(rig.bus.trace,
            (Lines{"out 1 0x295 0x20", "out 1 0xeb 0x0", "in 1 0x296 0x2a", "out 1 0xeb 0x0",
                   "out 1 0x295 0x2b", "out 1 0xeb 0x0", "out 1 0x296 0x7f", "out 1 0xeb 0x0"}));
}

TEST(ChipRegisterAccess, DriverModeHasNoDelayWrites) {
  Rig rig(true);
  rig.bus.inputs[0x296] = 0x11;
  EXPECT_EQ(rig.ports.ReadChipRegister(0x58), 0x11u);
  rig.ports.WriteChipRegister(0x4e, 0x80);
  EXPECT_EQ(rig.bus.trace,
            (Lines{"out 1 0x295 0x58", "in 1 0x296 0x11", "out 1 0x295 0x4e", "out 1 0x296 0x80"}));
}

TEST(ChipRegisterAccess, SelectChipBankKeepsHighBits) {
  Rig rig;
  rig.bus.inputs[0x296] = 0x8b;  // vendor-byte flag set, bank 3, bit 3 set
  rig.ports.SelectChipBank(12);  // only the low three bits count
  ASSERT_EQ(rig.bus.trace.size(), 8u);
  EXPECT_EQ(rig.bus.trace[6], "out 1 0x296 0x8c");
}

TEST(ChipRegisterAccess, BitOperationsUseIndexDataPairWithoutDelays) {
  struct Row {
    bool set;
    uint32_t bit;
    uint32_t old;
    const char* written;
  };
  const Row rows[] = {
      {true, 5, 0x00, "out 1 0x296 0x20"},  {false, 7, 0xff, "out 1 0x296 0x7f"},
      {true, 33, 0x00, "out 1 0x296 0x2"},   // bit number modulo 32
      {true, 24, 0x5a, "out 1 0x296 0x5a"},  // beyond the byte: old value written back
      {false, 8, 0x5a, "out 1 0x296 0x5a"},
  };
  for (bool driver : {false, true}) {
    for (const Row& row : rows) {
      Rig rig(driver);
      rig.bus.inputs[0x296] = row.old;
      if (row.set)
        rig.ports.SetChipRegisterBit(0x56, row.bit);
      else
        rig.ports.ClearChipRegisterBit(0x56, row.bit);
      EXPECT_EQ(rig.bus.trace, (Lines{"out 1 0x295 0x56", "in 1 0x296 " + test::Hex(row.old),
                                      "out 1 0x295 0x56", row.written}))
          << "bit " << row.bit << " driver " << driver;
    }
  }
}

TEST(PciConfig, AddressAndByteLanes) {
  struct Row {
    int width;
    uint32_t address;
    Lines trace;
  };
  const Row rows[] = {
      {4, 0x3800, {"out 4 0xcf8 0x80003800", "in 4 0xcfc 0xffffffff"}},
      {1, 0x3c74, {"out 4 0xcf8 0x80003c74", "in 1 0xcfc 0xff"}},
      {1, 0x3c77, {"out 4 0xcf8 0x80003c74", "in 1 0xcff 0xff"}},
      {2, 0x3c72, {"out 4 0xcf8 0x80003c70", "in 2 0xcfe 0xffff"}},
      {2, 0x3c70, {"out 4 0xcf8 0x80003c70", "in 2 0xcfc 0xffff"}},
  };
  for (const Row& row : rows) {
    Rig rig;
    if (row.width == 4) rig.ports.ReadPciConfigDword(row.address);
    if (row.width == 2) rig.ports.ReadPciConfigWord(row.address);
    if (row.width == 1) rig.ports.ReadPciConfigByte(row.address);
    EXPECT_EQ(rig.bus.trace, row.trace) << std::hex << row.address;
  }
}

TEST(Probes, VendorAndChipIdLeaveBankRegisterAsDocumented) {
  Rig rig;
  int reads = 0;
  rig.bus.responder = [&](uint16_t port, unsigned) -> std::optional<uint32_t> {
    if (port != 0x296) return std::nullopt;
    return (reads++ == 0) ? 0xa3 : 0x5c;
  };
  EXPECT_TRUE(rig.ports.ProbeChipVendor());
  EXPECT_EQ(rig.bus.trace[2], "out 1 0x296 0x0");    // 0x4E := 0x00, low byte
  EXPECT_EQ(rig.bus.trace[10], "out 1 0x296 0x80");  // 0x4E := 0x80, high byte

  Rig id;
  id.bus.inputs[0x296] = 0x30;
  EXPECT_TRUE(id.ports.ProbeChipId(0x30));
  EXPECT_FALSE(id.ports.ProbeChipId(0x21));
  EXPECT_EQ(id.bus.trace[2], "out 1 0x296 0x0");
}

// A VIA 686A: the data port answers the bridge id, then the control byte, then the base word,
// in the order DetectVia686aMonitor reads them.
void AnswerVia(test::RecordingBus& bus, uint32_t control, uint32_t base) {
  bus.responder = [step = 0, control, base](uint16_t port,
                                            unsigned) mutable -> std::optional<uint32_t> {
    if (port < 0xcfc || port > 0xcff) return std::nullopt;
    const int s = step++;
    return s == 0 ? 0x06861106u : s == 1 ? control : base;
  };
}

TEST(Probes, Via686aMonitorBaseIsMaskedAndDisabledMonitorIsReported) {
  Rig on;
  AnswerVia(on.bus, 0x01, 0x6001);
  EXPECT_TRUE(on.ports.DetectVia686aMonitor());
  EXPECT_EQ(on.ports.ChipIoBase(), 0x6000u);
  EXPECT_TRUE(on.host.messages.empty());
  // Once the block is known, registers are addressed directly and banks do not exist.
  on.bus.trace.clear();
  on.ports.ReadChipRegister(0x29);
  on.ports.SelectChipBank(2);
  on.ports.SetChipRegisterBit(0x41, 0);
  EXPECT_EQ(on.bus.trace, (Lines{"in 1 0x6029 0xff", "out 1 0x295 0x41", "in 1 0x296 0xff",
                                 "out 1 0x295 0x41", "out 1 0x296 0xff"}));

  Rig off;
  AnswerVia(off.bus, 0x00, 0x6001);
  EXPECT_FALSE(off.ports.DetectVia686aMonitor());
  EXPECT_EQ(off.ports.ChipIoBase(), 0u);
  ASSERT_EQ(off.host.messages.size(), 1u);
  EXPECT_EQ(off.host.messages[0],
            std::make_pair(std::string("VIA 686A does not found"), std::string("Debug Window")));

  Rig absent;  // no PCI function: all ones, no message
  EXPECT_FALSE(absent.ports.DetectVia686aMonitor());
  EXPECT_TRUE(absent.host.messages.empty());
  EXPECT_FALSE(absent.ports.ProbePciId(0x800, 0x00081039));
}

TEST(BiosBytes, DirectReadCopiesEightBytesAndLeavesBufferOnFailure) {
  Rig ok;
  ok.bus.memory = {'7', 'K', '4', 'X', 'R', 'Q', 'B', '8'};
  uint8_t dest[8] = {};
  ok.ports.ReadBiosIdBytes(dest);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dest), 8), "7K4XRQB8");
  EXPECT_EQ(ok.bus.trace, (Lines{"mem 0xfece0 8"}));

  Rig failing;
  uint8_t kept[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  failing.ports.ReadBiosIdBytes(kept);
  EXPECT_EQ(kept[0], 1);
  EXPECT_EQ(kept[7], 8);
  ASSERT_EQ(failing.host.messages.size(), 1u);
  EXPECT_NE(failing.host.messages[0].first.find("/dev/mem"), std::string::npos);
}

}  // namespace
}  // namespace velmo::hw
