// CSysMonitor: the "System Monitor" page: chassis and auxiliary fan, system temperature in Celsius
// and Fahrenheit, and the +5 V, +12 V, -5 V and -12 V rails.
#pragma once

#include <array>

#include "monitor/core/PageSlots.h"
#include "monitor/display/LedReadout.h"
#include "monitor/display/MonitorPage.h"

namespace velmo::display {

class CSysMonitor : public CMonitorPage {
  Q_OBJECT

 public:
  enum Readout { kChassisFan, kAuxFan, kTempC, kTempF, kV5, kV12, kVn5, kVn12, kReadoutCount };
  enum ControlId : int32_t {
    kV5Holder = 1005,
    kVn5Holder = 1007,
    kTempCHolder = 1009,
    kChassisFanHolder = 1011,
    kV12Holder = 1012,
    kVn12Holder = 1014,
    kTempFHolder = 1015,
    kAuxFanHolder = 1019,
    kVn5Label = 1039,
    kVn12Label = 1041,
  };
  static const DialogTemplate& Dialog();  // template 134

  explicit CSysMonitor(QWidget* parent = nullptr);
  ~CSysMonitor() override;

  void SetSlots(const core::SysPageSlots& pageSlots) { slots_ = pageSlots; }
  const core::SysPageSlots& Slots() const { return slots_; }
  const CLedReadout& ReadoutAt(Readout r) const { return readouts_[r]; }

 protected:
  void OnInitDialog() override;
  void UpdateColors() override;
  void UpdateValues() override;

 private:
  // Whether a rail has a readout: present, and -12 V not on board model 3.
  bool RailShown(Readout rail) const;

  core::SysPageSlots slots_;
  std::array<CLedReadout, kReadoutCount> readouts_;
};

}  // namespace velmo::display
