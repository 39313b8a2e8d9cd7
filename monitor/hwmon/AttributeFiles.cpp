#include "monitor/hwmon/AttributeFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

namespace velmo::hwmon {

AttributeRead SysfsAttributeFiles::Read(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {0, errno};
  char buffer[64];
  ssize_t n;
  do {
    n = read(fd, buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  const int readError = n < 0 ? errno : 0;
  close(fd);
  if (readError != 0) return {0, readError};
  std::string_view text(buffer, static_cast<size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    text.remove_suffix(1);
  AttributeRead result;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result.value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return {0, EINVAL};
  return result;
}

int SysfsAttributeFiles::Write(const std::string& path, int64_t value) {
  // O_TRUNC as a shell redirection does: sysfs ignores it, a plain file (a test tree) needs it.
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  char buffer[24];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;  // 24 characters hold any 64-bit value
  const size_t length = static_cast<size_t>(end - buffer);
  ssize_t n;
  do {
    n = write(fd, buffer, length);
  } while (n < 0 && errno == EINTR);
  const int error = n < 0 ? errno : (static_cast<size_t>(n) != length ? EIO : 0);
  close(fd);
  return error;
}

}  // namespace velmo::hwmon
