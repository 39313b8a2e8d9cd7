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

constexpr uint32_t LoadLe32(const uint8_t* p) {
  return LoadLe(p, 4);
}
constexpr void StoreLe32(uint8_t* p, uint32_t value) {
  StoreLe(p, value, 4);
}
inline void AppendLe32(std::vector<uint8_t>& out, uint32_t value) {
  // Byte by byte: GCC 12 warns falsely about a four-byte insert into an empty vector.
  for (size_t i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace velmo::base
