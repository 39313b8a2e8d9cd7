// Splits a fuzzer's input into a session of requests on a few connections, so the decoders are
// fuzzed with state (open handles, mappings) and not only one datagram at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmo::fuzz {

inline constexpr uint64_t kConnections = 4;

// One step: a datagram on a connection, or (when `disconnect`) that connection closing.
struct Step {
  uint64_t connection = 0;
  bool disconnect = false;
  std::span<const uint8_t> datagram;
};

// Each step takes a tag byte (bits 0-1 connection, bit 7 disconnect) and, for a datagram, a
// length byte (the datagram's length, up to 255 + 16 so oversize ones occur) and that many bytes.
// With bit 5 of the tag the length is two bytes, low first, for the long batch requests.
class StepReader {
 public:
  explicit StepReader(std::span<const uint8_t> data) : data_(data) {}
  bool Next(Step* step) {
    if (data_.empty()) return false;
    const uint8_t tag = data_[0];
    data_ = data_.subspan(1);
    step->connection = tag & 3;
    step->disconnect = (tag & 0x80) != 0;
    step->datagram = {};
    if (step->disconnect) return true;
    size_t length = 0;
    if ((tag & 0x20) && data_.size() >= 2) {
      length = data_[0] | size_t{data_[1]} << 8;
      data_ = data_.subspan(2);
    } else if (!data_.empty()) {
      length = data_[0] + ((tag & 0x40) ? 16 : 0);
      data_ = data_.subspan(1);
    }
    if (length > data_.size()) length = data_.size();
    step->datagram = data_.first(length);
    data_ = data_.subspan(length);
    return true;
  }

 private:
  std::span<const uint8_t> data_;
};

}  // namespace velmo::fuzz
