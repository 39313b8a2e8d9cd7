#include "monitor/core/RegistryText.h"

#include <array>
#include <cstdio>
#include <optional>
#include <utility>

#include "monitor/base/LittleEndian.h"

namespace velmo::core {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::array<std::string_view, 5> kRootNames = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                                        "HKEY_CLASSES_ROOT", "HKEY_USERS",
                                                        "HKEY_CURRENT_CONFIG"};
// Exports wrap hex data once a line reaches this many columns (lines stay within 80).
constexpr size_t kHexWrapColumn = 77;

char FoldChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = FoldChar(c);
  return out;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  }
  return true;
}

// ---- Characters -------------------------------------------------------------------------------

// Windows-1252 0x80-0x9F; the five unassigned bytes map to themselves as Windows does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromAnsi(uint8_t b) {
  return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
}

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

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
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

// The text of a REG_SZ value when it can be written in quotes: whole UTF-16 units, one final NUL
// and no other, no line breaks. Anything else is written as hex(1) so that nothing is lost.
std::optional<std::string> QuotableString(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  const size_t units = data.size() / 2 - 1;
  if (data[2 * units] != 0 || data[2 * units + 1] != 0) return std::nullopt;
  std::string text;
  bool quotable = true;
  const bool valid = ForEachUtf16CodePoint(data.data(), units, [&](char32_t cp) {
    if (cp == 0 || cp == '\r' || cp == '\n') quotable = false;
    AppendUtf8(text, cp);
  });
  if (!valid || !quotable) return std::nullopt;
  return text;
}

// ---- Lines ------------------------------------------------------------------------------------

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsFolded(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = FoldChar(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// 1 to `maxDigits` hex digits, nothing else.
std::optional<uint32_t> ParseHexNumber(std::string_view s, size_t maxDigits) {
  if (s.empty() || s.size() > maxDigits) return std::nullopt;
  uint32_t v = 0;
  for (char c : s) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  return v;
}

// A quoted string starting at s[0] == '"', with \\ and \" escapes (other backslashes stay as they
// are). Returns the text and sets `rest` to what follows the closing quote.
std::optional<std::string> ParseQuoted(std::string_view s, std::string_view* rest) {
  std::string out;
  size_t i = 1;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '"') {
      *rest = s.substr(i + 1);
      return out;
    }
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[i + 1];
      i += 2;
      continue;
    }
    out += c;
    ++i;
  }
  return std::nullopt;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

class Parser {
 public:
  Parser(std::string_view text, RegistryParse& out) : text_(text), out_(out) {}

  void Run() {
    std::string_view line;
    while (NextLine(&line)) {
      const std::string_view t = Trim(line);
      if (t.empty()) continue;
      if (t == kHeader5 || t == kHeader4) {
        ansi_ = t == kHeader4;
        out_.parsed = true;
        break;
      }
      Error("not a registry file (no \"Windows Registry Editor Version 5.00\" header)");
      return;
    }
    if (!out_.parsed) {
      Error("not a registry file (empty)");
      return;
    }
    while (NextLine(&line)) {
      const std::string_view t = Trim(line);
      if (t.empty() || t.front() == ';') continue;
      if (t.front() == '[') {
        KeyLine(t);
      } else if (t.front() == '"' || t.front() == '@') {
        ValueLine(t);
      } else {
        Error("unrecognised line");
      }
    }
  }

 private:
  bool NextLine(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++lineNo_;
    return true;
  }

  bool PeekLine(std::string_view* line) const {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    return true;
  }

  void Error(std::string message) { ErrorAt(lineNo_, std::move(message)); }
  void ErrorAt(uint32_t line, std::string message) {
    if (out_.errors.size() < RegistryParse::kMaxKeptErrors) {
      out_.errors.push_back({line, std::move(message)});
    }
    ++out_.errorCount;
  }

  void KeyLine(std::string_view t) {
    key_ = nullptr;
    if (t.back() != ']') {
      Error("key line without closing ']'");
      return;
    }
    std::string_view path = t.substr(1, t.size() - 2);
    const bool remove = !path.empty() && path.front() == '-';
    if (remove) path.remove_prefix(1);
    if (!IsValidKeyPath(path)) {
      Error("invalid key path");
      return;
    }
    if (remove) {
      out_.model.DeleteKey(path);
    } else {
      key_ = &out_.model.OpenKey(path);
    }
  }

