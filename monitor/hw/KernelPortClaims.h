// The I/O-port regions that kernel drivers have claimed (/proc/ioports), and a bus that leaves
// the monitor chip's ports alone while a kernel driver owns them: two programs switching the
// chip's banks corrupt each other's readings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "monitor/hw/Bus.h"

namespace velmo::hw {

inline constexpr const char* kIoportsPath = "/proc/ioports";

struct PortClaim {
  uint16_t first;
  uint16_t last;
  std::string driver;
  std::string device{};  // the owning hwmon device as `sensors` names it; empty from ioports
  // False for a driver found bound under /sys, whose ports are not known: it owns the chip
  // wherever the chip is (the pair 0x295/0x296 stands for it).
  bool portsKnown = true;
  bool operator==(const PortClaim&) const = default;
};

// What is known of the kernel's hold on the monitor chip, from every place that shows it.
struct KernelClaims {
  enum class State : uint8_t {
    kFree,     // no driver owns it
    kOwned,    // `claims` own it
    kUnknown,  // nothing could be read: the chip is left alone as if owned
  };
  State state = State::kUnknown;
  std::vector<PortClaim> claims;
  // Why /proc/ioports told nothing (hidden, or every range 0000-0000) and what was done
  // instead; empty when it could be read. Said once by the program.
  std::string reason;
};

// Where the claims are read: the port table and the sysfs tree (replaced in tests).
struct ClaimSources {
  std::string ioports = kIoportsPath;
  std::string sys = "/sys";
};

// The claims on the monitor chip: the chip's claims of /proc/ioports where it shows them, and the
// chip drivers bound under <sys>/bus/{platform,isa,pci}/drivers or named by a
// <sys>/class/hwmon/*/name, which a sandbox that hides /proc (ProcSubset=pid) still shows.
KernelClaims ReadKernelClaims(const ClaimSources& sources = {});

// True when an /proc/ioports text shows no range at all (read without CAP_SYS_ADMIN every range
// is 0000-0000), so that it tells nothing of the claims.
bool IoportsHidesRanges(std::string_view text);

// The regions of an /proc/ioports text (nested entries included) that a driver claims. Entries
// that only hold resources are not drivers: buses ("PCI Bus 0000:00"), the PCI configuration
// ports ("PCI conf1"), PnP, ACPI and reserved ranges, and a PCI function's own ranges
// ("0000:00:07.4"). Ranges shown as 0000-0000 (the file read without CAP_SYS_ADMIN) tell
// nothing and are skipped.
std::vector<PortClaim> ParseIoports(std::string_view text);

// The claims over the monitor chip's ports: any driver's region over the index/data pair
// 0x295/0x296, and the regions of the drivers of these chips (w83781d, w83627hf, via686a,
// sis5595 and their kin) wherever they lie, since the VIA block sits where PCI put it. Read from
// `path`; none when it cannot be read.
std::vector<PortClaim> ReadChipPortClaims(const std::string& path = kIoportsPath);
std::vector<PortClaim> ChipPortClaims(const std::vector<PortClaim>& claims);

// What the user is told: the driver, the ports, and how to free them. Bytes that are not
// printable (a NUL included) are shown as \xNN, so the line is never cut.
std::string DescribeClaim(const PortClaim& claim);
// Whether the claim's driver is one of a chip the monitor reads (w83781d, w83627hf, via686a,
// sis5595): then freeing the ports gives the monitor its chip. A kin's driver (nct6775, it87,
// w83627ehf, lm78) keeps a chip the monitor would not know, which it reads through the kernel.
bool ClaimedByMonitorChipDriver(const PortClaim& claim);

// A bus that does no access touching a claimed port: such a read gives all ones, as an absent
// port does, and such a write goes nowhere. A claim on either port of the pair 0x295/0x296 holds
// both: the chip behind them is one. The south bridges whose monitor a kernel driver owns
// (sis5595: PCI 0:1.0, via686a: 0:7.0) are found by their PCI identity, not by their ports, so
// their configuration reads give all ones too, as an absent function's do. Everything else
// passes to `inner`.
class ClaimGuardBus : public Bus {
 public:
  ClaimGuardBus(std::unique_ptr<Bus> inner, std::vector<PortClaim> claims);
  // Claims that are unknown leave the pair and both south bridges' monitors alone.
  ClaimGuardBus(std::unique_ptr<Bus> inner, KernelClaims kernel);

  uint32_t In(uint16_t port, unsigned width) override;
  void Out(uint16_t port, unsigned width, uint32_t value) override;
  bool ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string* error) override {
    return inner_->ReadPhysical(address, dest, length, error);
  }
  const std::vector<PortClaim>& Claims() const { return kernel_.claims; }
  const KernelClaims& Kernel() const { return kernel_; }
  // True when the `width`-byte access at `port` touches a claimed port.
  bool Refuses(uint16_t port, unsigned width) const;

 private:
  void Guard(const PortClaim& claim);

  std::unique_ptr<Bus> inner_;
  KernelClaims kernel_;
  std::vector<std::pair<uint16_t, uint16_t>> refused_;  // port ranges, first and last
  std::vector<uint32_t> hiddenFunctions_;  // bus, device and function bits of the address
  uint32_t latch_ = 0;                     // the last configuration address written to 0xCF8
};

}  // namespace velmo::hw
