#include "drivers/mapmem/SealedView.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmo::drivers {

base::Expected<std::unique_ptr<SealedView>> SealedView::Create(std::span<const uint8_t> bytes) {
  auto fail = [](const char* what, int fd) -> base::Error {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    return base::Error{std::string(what) + ": " + std::strerror(error), error};
  };
  const int fd = ::memfd_create("velmo-mapmem-view", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return fail("memfd_create", -1);
  if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) return fail("ftruncate", fd);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n <= 0) return fail("write view", fd);
    done += static_cast<size_t>(n);
  }
  if (::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
    return fail("seal view", fd);
  return std::unique_ptr<SealedView>(new SealedView(fd));
}

SealedView::~SealedView() {
  ::close(fd_);
}

}  // namespace velmo::drivers
