// Reading and writing one sysfs attribute: the seam between the kernel source and the files, so
// tests can make a read fail the ways a driver's can (EIO, EAGAIN) without a driver.
#pragma once

#include <cstdint>
#include <string>

namespace velmo::hwmon {

struct AttributeRead {
  int64_t value = 0;
  int error = 0;  // errno of the failure; 0 when `value` was read
  bool Ok() const { return error == 0; }
};

class AttributeFiles {
 public:
  virtual ~AttributeFiles() = default;
  // One integer attribute, opened, read and closed: nothing is kept between ticks.
  virtual AttributeRead Read(const std::string& path) = 0;
  // Writes the decimal `value`; returns 0 or the errno of the failure.
  virtual int Write(const std::string& path, int64_t value) = 0;
};

// The files themselves. Attributes are regular files: a symbolic link in an attribute's place is
// refused (ELOOP) and never followed, and opening never blocks.
class SysfsAttributeFiles : public AttributeFiles {
 public:
  AttributeRead Read(const std::string& path) override;
  int Write(const std::string& path, int64_t value) override;
};

}  // namespace velmo::hwmon
