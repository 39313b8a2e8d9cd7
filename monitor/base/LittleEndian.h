// Little-endian packing of unsigned words: every byte that is stored or sent (the 72-byte channel
// records, the settings' 4-byte values, the helper protocol) is laid out by these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmo::base {

// The `n` (1..4) bytes at p as one little-endian number.
constexpr uint32_t LoadLe(const uint8_t* p, size_t n) {
  uint32_t value = 0;
  for (size_t i = n; i-- > 0;)
    value = (value << 8) | p[i];
  return value;
}
// The low `n` (1..4) bytes of value, lowest first.
constexpr void StoreLe(uint8_t* p, uint32_t value, size_t n) {
  for (size_t i = 0; i < n; ++i)
    p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Spelled out rather than through the loops above: the compiler then makes each one a single
// load or store (the helper protocol packs thousands of them a second).
constexpr uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
constexpr void StoreLe32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}
inline void AppendLe32(std::vector<uint8_t>& out, uint32_t value) {
  // Grown, then stored: GCC 12 warns falsely about a four-byte insert into an empty vector.
  out.resize(out.size() + 4);
  StoreLe32(out.data() + out.size() - 4, value);
}

}  // namespace velmo::base