  void ValueLine(std::string_view t) {
    const uint32_t first = lineNo_;
    std::string name;
    std::string_view rest;
    if (t.front() == '@') {
      rest = t.substr(1);
    } else {
      auto quoted = ParseQuoted(t, &rest);
      if (!quoted) {
        Error("value name without closing quote");
        return;
      }
      name = std::move(*quoted);
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != '=') {
      Error("expected '=' after the value name");
      return;
    }
    rest = Trim(rest.substr(1));
    // Hex data may go on over lines ending in a backslash; join them before anything else so a
    // bad value never leaves its continuation lines to be read as lines of their own.
    std::string joined;
    bool cutShort = false;
    if (StartsWithFolded(rest, "hex")) {
      joined = JoinContinuation(rest, &cutShort);
      rest = joined;
    }
    if (!key_) {
      ErrorAt(first, "value outside a key");
      return;
    }
    if (!IsValidValueName(name)) {
      ErrorAt(first, "invalid value name");
      return;
    }
    if (rest == "-") {
      key_->Erase(name);
      return;
    }
    RegistryValue value;
    value.name = std::move(name);
    std::string problem;
    if (!ParseData(rest, &value, &problem)) {
      ErrorAt(first, problem);
      return;
    }
    if (cutShort) ErrorAt(first, "continued line ends without more data");
    key_->Set(std::move(value));
  }

  std::string JoinContinuation(std::string_view rest, bool* cutShort) {
    std::string joined(rest);
    while (!joined.empty() && joined.back() == '\\') {
      joined.pop_back();
      std::string_view next;
      // Comment lines between continued lines are skipped, as exports by other tools have them.
      while (PeekLine(&next) && !Trim(next).empty() && Trim(next).front() == ';')
        NextLine(&next);
      // A line that starts a key or a value is not data: the value was cut short.
      if (!PeekLine(&next) || Trim(next).empty() || Trim(next).front() == '[' ||
          Trim(next).front() == '"' || Trim(next).front() == '@') {
        *cutShort = true;
        break;
      }
      NextLine(&next);
      joined += Trim(next);
    }
    return joined;
  }

  bool ParseData(std::string_view s, RegistryValue* value, std::string* problem) {
    if (!s.empty() && s.front() == '"') {
      std::string_view after;
      auto text = ParseQuoted(s, &after);
      if (!text) {
        *problem = "string without closing quote";
        return false;
      }
      if (!Trim(after).empty()) {
        *problem = "text after the closing quote";
        return false;
      }
      value->type = REG_SZ;
      ForEachCodePoint(*text, [&](char32_t cp) { AppendUtf16(value->data, cp); });
      value->data.push_back(0);
      value->data.push_back(0);
      return true;
    }
    if (StartsWithFolded(s, "dword:")) {
      auto v = ParseHexNumber(Trim(s.substr(6)), 8);
      if (!v) {
        *problem = "dword needs 1 to 8 hex digits";
        return false;
      }
      value->type = REG_DWORD;
      value->data = {static_cast<uint8_t>(*v), static_cast<uint8_t>(*v >> 8),
                     static_cast<uint8_t>(*v >> 16), static_cast<uint8_t>(*v >> 24)};
      return true;
    }
    if (StartsWithFolded(s, "hex:")) {
      value->type = REG_BINARY;
      s.remove_prefix(4);
    } else if (StartsWithFolded(s, "hex(")) {
      const size_t close = s.find("):");
      auto type = close == std::string_view::npos ? std::nullopt
                                                  : ParseHexNumber(s.substr(4, close - 4), 8);
      if (!type) {
        *problem = "hex(N): needs a type of 1 to 8 hex digits";
        return false;
      }
      value->type = *type;
      s.remove_prefix(close + 2);
    } else {
      *problem = "unknown value type";
      return false;
    }
    if (!ParseHexBytes(s, &value->data)) {
      *problem = "hex data must be bytes of 1 or 2 hex digits separated by commas";
      return false;
    }
    // REGEDIT4 files hold string types in ANSI; the registry (and the files written) in UTF-16.
    if (ansi_ &&
        (value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ)) {
      std::vector<uint8_t> wide;
      wide.reserve(value->data.size() * 2);
      for (uint8_t b : value->data)
        AppendUtf16(wide, FromAnsi(b));
      value->data = std::move(wide);
    }
    return true;
  }

