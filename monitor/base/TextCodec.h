// The characters of `.reg` files: ASCII case folding, UTF-8, UTF-16LE and the Windows-1252
// "ANSI" that files written on Windows may be in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmo::base {

// ASCII-only case folding, as the registry compares key paths.
char FoldChar(char c);
std::string Fold(std::string_view s);
bool EqualsFolded(std::string_view a, std::string_view b);

// The code point of one Windows-1252 byte.
char32_t FromAnsi(uint8_t b);
void AppendUtf8(std::string& out, char32_t cp);

// Calls f(code point) for every character of `s`. Bytes that are not well-formed UTF-8 are taken
// as Windows-1252 (the "ANSI" of files written on Windows); the result says whether all were UTF-8.
template <typename F>
bool ForEachCodePoint(std::string_view s, F f) {
  bool valid = true;
  size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    size_t len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
      len = 1;
      cp = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
      len = 2;
      cp = b0 & 0x1F;
      min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      len = 3;
      cp = b0 & 0x0F;
      min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      len = 4;
      cp = b0 & 0x07;
      min = 0x10000;
    }
    bool ok = len != 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const auto b = static_cast<uint8_t>(s[i + k]);
      if ((b & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (ok) {
      f(cp);
      i += len;
    } else {
      valid = false;
      f(FromAnsi(b0));
      ++i;
    }
  }
  return valid;
}

template <typename Bytes>
void AppendUtf16Unit(Bytes& out, char16_t u) {
  out.push_back(static_cast<typename Bytes::value_type>(u & 0xFF));
  out.push_back(static_cast<typename Bytes::value_type>(u >> 8));
}

template <typename Bytes>
void AppendUtf16(Bytes& out, char32_t cp) {
  if (cp < 0x10000) {
    AppendUtf16Unit(out, static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    AppendUtf16Unit(out, static_cast<char16_t>(0xD800 | (cp >> 10)));
    AppendUtf16Unit(out, static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
  }
}

// Decodes UTF-16LE code units; false when a surrogate is unpaired (it becomes U+FFFD).
template <typename F>
bool ForEachUtf16CodePoint(const uint8_t* p, size_t units, F f) {
  bool valid = true;
  for (size_t i = 0; i < units; ++i) {
    char32_t u = static_cast<char32_t>(p[2 * i] | (p[2 * i + 1] << 8));
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char32_t lo = static_cast<char32_t>(p[2 * i + 2] | (p[2 * i + 3] << 8));
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        f(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      valid = false;
      u = 0xFFFD;
    }
    f(u);
  }
  return valid;
}

}  // namespace velmo::base
