// The mapmem request handling as a unit: the window, the page arithmetic of its view and the
// sealed read-only copy handed out per connection.
#include "drivers/mapmem/MapMemDevice.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/RecordingBus.h"

namespace velmo::drivers {
namespace {

namespace pr = protocol;

// Physical memory in which byte n holds (n * 7) & 0xFF; reads outside [0, limit) fail.
class PatternBus : public hw::Bus {
 public:
  uint64_t limit = 1ull << 32;
  std::vector<std::string> reads;
  uint32_t In(uint16_t, unsigned) override { return 0xFFFFFFFF; }
  void Out(uint16_t, unsigned, uint32_t) override {}
  bool ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string* error) override {
    reads.push_back(test::Hex(address) + " " + std::to_string(length));
    if (address + length > limit) {
      *error = "no such memory";
      return false;
    }
    for (size_t i = 0; i < length; ++i)
      dest[i] = Pattern(address + i);
    return true;
  }
  static uint8_t Pattern(uint64_t address) { return static_cast<uint8_t>(address * 7); }
};

std::vector<uint8_t> FileBytes(int fd) {
  struct stat st {};
  EXPECT_EQ(::fstat(fd, &st), 0);
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  EXPECT_EQ(::pread(fd, bytes.data(), bytes.size(), 0), st.st_size);
  return bytes;
}

struct Mapped {
  uint32_t status;
  std::optional<uint32_t> offset;
  int fd;
};

Mapped Map(MapMemDevice& device, uint64_t conn, uint32_t capacity = 4) {
  const ServedReply served =
      device.Serve(conn, pr::EncodeRequest(pr::kIoctlMapMemMap, capacity, {}));
  const auto reply = pr::DecodeReply(served.datagram);
  EXPECT_TRUE(reply.has_value());
  return {reply->status, reply->Word(0), served.fd};
}

uint32_t Unmap(MapMemDevice& device, uint64_t conn) {
  const ServedReply served = device.Serve(conn, pr::EncodeRequest(pr::kIoctlMapMemUnmap, 0, {}));
  EXPECT_EQ(served.fd, -1);
  return pr::DecodeReply(served.datagram)->status;
}

TEST(MapMemWindow, PageArithmeticOfTheView) {
  struct Row {
    uint32_t address;
    uint32_t length;
    uint64_t base;
    uint64_t size;
    uint32_t offset;
  };
  const Row rows[] = {
      {0xFECE0, 0x20, 0xFE000, 0x1000, 0xCE0},     // the default: one page, 0xCE0 into it
      {0xFEFF0, 0x20, 0xFE000, 0x2000, 0xFF0},     // crosses a page: two pages
      {0xFF000, 0x1000, 0xFF000, 0x1000, 0},       // exactly one page
      {0xFF001, 0x2000, 0xFF000, 0x3000, 1},       // three pages
      {0xFFFFFFFF, 1, 0xFFFFF000, 0x1000, 0xFFF},  // the last byte of 32-bit memory
  };
  for (const Row& row : rows) {
    const ViewLayout view = LayoutView(MapMemWindow{row.address, row.length});
    EXPECT_EQ(view.base, row.base) << test::Hex(row.address);
    EXPECT_EQ(view.size, row.size) << test::Hex(row.address);
    EXPECT_EQ(view.offset, row.offset) << test::Hex(row.address);
  }
}

TEST(MapMemWindow, SettingsReplaceTheDefaults) {
  struct Row {
    const char* address;
    const char* size;
    bool ok;
    uint32_t wantAddress;
    uint32_t wantLength;
  };
  const Row rows[] = {
      {"", "", true, 0xFECE0, 0x20},
      {"0xF0000", "", true, 0xF0000, 0x20},
      {"", "4096", true, 0xFECE0, 4096},
      {"0XFEFF0", "0x40", true, 0xFEFF0, 0x40},
      {"0xFECE0x", "", false, 0, 0},
      {"-1", "", false, 0, 0},
      {"0x100000000", "", false, 0, 0},  // more than 32 bits
      {"", "0", false, 0, 0},
      {"", "0x10001", false, 0, 0},
      {"0xFFFFFFF0", "0x20", false, 0, 0},  // passes 4 GiB
      {"0x", "", false, 0, 0},
  };
  for (const Row& row : rows) {
    const auto window = MapMemWindow::FromSettings(row.address, row.size);
    ASSERT_EQ(window.has_value(), row.ok) << row.address << " " << row.size;
    if (!row.ok) {
      EXPECT_FALSE(window.error().message.empty());
      continue;
    }
    EXPECT_EQ(window->address, row.wantAddress);
    EXPECT_EQ(window->length, row.wantLength);
  }
}

TEST(MapMemDevice, MapHandsOutASealedCopyHoldingOnlyTheWindow) {
  PatternBus bus;
  MapMemDevice device(bus, MapMemWindow{0xFEFF0, 0x20});  // crosses into the next page
  const Mapped first = Map(device, 1);
  ASSERT_EQ(first.status, pr::kStatusSuccess);
  EXPECT_EQ(first.offset, 0xFF0u);
  ASSERT_GE(first.fd, 0);
  const std::vector<uint8_t> bytes = FileBytes(first.fd);
  ASSERT_EQ(bytes.size(), 0x2000u);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const bool inWindow = i >= 0xFF0 && i < 0xFF0 + 0x20;
    ASSERT_EQ(bytes[i], inWindow ? PatternBus::Pattern(0xFE000 + i) : 0) << i;
  }
  EXPECT_EQ(bus.reads, (std::vector<std::string>{"0xfeff0 32"}));

