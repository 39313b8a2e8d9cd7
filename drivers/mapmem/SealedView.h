// A read-only copy of a view of physical memory: a sealed memfd that a client can map but that
// nobody can change, grow or shrink any more.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "monitor/base/Error.h"

namespace velmo::drivers {

class SealedView {
 public:
  // A memfd holding exactly `bytes`, sealed; the error names the step the kernel refused.
  static base::Expected<std::unique_ptr<SealedView>> Create(std::span<const uint8_t> bytes);
  ~SealedView();
  SealedView(const SealedView&) = delete;
  SealedView& operator=(const SealedView&) = delete;

  int Fd() const { return fd_; }

 private:
  explicit SealedView(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace velmo::drivers
