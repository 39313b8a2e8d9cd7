#include "monitor/hwmon/SensorsLibrary.h"

#include <sensors/error.h>
#include <sensors/sensors.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace velmo::hwmon {
namespace {

namespace fs = std::filesystem;

// What the hooks below record. Fixed buffers: the fatal hook runs when memory is gone, and
// neither hook may throw through libsensors' C frames.
thread_local std::jmp_buf* gFatalTarget = nullptr;
std::atomic<bool> gFailed{false};
char gFailure[256];
char gParseError[512];
int gParseErrors = 0;
std::atomic<bool> gOwned{false};

void OnFatal(const char* proc, const char* err) {
  std::snprintf(gFailure, sizeof gFailure, "%s: %s", proc ? proc : "libsensors",
                err ? err : "fatal error");
  gFailed = true;
  if (gFatalTarget) std::longjmp(*gFatalTarget, 1);
  // A call into libsensors that did not go through GuardedCall: there is nothing safe to
  // return to, and libsensors' own hook would end the process here too.
  static const char kText[] = "libsensors: fatal error outside a guarded call\n";
  (void)!::write(STDERR_FILENO, kText, sizeof kText - 1);
  std::abort();
}

void OnParseError(const char* err, const char* file, int line) {
  if (gParseErrors++ > 0) return;  // the first says enough
  std::snprintf(gParseError, sizeof gParseError, "%s:%d: %s", file ? file : "configuration", line,
                err ? err : "syntax error");
}

void OnOldParseError(const char* err, int line) {
  OnParseError(err, nullptr, line);
}

// The folder's device is a platform device (libsensors names those "-isa-" too).
bool IsPlatformDevice(const fs::path& path) {
  std::error_code ec;
  for (const fs::path& device : {path, path / "device"}) {
    const fs::path target = fs::read_symlink(device / "subsystem", ec);
    if (!ec && target.filename() == "platform") return true;
  }
  return false;
}

KernelChip FromNative(const sensors_chip_name& c, const std::string& name) {
  KernelChip chip;
  chip.name = name;
  chip.prefix = c.prefix ? c.prefix : "";
  chip.busNumber = c.bus.nr;
  chip.address = static_cast<uint32_t>(c.addr);
  chip.path = c.path ? c.path : "";
  switch (c.bus.type) {
    case SENSORS_BUS_TYPE_ISA:
      chip.bus = IsPlatformDevice(chip.path) ? BusKind::Platform : BusKind::Isa;
      break;
    case SENSORS_BUS_TYPE_I2C:
      chip.bus = BusKind::I2c;
      break;
    case SENSORS_BUS_TYPE_PCI:
      chip.bus = BusKind::Pci;
      break;
    default:
      chip.bus = BusKind::Other;
      break;
  }
  if (chip.bus != BusKind::I2c) chip.busNumber = 0;
  return chip;
}

}  // namespace

namespace detail {
std::jmp_buf* ExchangeFatalTarget(std::jmp_buf* target) {
  std::jmp_buf* previous = gFatalTarget;
  gFatalTarget = target;
  return previous;
}
}  // namespace detail

bool LibsensorsFailed() {
  return gFailed;
}

std::string LibsensorsFailure() {
  return gFailed ? std::string(gFailure) : std::string();
}

SensorsLibrary::SensorsLibrary(base::WarningSink warn) : warn_(std::move(warn)) {
  if (gOwned.exchange(true))
    throw std::logic_error("libsensors is already owned by another SensorsLibrary");
  sensors_fatal_error = OnFatal;
  sensors_parse_error_wfn = OnParseError;
  sensors_parse_error = OnOldParseError;
  Init();
}

SensorsLibrary::~SensorsLibrary() {
  Cleanup();
  gOwned = false;
}

void SensorsLibrary::Rescan() {
  Cleanup();
  Init();
}

const sensors_chip_name* SensorsLibrary::Native(const KernelChip& chip) const {
  for (size_t i = 0; i < chips_.size(); ++i) {
    if (chips_[i] == chip) return native_[i];
  }
  return nullptr;
}

void SensorsLibrary::Cleanup() {
  chips_.clear();
  native_.clear();
  if (initialised_) GuardedCall(sensors_cleanup);
  initialised_ = false;
}

void SensorsLibrary::Init() {
  ++generation_;
  auto failed = [this] {
    if (!failureWarned_ && warn_)
      warn_("libsensors failed (" + LibsensorsFailure() + "); the kernel's sensors are not read");
    failureWarned_ = true;
  };
  gParseErrors = 0;
  gParseError[0] = '\0';
  int status = 0;
  if (!GuardedCall(&status, sensors_init, static_cast<FILE*>(nullptr))) return failed();
  // libsensors reports some errors in a configuration file and still succeeds with what it
  // could read: either way the configuration is dropped, so the monitor never runs on half of it.
  const bool parse = status == -SENSORS_ERR_PARSE || gParseErrors > 0;
  if (status != 0 || parse) {
    GuardedCall(sensors_cleanup);  // safe on what a failed initialisation left, too
    if (parse && !configWarned_ && warn_) {
      warn_(std::string("the sensors configuration has an error (") + gParseError +
            "); the kernel's sensors are read without it");
    }
    configWarned_ = configWarned_ || parse;
    FILE* empty = std::fopen("/dev/null", "re");
    if (!empty) {
      if (warn_) warn_("cannot open /dev/null for an empty sensors configuration");
      return;
    }
    const bool called = GuardedCall(&status, sensors_init, empty);
    std::fclose(empty);
    if (!called) return failed();
    if (status != 0) {
      GuardedCall(sensors_cleanup);
      if (warn_) warn_(std::string("libsensors: ") + sensors_strerror(status));
      return;
    }
  }
  initialised_ = true;

  int next = 0;
  const sensors_chip_name* c = nullptr;
  while (GuardedCall(&c, sensors_get_detected_chips, static_cast<const sensors_chip_name*>(nullptr),
                     &next) &&
         c != nullptr) {
    char name[256];
    int length = 0;
    if (!GuardedCall(&length, sensors_snprintf_chip_name, name, sizeof name, c)) break;
    if (length < 0) continue;
    chips_.push_back(FromNative(*c, name));
    native_.push_back(c);
  }
  if (LibsensorsFailed()) {
    chips_.clear();
    native_.clear();
    initialised_ = false;
    failed();
  }
}

}  // namespace velmo::hwmon
