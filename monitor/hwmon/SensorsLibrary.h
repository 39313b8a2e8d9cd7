// lm-sensors' libsensors, owned: initialisation, the chips it finds (named as `sensors` names
// them), rescans, and the error handling that keeps it from ending the process.
//
// libsensors keeps global state and no lock: one SensorsLibrary at a time in a process (a
// second one throws std::logic_error), used from one thread; its value reads touch no shared
// state and may run in two threads, but never beside Rescan. Each thread has its own jump target
// for the fatal-error hook.
//
// Errors. A syntax error in /etc/sensors3.conf or /etc/sensors.d fails libsensors' whole
// initialisation: the warning callback gets one line, and the library is initialised again with
// an empty configuration, so the chips are found all the same (without labels, `ignore` and
// `compute` lines). libsensors' fatal-error hook (out of memory) must not return and by default
// ends the process; here every call into libsensors runs through GuardedCall, and the hook jumps
// back out of libsensors to it (C frames only are left, nothing with a destructor). What
// libsensors held then may be half-built, so it is never called again in this process: the
// library reports no chips and says so once.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "monitor/base/Warning.h"
#include "monitor/hwmon/KernelChip.h"

struct sensors_chip_name;

namespace velmo::hwmon {

namespace detail {
// The jump target of the innermost guarded call; returns the previous one.
std::jmp_buf* ExchangeFatalTarget(std::jmp_buf* target);
}  // namespace detail

// Calls a libsensors function `fn(args...)` and stores what it returns in `*result`. False when
// libsensors hit a fatal error inside (the result is then unset, and LibsensorsFailed() is true).
// `fn` must be a function of libsensors (C code): a fatal error leaves its frames without
// running destructors. A call made after a fatal error returns false without calling.
template <typename R, typename... P, typename... A>
bool GuardedCall(R* result, R (*fn)(P...), A... args);
template <typename... P, typename... A>
bool GuardedCall(void (*fn)(P...), A... args);

// True once libsensors has hit a fatal error in this process; the text says which.
bool LibsensorsFailed();
std::string LibsensorsFailure();

class SensorsLibrary {
 public:
  // Initialises libsensors and finds the chips; `warn` gets each problem in one line.
  explicit SensorsLibrary(base::WarningSink warn);
  ~SensorsLibrary();
  SensorsLibrary(const SensorsLibrary&) = delete;
  SensorsLibrary& operator=(const SensorsLibrary&) = delete;

  // The chips, in the order libsensors found them (directory order: compare per chip).
  const std::vector<KernelChip>& Chips() const { return chips_; }
  // Cleans up and initialises again: the only way libsensors sees devices come and go. The
  // configuration warning is not repeated.
  void Rescan();
  // libsensors' own record of a chip from Chips(), for its feature and value calls (through
  // GuardedCall); null for a chip not found by the last scan. Valid until the next Rescan.
  const sensors_chip_name* Native(const KernelChip& chip) const;
  // Counts the scans: what was looked up in libsensors' records is stale once this changes.
  uint64_t Generation() const { return generation_; }

 private:
  void Init();
  void Cleanup();

  base::WarningSink warn_;
  std::vector<KernelChip> chips_;
  std::vector<const sensors_chip_name*> native_;  // parallel to chips_
  bool initialised_ = false;
  uint64_t generation_ = 0;
  bool configWarned_ = false;
  bool failureWarned_ = false;
};

template <typename R, typename... P, typename... A>
bool GuardedCall(R* result, R (*fn)(P...), A... args) {
  if (LibsensorsFailed()) return false;
  std::jmp_buf target;
  std::jmp_buf* const previous = detail::ExchangeFatalTarget(&target);
  if (setjmp(target) != 0) {
    detail::ExchangeFatalTarget(previous);
    return false;
  }
  *result = fn(args...);
  detail::ExchangeFatalTarget(previous);
  return true;
}

template <typename... P, typename... A>
bool GuardedCall(void (*fn)(P...), A... args) {
  if (LibsensorsFailed()) return false;
  std::jmp_buf target;
  std::jmp_buf* const previous = detail::ExchangeFatalTarget(&target);
  if (setjmp(target) != 0) {
    detail::ExchangeFatalTarget(previous);
    return false;
  }
  fn(args...);
  detail::ExchangeFatalTarget(previous);
  return true;
}

}  // namespace velmo::hwmon
