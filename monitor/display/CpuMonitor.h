// CCpuMonitor: the "Cpu Monitor" page: CPU fan, CPU temperature in Celsius and Fahrenheit, core and
// I/O voltage. On board model 4 a second instance shows the second processor.
#pragma once

#include <array>

#include "monitor/core/PageSlots.h"
#include "monitor/display/LedReadout.h"
#include "monitor/display/MonitorPage.h"

namespace velmo::display {

class CCpuMonitor : public CMonitorPage {
  Q_OBJECT

 public:
  enum Readout { kFan, kTempC, kTempF, kCoreVoltage, kIoVoltage, kReadoutCount };
  enum ControlId : int32_t {
    kFanHolder = 1000,
    kTempCHolder = 1001,
    kTempFHolder = 1002,
    kCoreHolder = 1003,
    kIoHolder = 1004,
    kIoLabel = 1047,
  };
  static const DialogTemplate& Dialog();  // template 130

  explicit CCpuMonitor(QWidget* parent = nullptr);
  ~CCpuMonitor() override;

  // The display slots; the host writes them and then calls OnTimer.
  void SetSlots(const core::CpuPageSlots& pageSlots) { slots_ = pageSlots; }
  const core::CpuPageSlots& Slots() const { return slots_; }
  const CLedReadout& ReadoutAt(Readout r) const { return readouts_[r]; }

 protected:
  void OnInitDialog() override;
  void UpdateColors() override;
  void UpdateValues() override;

 private:
  core::CpuPageSlots slots_;
  std::array<CLedReadout, kReadoutCount> readouts_;
};

}  // namespace velmo::display