  // Nobody can change, grow or map the copy writable.
  const uint8_t byte = 1;
  EXPECT_EQ(::pwrite(first.fd, &byte, 1, 0xFF0), -1);
  EXPECT_NE(::ftruncate(first.fd, 0x3000), 0);
  EXPECT_EQ(::mmap(nullptr, 0x2000, PROT_READ | PROT_WRITE, MAP_SHARED, first.fd, 0), MAP_FAILED);
  void* view = ::mmap(nullptr, 0x2000, PROT_READ, MAP_SHARED, first.fd, 0);
  ASSERT_NE(view, MAP_FAILED);
  EXPECT_EQ(static_cast<const uint8_t*>(view)[0xFF0], PatternBus::Pattern(0xFEFF0));
  ::munmap(view, 0x2000);

  // A second MAP on the connection returns the same mapping; another connection gets its own.
  const Mapped again = Map(device, 1);
  EXPECT_EQ(again.offset, first.offset);
  EXPECT_EQ(again.fd, first.fd);
  const Mapped other = Map(device, 2);
  EXPECT_NE(other.fd, first.fd);
  EXPECT_EQ(FileBytes(other.fd), bytes);
  EXPECT_EQ(bus.reads.size(), 2u);
  EXPECT_EQ(device.OpenObjects(), 2u);

  EXPECT_EQ(Unmap(device, 1), pr::kStatusSuccess);
  EXPECT_EQ(Unmap(device, 1), pr::kStatusSuccess);  // without a mapping: success all the same
  EXPECT_EQ(::fcntl(first.fd, F_GETFD), -1);        // the view is gone with the mapping
  EXPECT_EQ(device.Disconnect(2), 1u);              // clean-up of a connection left mapped
  EXPECT_EQ(device.OpenObjects(), 0u);
}

TEST(MapMemDevice, LongWindowsAreReadInPieces) {
  PatternBus bus;
  MapMemDevice device(bus, MapMemWindow{0xF0010, 150});
  const Mapped mapped = Map(device, 1);
  ASSERT_EQ(mapped.status, pr::kStatusSuccess);
  EXPECT_EQ(bus.reads, (std::vector<std::string>{"0xf0010 64", "0xf0050 64", "0xf0090 22"}));
  const std::vector<uint8_t> bytes = FileBytes(mapped.fd);
  EXPECT_EQ(bytes[0x10 + 149], PatternBus::Pattern(0xF0010 + 149));
  EXPECT_EQ(bytes[0x10 + 150], 0);
}

TEST(MapMemDevice, Refusals) {
  PatternBus bus;
  bus.limit = 0xFECF0;  // the window's second half cannot be read
  MapMemDevice device(bus, MapMemWindow{});
  EXPECT_EQ(Map(device, 1, 3).status, pr::kStatusBufferTooSmall);
  const Mapped failed = Map(device, 1);
  EXPECT_EQ(failed.status, pr::kStatusUnsuccessful);
  EXPECT_FALSE(failed.offset.has_value());
  EXPECT_EQ(failed.fd, -1);
  EXPECT_EQ(device.OpenObjects(), 0u);

  const std::vector<std::vector<uint8_t>> refused = {
      pr::EncodeRequest(pr::kIoctlPortIoWrite, 4, {}),  // no such code on this device
      pr::EncodeRequest(pr::ControlCode(0x800), 4, std::vector<uint32_t>{10}),
      {1, 2, 3},
      std::vector<uint8_t>(pr::kMaxDatagram + 1, 0),
  };
  for (const auto& datagram : refused) {
    const ServedReply served = device.Serve(1, datagram);
    EXPECT_EQ(pr::DecodeReply(served.datagram)->status, pr::kStatusInvalidParameter);
    EXPECT_EQ(served.fd, -1);
  }
}

}  // namespace
}  // namespace velmo::drivers