  static bool ParseHexBytes(std::string_view s, std::vector<uint8_t>* out) {
    s = Trim(s);
    if (s.empty()) return true;
    size_t start = 0;
    while (start <= s.size()) {
      size_t comma = s.find(',', start);
      const bool last = comma == std::string_view::npos;
      if (last) comma = s.size();
      const std::string_view item = Trim(s.substr(start, comma - start));
      if (item.empty()) return last && start > 0;  // a trailing comma is fine, ",," is not
      auto v = ParseHexNumber(item, 2);
      if (!v) return false;
      out->push_back(static_cast<uint8_t>(*v));
      if (last) return true;
      start = comma + 1;
    }
    return true;
  }

  std::string_view text_;
  RegistryParse& out_;
  size_t pos_ = 0;
  uint32_t lineNo_ = 0;
  bool ansi_ = false;
  RegistryKey* key_ = nullptr;  // the key that values go to; none before the first key line
};

// Turns the file's bytes into UTF-8 text. False when the encoding is not one we read.
bool DecodeFile(std::string_view bytes, std::string* text, RegistryParse& out) {
  auto fail = [&](std::string message) {
    out.errors.push_back({0, std::move(message)});
    ++out.errorCount;
    return false;
  };
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE &&
      static_cast<uint8_t>(bytes[1]) == 0xFF) {
    return fail("UTF-16 big-endian files are not read");
  }
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
      static_cast<uint8_t>(bytes[1]) == 0xFE) {
    bytes.remove_prefix(2);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    text->reserve(bytes.size() / 2);
    const bool valid =
        ForEachUtf16CodePoint(p, bytes.size() / 2, [&](char32_t cp) { AppendUtf8(*text, cp); });
    if (!valid) {
      out.errors.push_back({0, "unpaired UTF-16 surrogate (read as U+FFFD)"});
      ++out.errorCount;
    }
    if (bytes.size() % 2 != 0) {
      out.errors.push_back({0, "UTF-16 file with an odd number of bytes"});
      ++out.errorCount;
    }
    return true;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  text->reserve(bytes.size());
  ForEachCodePoint(bytes, [&](char32_t cp) { AppendUtf8(*text, cp); });
  return true;
}

// ---- Writing ----------------------------------------------------------------------------------

size_t Columns(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8)
    n += (static_cast<uint8_t>(c) & 0xC0) != 0x80;
  return n;
}

void FormatValue(std::string& out, const RegistryValue& v) {
  std::string line = v.name.empty() ? "@=" : Quote(v.name) + "=";
  if (v.type == REG_SZ) {
    if (auto text = QuotableString(v.data)) {
      out += line + Quote(*text) + "\r\n";
      return;
    }
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    char buf[16];
    const uint32_t d = base::LoadLe32(v.data.data());
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    out += line + buf + "\r\n";
    return;
  }
  if (v.type == REG_BINARY) {
    line += "hex:";
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    line += buf;
  }
  size_t column = Columns(line);
  out += line;
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < v.data.size(); ++i) {
    out += kDigits[v.data[i] >> 4];
    out += kDigits[v.data[i] & 0xF];
    if (i + 1 == v.data.size()) break;
    out += ',';
    column += 3;
    if (column >= kHexWrapColumn) {
      out += "\\\r\n  ";
      column = 2;
    }
  }
  out += "\r\n";
}

}  // namespace

// ---- Model ------------------------------------------------------------------------------------

RegistryKey::RegistryKey(const RegistryKey& other) : path_(other.path_), values_(other.values_) {
  for (auto it = values_.begin(); it != values_.end(); ++it)
    byName_[it->name] = it;
}

RegistryKey& RegistryKey::operator=(const RegistryKey& other) {
  if (this != &other) {
    RegistryKey copy(other);
    *this = std::move(copy);
  }
  return *this;
}

const RegistryValue* RegistryKey::Find(const std::string& name) const {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : &*it->second;
}

void RegistryKey::Set(RegistryValue value) {
  auto it = byName_.find(value.name);
  if (it != byName_.end()) {
    *it->second = std::move(value);
    return;
  }
  values_.push_back(std::move(value));
  byName_[values_.back().name] = std::prev(values_.end());
}

