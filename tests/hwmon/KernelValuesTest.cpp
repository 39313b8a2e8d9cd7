// Back from the drivers' units to the registers: every register value a driver can report comes
// back as itself, and values no register gives are refused rather than rounded into one.
#include <gtest/gtest.h>

#include "monitor/hwmon/KernelValues.h"

namespace velmo::hwmon {
namespace {

TEST(KernelValues, EveryRegisterComesBackFromWhatTheDriverMakesOfIt) {
  constexpr double kViaFactor[] = {1.25, 1.25, 1.67, 2.6, 6.3};
  for (int reg = 0; reg <= 255; ++reg) {
    SCOPED_TRACE(reg);
    const auto r = static_cast<uint8_t>(reg);
    const int64_t signedDegrees = static_cast<int8_t>(r);
    EXPECT_EQ(PinVoltageRegister(reg * 16), r);
    EXPECT_EQ(Temperature8Register(signedDegrees * 1000), r);
    // The 9-bit sensors: the half degree lives in another register, the high byte stays.
    EXPECT_EQ(Temperature9HighRegister(signedDegrees * 1000), r);
    EXPECT_EQ(Temperature9HighRegister(signedDegrees * 1000 + 500), r);
    EXPECT_EQ(SisTemperatureRegister(SisTemperatureMillidegrees(r)), r);
    for (unsigned input = 0; input < 5; ++input) {
      const double exact = (25.0 * reg + 133.0) * kViaFactor[input] * 1000.0 / 2628.0;
      EXPECT_EQ(ViaVoltageRegister(input, static_cast<int64_t>(exact)), r);        // truncated
      EXPECT_EQ(ViaVoltageRegister(input, static_cast<int64_t>(exact + 0.5)), r);  // rounded
    }
    if (reg >= 1 && reg <= 254) {
      for (int64_t div : {1, 2, 4, 8})
        EXPECT_EQ(FanCountRegister(1350000 / (reg * div), div), r) << "divisor " << div;
    }
  }
}

TEST(KernelValues, ValuesNoRegisterGivesAreRefused) {
  EXPECT_EQ(PinVoltageRegister(3300), std::nullopt);  // not a multiple of 16 mV
  EXPECT_EQ(PinVoltageRegister(-16), std::nullopt);
  EXPECT_EQ(PinVoltageRegister(256 * 16), std::nullopt);
  EXPECT_EQ(Temperature8Register(40500), std::nullopt);  // the 8-bit sensor has no half degree
  EXPECT_EQ(Temperature8Register(128000), std::nullopt);
  EXPECT_EQ(Temperature9HighRegister(40250), std::nullopt);
  EXPECT_EQ(Temperature9HighRegister(-129000), std::nullopt);
  EXPECT_EQ(SisTemperatureRegister(52121), std::nullopt);
  EXPECT_EQ(ViaVoltageRegister(0, 5), std::nullopt);     // below register 0's 63 mV
  EXPECT_EQ(ViaVoltageRegister(5, 1000), std::nullopt);  // no such input
  EXPECT_EQ(FanCountRegister(5001, 2), std::nullopt);    // between two counts
  EXPECT_EQ(FanCountRegister(3000, 16), std::nullopt);   // divisor beyond the two-bit field
  EXPECT_EQ(FanCountRegister(-2, 2), std::nullopt);
  EXPECT_EQ(FanDivisorField(16), std::nullopt);
  EXPECT_EQ(FanDivisorField(3), std::nullopt);
}

TEST(KernelValues, StoppedFansAndNegativeTemperaturesKeepTheChipsEncoding) {
  EXPECT_EQ(FanCountRegister(0, 2), 255);  // the driver's 0 RPM: a count of 255
  EXPECT_EQ(FanCountRegister(-1, 8), 0);   // its -1: a count of 0
  EXPECT_EQ(FanCountRegister(5000, 2), 135);
  EXPECT_EQ(FanDivisorField(8), 3);
  EXPECT_EQ(Temperature8Register(-1000), 0xFF);
  EXPECT_EQ(Temperature9HighRegister(-500), 0xFF);  // -0.5 C: high byte -1, the half bit set
  EXPECT_EQ(WholeDegrees(40449), 40);
  EXPECT_EQ(WholeDegrees(40500), 41);
  EXPECT_EQ(WholeDegrees(-2600), -3);
}

}  // namespace
}  // namespace velmo::hwmon
