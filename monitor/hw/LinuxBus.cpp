#include "monitor/hw/LinuxBus.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "monitor/base/LittleEndian.h"
#include "monitor/hwmon/KernelOwnership.h"

#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#define VELMO_HAVE_PORT_INSTRUCTIONS 1
#endif

namespace velmo::hw {

namespace {

std::string Describe(const char* what, int err) {
  return std::string(what) + ": " + std::strerror(err);
}

bool TryIoperm() {
#ifdef VELMO_HAVE_PORT_INSTRUCTIONS
  // iopl(3) covers every port (the PCI and VIA ports lie above the ioperm bitmap's 0x3FF).
  return iopl(3) == 0;
#else
  return false;
#endif
}

}  // namespace

std::unique_ptr<LinuxBus> LinuxBus::Open(std::string* error) {
  if (TryIoperm()) return std::unique_ptr<LinuxBus>(new LinuxBus(-1));
  const int ioplErr = errno;
  const int fd = ::open("/dev/port", O_RDWR | O_CLOEXEC);
  if (fd >= 0) return std::unique_ptr<LinuxBus>(new LinuxBus(fd));
  if (error) {
    *error =
        "no raw port access: " + Describe("iopl", ioplErr) + "; " + Describe("/dev/port", errno);
  }
  return nullptr;
}

bool LinuxBus::HasRawPortAccess() {
  std::string ignored;
  return Open(&ignored) != nullptr;
}

LinuxBus::~LinuxBus() {
  if (portFd_ >= 0) ::close(portFd_);
}

uint32_t LinuxBus::In(uint16_t port, unsigned width) {
  if (portFd_ < 0) {
#ifdef VELMO_HAVE_PORT_INSTRUCTIONS
    switch (width) {
      case 1:
        return inb(port);
      case 2:
        return inw(port);
      case 4:
        return inl(port);
      default:
        return 0xFFFFFFFFu;
    }
#endif
  }
  // /dev/port moves bytes one at a time at the file offset; wider accesses become byte runs.
  uint8_t bytes[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  if (width != 1 && width != 2 && width != 4) return 0xFFFFFFFFu;
  if (::pread(portFd_, bytes, width, port) != static_cast<ssize_t>(width)) return 0xFFFFFFFFu;
  return base::LoadLe(bytes, width);
}

void LinuxBus::Out(uint16_t port, unsigned width, uint32_t value) {
  if (portFd_ < 0) {
#ifdef VELMO_HAVE_PORT_INSTRUCTIONS
    switch (width) {
      case 1:
        outb(static_cast<uint8_t>(value), port);
        return;
      case 2:
        outw(static_cast<uint16_t>(value), port);
        return;
      case 4:
        outl(value, port);
        return;
      default:
        return;
    }
#endif
  }
  if (width != 1 && width != 2 && width != 4) return;
  uint8_t bytes[4];
  base::StoreLe(bytes, value, width);
  (void)!::pwrite(portFd_, bytes, width, port);
}

bool LinuxBus::ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string* error) {
  const int fd = ::open("/dev/mem", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = Describe("/dev/mem", errno);
    return false;
  }
  uint8_t buffer[64];
  bool ok = length <= sizeof buffer && ::pread(fd, buffer, length, static_cast<off_t>(address)) ==
                                           static_cast<ssize_t>(length);
  if (!ok && error) *error = Describe("/dev/mem read", errno ? errno : EIO);
  ::close(fd);
  if (ok) std::memcpy(dest, buffer, length);
  return ok;
}

std::unique_ptr<ClaimGuardBus> OpenMachineBus(std::string* error, const ClaimSources& sources) {
  // The claims first: nothing of the chip is touched before they are known. The hwmon devices'
  // claims name the device that owns the chip.
  KernelClaims claims = ReadKernelClaims(sources);
  const std::vector<PortClaim> hwmon = hwmon::ReadHwmonClaims(sources.sys);
  hwmon::MergeClaims(claims.claims, hwmon);
  if (!hwmon.empty()) claims.state = KernelClaims::State::kOwned;
  std::unique_ptr<LinuxBus> raw = LinuxBus::Open(error);
  if (!raw) return nullptr;
  return std::make_unique<ClaimGuardBus>(std::move(raw), std::move(claims));
}

}  // namespace velmo::hw
