#include "drivers/mapmem/MapMemWindow.h"

#include <charconv>

namespace velmo::drivers {

namespace {

std::optional<uint32_t> ParseNumber(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (hex ? 2 : 0);
  const char* last = text.data() + text.size();
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
  if (ec != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

}  // namespace

base::Expected<MapMemWindow> MapMemWindow::FromSettings(const std::string& address,
                                                        const std::string& length) {
  auto fail = [](const std::string& text) { return base::Error{text}; };
  MapMemWindow window;
  if (!address.empty()) {
    const auto value = ParseNumber(address);
    if (!value) return fail("DEVICE_ADDRESS is not a 32-bit number: \"" + address + "\"");
    window.address = *value;
  }
  if (!length.empty()) {
    const auto value = ParseNumber(length);
    if (!value) return fail("DEVICE_SIZE is not a 32-bit number: \"" + length + "\"");
    window.length = *value;
  }
  if (window.length == 0 || window.length > kMaxLength)
    return fail("DEVICE_SIZE must be 1 to " + std::to_string(kMaxLength) + " bytes");
  if (uint64_t{window.address} + window.length > 0x100000000ull)
    return fail("the window passes the end of 32-bit physical memory");
  return window;
}

ViewLayout LayoutView(const MapMemWindow& window) {
  ViewLayout view;
  view.offset = window.address % MapMemWindow::kPageSize;
  view.base = window.address - view.offset;
  const uint64_t span = uint64_t{view.offset} + window.length;
  view.size =
      (span + MapMemWindow::kPageSize - 1) / MapMemWindow::kPageSize * MapMemWindow::kPageSize;
  return view;
}

}  // namespace velmo::drivers
