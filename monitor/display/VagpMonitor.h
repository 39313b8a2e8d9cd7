// CVagpMonitor: the "Miscellaneous" page: the AGP voltage (on boards that measure it) and a clock.
#pragma once

#include <ctime>
#include <functional>

#include "monitor/core/PageSlots.h"
#include "monitor/display/LedReadout.h"
#include "monitor/display/MonitorPage.h"

namespace velmo::display {

class CVagpMonitor : public CMonitorPage {
  Q_OBJECT

 public:
  enum ControlId : int32_t {
    kClockHolder = 1049,
    kAgpHolder = 1052,
    kAgpLabel = 1048,
    kAgpIcon = 1054,
  };
  static const DialogTemplate& Dialog();  // template 161

  explicit CVagpMonitor(QWidget* parent = nullptr);
  ~CVagpMonitor() override;

  void SetSlots(const core::MiscPageSlots& pageSlots) { slots_ = pageSlots; }
  const core::MiscPageSlots& Slots() const { return slots_; }
  // Where the clock reads the time; the system clock unless replaced.
  void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

  bool HasAgpVoltage() const { return hasAgpVoltage_; }
  const CLedReadout& AgpReadout() const { return agp_; }
  const CLedReadout& ClockReadout() const { return clockReadout_; }

 protected:
  void OnInitDialog() override;
  void UpdateColors() override;
  void UpdateValues() override;

 private:
  bool hasAgpVoltage_ = false;
  core::MiscPageSlots slots_;
  CLedReadout agp_;
  CLedReadout clockReadout_;
  std::function<std::time_t()> clock_;
};

}  // namespace velmo::display
