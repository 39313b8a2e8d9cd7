#include "monitor/core/registry/RegistryText.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "monitor/base/Error.h"
#include "monitor/base/LittleEndian.h"
#include "monitor/base/Text.h"
#include "monitor/base/TextCodec.h"

namespace velmo::core {
namespace {

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && base::EqualsFolded(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = base::FoldChar(c);
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

class Parser {
 public:
  Parser(std::string_view text, RegistryParse& out) : text_(text), out_(out) {}

  void Run() {
    std::string_view line;
    while (NextLine(&line)) {
      const std::string_view t = base::Trim(line);
      if (t.empty()) continue;
      if (t == kRegeditHeader5 || t == kRegeditHeader4) {
        ansi_ = t == kRegeditHeader4;
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
      const std::string_view t = base::Trim(line);
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
    rest = base::Trim(rest);
    if (rest.empty() || rest.front() != '=') {
      Error("expected '=' after the value name");
      return;
    }
    rest = base::Trim(rest.substr(1));
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
    if (const auto parsed = ParseData(rest, &value); !parsed) {
      ErrorAt(first, parsed.error().message);
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
      while (PeekLine(&next) && !base::Trim(next).empty() && base::Trim(next).front() == ';')
        NextLine(&next);
      // A line that starts a key or a value is not data: the value was cut short.
      if (!PeekLine(&next) || base::Trim(next).empty() || base::Trim(next).front() == '[' ||
          base::Trim(next).front() == '"' || base::Trim(next).front() == '@') {
        *cutShort = true;
        break;
      }
      NextLine(&next);
      joined += base::Trim(next);
    }
    return joined;
  }

  base::Expected<void> ParseData(std::string_view s, RegistryValue* value) {
    if (!s.empty() && s.front() == '"') {
      std::string_view after;
      auto text = ParseQuoted(s, &after);
      if (!text) return base::Error{"string without closing quote"};
      if (!base::Trim(after).empty()) return base::Error{"text after the closing quote"};
      value->type = REG_SZ;
      base::ForEachCodePoint(*text, [&](char32_t cp) { base::AppendUtf16(value->data, cp); });
      value->data.push_back(0);
      value->data.push_back(0);
      return {};
    }
    if (StartsWithFolded(s, "dword:")) {
      auto v = ParseHexNumber(base::Trim(s.substr(6)), 8);
      if (!v) return base::Error{"dword needs 1 to 8 hex digits"};
      value->type = REG_DWORD;
      value->data.resize(4);
      base::StoreLe32(value->data.data(), *v);
      return {};
    }
    if (StartsWithFolded(s, "hex:")) {
      value->type = REG_BINARY;
      s.remove_prefix(4);
    } else if (StartsWithFolded(s, "hex(")) {
      const size_t close = s.find("):");
      auto type = close == std::string_view::npos ? std::nullopt
                                                  : ParseHexNumber(s.substr(4, close - 4), 8);
      if (!type) return base::Error{"hex(N): needs a type of 1 to 8 hex digits"};
      value->type = *type;
      s.remove_prefix(close + 2);
    } else
      return base::Error{"unknown value type"};
    if (!ParseHexBytes(s, &value->data))
      return base::Error{"hex data must be bytes of 1 or 2 hex digits separated by commas"};
    // REGEDIT4 files hold string types in ANSI; the registry (and the files written) in UTF-16.
    if (ansi_ &&
        (value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ)) {
      std::vector<uint8_t> wide;
      wide.reserve(value->data.size() * 2);
      for (uint8_t b : value->data)
        base::AppendUtf16(wide, base::FromAnsi(b));
      value->data = std::move(wide);
    }
    return {};
  }

  // Bytes of one or two hex digits, separated by commas with blanks around them; one trailing
  // comma is fine, an empty byte between commas is not.
  static bool ParseHexBytes(std::string_view s, std::vector<uint8_t>* out) {
    s = base::Trim(s);
    if (s.empty()) return true;
    out->reserve(out->size() + s.size() / 3 + 1);
    auto blank = [](char c) { return base::kLineBlanks.find(c) != std::string_view::npos; };
    size_t i = 0;
    for (bool first = true;; first = false) {
      while (i < s.size() && blank(s[i]))
        ++i;
      if (i == s.size()) return !first;  // after a trailing comma
      const int high = HexDigit(s[i]);
      if (high < 0) return false;
      uint32_t v = static_cast<uint32_t>(high);
      if (++i < s.size() && HexDigit(s[i]) >= 0)
        v = (v << 4) | static_cast<uint32_t>(HexDigit(s[i++]));
      while (i < s.size() && blank(s[i]))
        ++i;
      out->push_back(static_cast<uint8_t>(v));
      if (i == s.size()) return true;
      if (s[i++] != ',') return false;  // a third digit, or anything else
    }
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
    const bool valid = base::ForEachUtf16CodePoint(
        p, bytes.size() / 2, [&](char32_t cp) { base::AppendUtf8(*text, cp); });
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
  // The files this program writes are plain ASCII: they need no decoding.
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; })) {
    text->assign(bytes);
    return true;
  }
  text->reserve(bytes.size());
  base::ForEachCodePoint(bytes, [&](char32_t cp) { base::AppendUtf8(*text, cp); });
  return true;
}

}  // namespace

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

}  // namespace velmo::core
