#include "monitor/core/ChipProfiles.h"

#include <gtest/gtest.h>

#include "monitor/core/MonitorState.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "tests/support/RecordingBus.h"

namespace velmo::core {
namespace {

struct Rig {
  test::RecordingBus bus;
  test::RecordingHost host;
  hw::DirectBackend backend{bus};
  hw::PortAccess ports{backend, host};
  MonitorState state;
  Rig(int32_t hmType, int32_t mbModel, bool via586 = false) {
    state.hmType = hmType;
    state.mbModel = mbModel;
    if (via586) bus.inputs[0xcfc] = 0x05861106;
  }
  void Start() {
    SelectChipProfile(state, ports);
    ApplyBoardAdjustments(state);
  }
};

TEST(ChipProfiles, W83781dTemperatureBanksDependOnTheSouthBridge) {
  Rig via(1, 9, true);
  via.Start();
  EXPECT_EQ(via.state[SYSTEMP].bank, 1);
  EXPECT_EQ(via.state[CPUTEMP].bank, 2);
  EXPECT_EQ(via.bus.trace.front(), "out 4 0xcf8 0x80003800");

  Rig other(1, 9);
  other.Start();
  EXPECT_EQ(other.state[SYSTEMP].bank, 2);
  EXPECT_EQ(other.state[CPUTEMP].bank, 1);
  EXPECT_EQ(other.state[VN12].upperRegister, 0x36);
  EXPECT_EQ(other.state[VN12].lowerRegister, 0x35);
  EXPECT_EQ(other.state[VN5].upperRegister, 0x38);
}

TEST(ChipProfiles, W83781dOnModel3TurnsNegativeRailsPositiveWhateverWasStored) {
  Rig rig(1, 3);
  SelectChipProfile(rig.state, rig.ports);
  rig.state[VN12].alarm.upper = -1;  // as if loaded from the settings
  rig.state[VN5].alarm.enabled = 0;
  rig.state[VIO].alarm.enabled = 1;
  ApplyBoardAdjustments(rig.state);
  const AlarmRange& vn12 = rig.state[VN12].alarm;
  const AlarmRange& vn5 = rig.state[VN5].alarm;
  EXPECT_EQ(std::make_pair(vn12.upper, vn12.lower), std::make_pair(3600, 3100));
  EXPECT_EQ(std::make_pair(vn5.upper, vn5.lower), std::make_pair(2700, 2300));
  EXPECT_EQ(vn12.enabled, 1);
  EXPECT_EQ(vn5.enabled, 1);
  EXPECT_EQ(rig.state[VIO].alarm.enabled, 0);
  EXPECT_EQ(rig.state.Scale(VN12), (VoltageScale{1, 1, 1}));
  EXPECT_EQ(rig.state[SYSTEMP].valueRegister, 0x27);
  EXPECT_EQ(rig.state[SYSTEMP].bank, 0);
  EXPECT_EQ(rig.state[CPUTEMP].bank, 1);
}

TEST(ChipProfiles, WinbondFamilyAdjustmentsByChipAndBoard) {
  struct Row {
    int32_t hmType, mbModel;
    int32_t chafanReg, chafanDivisorReg, auxfanReg, vcoreReg, vcore2Reg, vcore2Present;
    int32_t vn12A, vn5A;
  };
  const Row rows[] = {
      {2, 9, 0x2A, 0x4B, 0x28, 0x20, 0x21, 1, 266, 147},  // chip id 0x30 swaps the fans always
      {2, 1, 0x2A, 0x4B, 0x28, 0x20, 0x21, 1, 266, 147},
      {3, 9, 0x28, 0x47, 0x2A, 0x21, 0x20, 0, 288, 176},  // chip id 0x21 swaps VCORE/VCORE2 only
      {3, 5, 0x28, 0x47, 0x2A, 0x21, 0x20, 1, 288, 176},
      {3, 4, 0x2A, 0x4B, 0x28, 0x21, 0x20, 1, 266, 147},  // two CPUs: both cores present
  };
  for (const Row& row : rows) {
    Rig rig(row.hmType, row.mbModel);
    rig.Start();
    const MonitorState& s = rig.state;
    SCOPED_TRACE(testing::Message() << "HmType " << row.hmType << " model " << row.mbModel);
    EXPECT_EQ(s[CHAFAN].valueRegister, row.chafanReg);
    EXPECT_EQ(s[CHAFAN].upperRegister, row.chafanDivisorReg);
    EXPECT_EQ(s[AUXFAN].valueRegister, row.auxfanReg);
    EXPECT_EQ(s[VCORE].valueRegister, row.vcoreReg);
    EXPECT_EQ(s[VCORE2].valueRegister, row.vcore2Reg);
    EXPECT_EQ(s[VCORE2].present, row.vcore2Present);
    EXPECT_EQ(s.voltageScale[VN12 - VCORE].a, row.vn12A);
    EXPECT_EQ(s.voltageScale[VN5 - VCORE].a, row.vn5A);
    EXPECT_EQ(s.voltageScale[VN12 - VCORE].b, 56);
    EXPECT_EQ(s.voltageScale[VN12 - VCORE].c, -1);
    if (row.hmType == 3) {
      EXPECT_EQ(s[VB].alarm.enabled, 0);
      EXPECT_EQ(s[V5SB].alarm.defaultEnabled, 0);
    }
  }
}

TEST(ChipProfiles, SisAndViaProfiles) {
  Rig sis(4, 9);
  sis.Start();
  for (int item : {AUXFAN, VCORE2, VN12, VN5, VB, V5SB, RESTEMP, SYSTEMP})
    EXPECT_EQ(sis.state[item].present, 0) << ChannelName(item);
  EXPECT_EQ(sis.state[CPUTEMP].value, 40);
  EXPECT_EQ(sis.state.Scale(V12), (VoltageScale{400, 100, 1}));

  Rig via(5, 2);
  via.Start();
  EXPECT_EQ(via.state[VCORE2].present, 1);
  EXPECT_EQ(via.state.Scale(VCORE2), (VoltageScale{5, 4, 1}));
  Rig viaOther(5, 9);
  viaOther.Start();
  EXPECT_EQ(viaOther.state[VCORE2].present, 0);
}

TEST(ChipProfiles, ReselectionAfterChipChangeGivesTheSameRecordsAsTheFirst) {
  for (int32_t hm : {1, 2, 3, 4, 5}) {
    for (int32_t model : {1, 2, 3, 4, 5, 9}) {
      Rig rig(hm, model);
      SelectChipProfile(rig.state, rig.ports);
      const SensorReadings first = rig.state.readings;
      rig.state[V5].alarm.upper = 1;  // a loaded record that the reselection replaces
      SelectChipProfile(rig.state, rig.ports);
      SensorReadings second = rig.state.readings;
      // The first selection alone switches VCORE2 on for this VIA board; the board
      // adjustments do it again after a reselection.
      if (hm == 5 && model == 2) second[VCORE2].present = 1;
      EXPECT_EQ(second, first) << "HmType " << hm << " model " << model;
    }
  }
  Rig none(0, 9);
  none.state.readings[0].value = 77;
  SelectChipProfile(none.state, none.ports);
  EXPECT_EQ(none.state.readings[0].value, 77);
}

}  // namespace
}  // namespace velmo::core
