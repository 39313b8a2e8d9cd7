#include "drivers/mapmem/PhysicalMemoryBus.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace velmo::drivers {

bool PhysicalMemoryBus::ReadPhysical(uint64_t address, uint8_t* dest, size_t length,
                                     std::string* error) {
  const int fd = ::open("/dev/mem", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::string("/dev/mem: ") + std::strerror(errno);
    return false;
  }
  // Through a buffer: `dest` stays untouched when only part of the range can be read.
  std::vector<uint8_t> buffer(length);
  const ssize_t n = ::pread(fd, buffer.data(), length, static_cast<off_t>(address));
  const int err = n < 0 ? errno : EIO;
  ::close(fd);
  if (n == static_cast<ssize_t>(length)) {
    std::memcpy(dest, buffer.data(), length);
    return true;
  }
  if (error) *error = std::string("/dev/mem read: ") + std::strerror(err);
  return false;
}

}  // namespace velmo::drivers
