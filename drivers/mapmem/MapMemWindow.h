// The physical-memory window of the mapmem helper and the page arithmetic of its view.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "monitor/base/Error.h"

namespace velmo::drivers {

struct MapMemWindow {
  static constexpr uint32_t kDefaultAddress = 0xFECE0;  // the BIOS identification text
  static constexpr uint32_t kDefaultLength = 0x20;
  // Longest window served: the view is copied into memory for every connection that maps it.
  static constexpr uint32_t kMaxLength = 0x10000;
  static constexpr uint32_t kPageSize = 4096;

  uint32_t address = kDefaultAddress;
  uint32_t length = kDefaultLength;

  // The window from the DEVICE_ADDRESS and DEVICE_SIZE settings (empty: the default). Each text
  // is a decimal or 0x-prefixed hexadecimal 32-bit number. An error when a text is not such a
  // number, the length is 0 or above kMaxLength, or the window passes 4 GiB.
  static base::Expected<MapMemWindow> FromSettings(const std::string& address,
                                                   const std::string& length);
};

// The view of a window: from the window address rounded down to a page, (address mod page +
// length) rounded up to whole pages; the window's first byte lies `offset` bytes into it.
struct ViewLayout {
  uint64_t base = 0;
  uint64_t size = 0;
  uint32_t offset = 0;
};

ViewLayout LayoutView(const MapMemWindow& window);

}  // namespace velmo::drivers
