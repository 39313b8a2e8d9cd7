// The files the setup program carries inside itself and writes out under the prefix.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmo::setup {

struct Payload {
  std::string target;  // relative to the prefix: "bin/velmond"
  std::span<const uint8_t> bytes;
};

// The payloads linked into this program, in the order they are written out.
std::span<const Payload> EmbeddedPayloads();

}  // namespace velmo::setup