bool RegistryKey::Erase(const std::string& name) {
  auto it = byName_.find(name);
  if (it == byName_.end()) return false;
  values_.erase(it->second);
  byName_.erase(it);
  return true;
}

bool RegistryKey::operator==(const RegistryKey& other) const {
  return path_ == other.path_ && values_ == other.values_;
}

RegistryModel::RegistryModel(const RegistryModel& other) : keys_(other.keys_) {
  for (auto it = keys_.begin(); it != keys_.end(); ++it)
    byPath_[Fold(it->Path())] = it;
}

RegistryModel& RegistryModel::operator=(const RegistryModel& other) {
  if (this != &other) {
    RegistryModel copy(other);
    *this = std::move(copy);
  }
  return *this;
}

const RegistryKey* RegistryModel::FindKey(std::string_view path) const {
  auto it = byPath_.find(Fold(path));
  return it == byPath_.end() ? nullptr : &*it->second;
}

bool RegistryModel::KeyExists(std::string_view path) const {
  const std::string folded = Fold(path);
  if (byPath_.count(folded)) return true;
  auto it = byPath_.lower_bound(folded + '\\');
  return it != byPath_.end() && it->first.starts_with(folded + '\\');
}

RegistryKey& RegistryModel::OpenKey(std::string_view path) {
  std::string folded = Fold(path);
  auto it = byPath_.find(folded);
  if (it != byPath_.end()) return *it->second;
  keys_.emplace_back(std::string(path));
  byPath_.emplace(std::move(folded), std::prev(keys_.end()));
  return keys_.back();
}

void RegistryModel::DeleteKey(std::string_view path) {
  const std::string folded = Fold(path);
  if (auto it = byPath_.find(folded); it != byPath_.end()) {
    keys_.erase(it->second);
    byPath_.erase(it);
  }
  const std::string below = folded + '\\';
  auto it = byPath_.lower_bound(below);
  while (it != byPath_.end() && it->first.starts_with(below)) {
    keys_.erase(it->second);
    it = byPath_.erase(it);
  }
}

bool RegistryModel::operator==(const RegistryModel& other) const {
  return keys_ == other.keys_;
}

bool IsValidValueName(std::string_view name) {
  if (name.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) return false;
  return ForEachCodePoint(name, [](char32_t) {});
}

bool IsValidKeyPath(std::string_view path) {
  if (!IsValidValueName(path)) return false;
  const size_t slash = path.find('\\');
  if (slash == std::string_view::npos) return false;
  bool rootKnown = false;
  for (std::string_view root : kRootNames)
    rootKnown |= EqualsFolded(path.substr(0, slash), root);
  if (!rootKnown) return false;
  std::string_view rest = path.substr(slash + 1);
  while (true) {
    const size_t next = rest.find('\\');
    if (rest.substr(0, next).empty()) return false;
    if (next == std::string_view::npos) return true;
    rest.remove_prefix(next + 1);
  }
}

RegistryParse ParseRegistryText(std::string_view bytes) {
  RegistryParse out;
  if (bytes.size() > kMaxRegistryFileSize) {
    out.errors.push_back({0, "file larger than 16 MiB"});
    ++out.errorCount;
    return out;
  }
  std::string text;
  if (!DecodeFile(bytes, &text, out)) return out;
  Parser(text, out).Run();
  return out;
}

std::string FormatRegistryText(const RegistryModel& model) {
  std::string out(kHeader5);
  out += "\r\n";
  for (const RegistryKey& key : model.Keys()) {
    out += "\r\n[" + key.Path() + "]\r\n";
    for (const RegistryValue& v : key.Values())
      FormatValue(out, v);
  }
  out += "\r\n";
  bool ascii = true;
  for (char c : out)
    ascii &= static_cast<uint8_t>(c) < 0x80;
  if (ascii) return out;
  // Without a BOM the editor would read the file in the machine's ANSI code page.
  std::string wide = "\xFF\xFE";
  wide.reserve(out.size() * 2 + 2);
  ForEachCodePoint(out, [&](char32_t cp) { AppendUtf16(wide, cp); });
  return wide;
}

}  // namespace velmo::core
