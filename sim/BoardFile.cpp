#include "sim/BoardFile.h"

#include <charconv>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <string_view>

#include <nlohmann/json.hpp>

#include "sim/PciSpace.h"

namespace velmo::sim {
namespace {

using nlohmann::json;

constexpr const char* kFields =
    "description, bios_id, bios_bytes, chip, via686a, pci, registers, script, trace or hwmon";

std::string Hex(uint64_t v) {
  char buf[24] = "0x";
  auto r = std::to_chars(buf + 2, buf + sizeof buf, v, 16);
  return std::string(buf, r.ptr);
}

// Texts from the file in error messages, cut short so that a huge key cannot make a huge message.
std::string Cut(std::string_view s, size_t longest = 40) {
  return s.size() > longest ? std::string(s.substr(0, longest)) + "..." : std::string(s);
}

std::string Quoted(std::string_view s) {
  return "\"" + Cut(s) + "\"";
}

// Deepest nesting a board file needs is four (script entry registers); anything far deeper is
// refused before the document is built, so that no later step recurses through it.
constexpr size_t kMaxNesting = 16;

// Counts the nesting while the text is read, and stops the read beyond kMaxNesting.
class NestingCheck : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool tooDeep = false;
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return Enter(); }
  bool key(string_t&) override { return true; }
  bool end_object() override { return Leave(); }
  bool start_array(std::size_t) override { return Enter(); }
  bool end_array() override { return Leave(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;  // the real parse reports it
  }

 private:
  bool Enter() {
    tooDeep = ++depth_ > kMaxNesting;
    return !tooDeep;
  }
  bool Leave() {
    --depth_;
    return true;
  }
  size_t depth_ = 0;
};

// A value as error texts show it: scalars as written (long ones cut), containers by their kind,
// so that a rejected value is never serialised whole.
std::string Shown(const nlohmann::json& v) {
  if (v.is_array()) return "an array";
  if (v.is_object()) return "an object";
  return Cut(v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// "0x" followed by hex digits; false for anything else or a value beyond 64 bits.
bool ParseHex(std::string_view s, uint64_t* out) {
  if (s.size() < 3 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
  const char* first = s.data() + 2;
  const char* last = s.data() + s.size();
  auto r = std::from_chars(first, last, *out, 16);
  return r.ec == std::errc() && r.ptr == last;
}

bool ParseDecimal(std::string_view s, uint64_t* out) {
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out, 10);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

class Parser {
 public:
  Parser(const std::string& name, BoardDescription* out, std::string* error)
      : name_(name), out_(out), error_(error) {}

  bool Run(const std::string& text) {
    NestingCheck nesting;
    json::sax_parse(text, &nesting, json::input_format_t::json, true, true);
    if (nesting.tooDeep)
      return Fail("", "nested deeper than " + std::to_string(kMaxNesting) + " levels");
    json doc;
    try {
      doc = json::parse(text, nullptr, true, true);
    } catch (const json::parse_error& e) {
      // The parser's text quotes what it read last, which may be most of the file.
      return Fail("", "not JSON: " + Cut(e.what(), 200));
    }
    if (!doc.is_object()) return Fail("", "expected a JSON object at the top");
    for (const auto& [key, value] : doc.items()) {
      if (key != "description" && key != "bios_id" && key != "bios_bytes" && key != "chip" &&
          key != "via686a" && key != "pci" && key != "registers" && key != "script" &&
          key != "trace" && key != "hwmon")
        return Fail(Cut(key), std::string("unknown field; expected ") + kFields);
    }
    if (auto it = doc.find("description"); it != doc.end() && !it->is_string())
      return Fail("description", "expected a text");
    return Chip(doc) && Bios(doc) && Via(doc) && Pci(doc) && Registers(doc) && Script(doc) &&
           Trace(doc) && Hwmon(doc);
  }

 private:
  bool Fail(const std::string& field, const std::string& what) {
    if (error_) *error_ = name_ + ": " + (field.empty() ? "" : field + ": ") + what;
    return false;
  }

  enum class NumberStatus { kOk, kWrongType, kNegative, kTooLarge };

  // A JSON integer or a "0x.." string no larger than `max`.
  static NumberStatus ReadNumber(const json& v, uint64_t max, uint64_t* out) {
    if (v.is_number_unsigned()) {
      *out = v.get<uint64_t>();
    } else if (v.is_number_integer()) {
      return NumberStatus::kNegative;  // a signed integer here is below zero
    } else if (v.is_string()) {
      if (!ParseHex(v.get_ref<const std::string&>(), out)) return NumberStatus::kWrongType;
    } else {
      return NumberStatus::kWrongType;
    }
    return *out > max ? NumberStatus::kTooLarge : NumberStatus::kOk;
  }

  // Reads a number into `out` or fails naming `field` (and the prefix `what`, e.g. a key).
  bool Unsigned(const json& v, uint64_t max, const std::string& field, const std::string& prefix,
                uint64_t* out) {
    switch (ReadNumber(v, max, out)) {
      case NumberStatus::kOk:
        return true;
      case NumberStatus::kWrongType:
        return Fail(field, prefix + "expected a number " +
                               (max == UINT64_MAX ? "" : "0.." + std::to_string(max) + " ") +
                               "or a \"0x..\" string, not " + Shown(v));
      case NumberStatus::kNegative:
        return Fail(field, prefix + "value " + Shown(v) + " is negative");
      case NumberStatus::kTooLarge:
        return Fail(field, prefix + "value " + Shown(v) + " is above " + std::to_string(max));
    }
    return false;
  }

  bool Chip(const json& doc) {
    auto it = doc.find("chip");
    if (it == doc.end()) return Fail("chip", std::string("missing; expected ") + ChipKindNames());
    if (!it->is_string()) return Fail("chip", std::string("expected a text: ") + ChipKindNames());
    auto kind = ChipKindFromName(it->get_ref<const std::string&>());
    if (!kind) return Fail("chip", "unknown chip " + Shown(*it) + "; expected " + ChipKindNames());
    out_->chip = *kind;
    return true;
  }

  bool Bios(const json& doc) {
    if (auto it = doc.find("bios_id"); it != doc.end()) {
      if (!it->is_string()) return Fail("bios_id", "expected a text of at most 8 characters");
      const std::string& id = it->get_ref<const std::string&>();
      if (id.size() > out_->biosBytes.size())
        return Fail("bios_id", Quoted(id) + " has " + std::to_string(id.size()) +
                                   " bytes; expected at most 8");
      out_->biosBytes = {};
      for (size_t i = 0; i < id.size(); ++i)
        out_->biosBytes[i] = static_cast<uint8_t>(id[i]);
    }
    // The exact bytes win over the text.
    if (auto it = doc.find("bios_bytes"); it != doc.end()) {
      if (!it->is_array() || it->size() != out_->biosBytes.size())
        return Fail("bios_bytes", "expected an array of exactly 8 numbers 0..255");
      for (size_t i = 0; i < it->size(); ++i) {
        uint64_t v = 0;
        if (!Unsigned((*it)[i], 0xFF, "bios_bytes[" + std::to_string(i) + "]", "", &v))
          return false;
        out_->biosBytes[i] = static_cast<uint8_t>(v);
      }
    }
    return true;
  }

  bool Via(const json& doc) {
    out_->viaBridge = out_->chip == ChipKind::kVia686a;
    auto it = doc.find("via686a");
    if (it == doc.end()) return true;
    if (!it->is_object())
      return Fail("via686a", "expected an object {\"base\": number, \"enabled\": true|false}");
    out_->viaBridge = true;
    for (const auto& [key, value] : it->items()) {
      if (key == "base") {
        uint64_t base = 0;
        if (!Unsigned(value, 0xFFFF, "via686a.base", "", &base)) return false;
        out_->viaBase = static_cast<uint16_t>(base);
      } else if (key == "enabled") {
        if (!value.is_boolean()) return Fail("via686a.enabled", "expected true or false");
        out_->viaEnabled = value.get<bool>();
      } else {
        return Fail("via686a." + Cut(key), "unknown field; expected base or enabled");
      }
    }
    return true;
  }

  // "bus:device.function" in hex as lspci writes it: bus 0-ff, device 0-1f, function 0-7.
  static bool ParsePciKey(std::string_view key, uint16_t* function) {
    const size_t colon = key.find(':');
    const size_t dot = key.find('.');
    if (colon == std::string_view::npos || dot == std::string_view::npos || dot < colon)
      return false;
    const std::string_view bus = key.substr(0, colon);
    const std::string_view dev = key.substr(colon + 1, dot - colon - 1);
    const std::string_view fn = key.substr(dot + 1);
    auto hex = [](std::string_view s, unsigned max, unsigned* v) {
      if (s.empty() || s.size() > 2) return false;
      auto r = std::from_chars(s.data(), s.data() + s.size(), *v, 16);
      return r.ec == std::errc() && r.ptr == s.data() + s.size() && *v <= max;
    };
    unsigned b = 0, d = 0, f = 0;
    if (!hex(bus, 0xFF, &b) || !hex(dev, 0x1F, &d) || fn.size() != 1 || !hex(fn, 7, &f))
      return false;
    *function = PciFunction(b, d, f);
    return true;
  }

  bool Pci(const json& doc) {
    auto it = doc.find("pci");
    if (it == doc.end()) return true;
    if (!it->is_object())
      return Fail("pci", "expected an object of \"bus:device.function\": dword entries");
    for (const auto& [key, value] : it->items()) {
      PciIdSetting s{};
      if (!ParsePciKey(key, &s.function))
        return Fail("pci", "key " + Quoted(key) +
                               " is not \"bus:device.function\" (hex bus 0-ff, device 0-1f, "
                               "function 0-7)");
      uint64_t id = 0;
      if (!Unsigned(value, 0xFFFFFFFF, "pci", "key " + Quoted(key) + ": ", &id)) return false;
      s.id = static_cast<uint32_t>(id);
      out_->pci.push_back(s);
    }
    return true;
  }

  // "0xRR" (bank 0, or the block offset of the VIA monitor) or "B:0xRR" with bank B 0..7.
  bool RegisterKey(const std::string& field, const std::string& key, RegisterSetting* s) {
    const std::string bad = "key " + Quoted(key) + " is not \"0xRR\" or \"B:0xRR\"";
    std::string_view reg = key;
    uint64_t bank = 0;
    if (const size_t colon = reg.find(':'); colon != std::string_view::npos) {
      if (!ParseDecimal(reg.substr(0, colon), &bank)) return Fail(field, bad);
      reg = reg.substr(colon + 1);
    }
    uint64_t index = 0;
    if (!ParseHex(reg, &index)) return Fail(field, bad);
    const ChipModel chip(out_->chip);
    if (chip.RegisterCount() == 0) return Fail(field, "chip none has no registers");
    if (bank > 7)
      return Fail(field, "key " + Quoted(key) + ": bank " + std::to_string(bank) + " is above 7");
    if (bank != 0 && !chip.Banked())
      return Fail(
          field, "key " + Quoted(key) + ": " + ChipKindName(out_->chip) + " has no register banks");
    const uint64_t last = chip.RegisterCount() - 1;
    if (index > last)
      return Fail(field,
                  "key " + Quoted(key) + ": register " + Hex(index) + " is above " + Hex(last));
    if (!chip.Settable(static_cast<uint8_t>(index)))
      return Fail(field, "key " + Quoted(key) + ": register " + Hex(index) + " of " +
                             ChipKindName(out_->chip) + " cannot be set");
    s->bank = static_cast<uint8_t>(bank);
    s->reg = static_cast<uint8_t>(index);
    return true;
  }

  bool RegisterObject(const json& v, const std::string& field, std::vector<RegisterSetting>* out) {
    if (!v.is_object())
      return Fail(field, "expected an object of \"0xRR\" or \"B:0xRR\": value entries");
    if (out_->chip == ChipKind::kNone && !v.empty())
      return Fail(field, "chip none has no registers");
    for (const auto& [key, value] : v.items()) {
      RegisterSetting s{};
      if (!RegisterKey(field, key, &s)) return false;
      uint64_t byte = 0;
      if (!Unsigned(value, 0xFF, field, "key " + Quoted(key) + ": ", &byte)) return false;
      s.value = static_cast<uint8_t>(byte);
      out->push_back(s);
    }
    return true;
  }

  bool Registers(const json& doc) {
    auto it = doc.find("registers");
    return it == doc.end() || RegisterObject(*it, "registers", &out_->registers);
  }

  bool Script(const json& doc) {
    auto it = doc.find("script");
    if (it == doc.end()) return true;
    if (!it->is_array())
      return Fail("script", "expected an array of {\"at\": seconds, \"registers\": {...}}");
    for (size_t i = 0; i < it->size(); ++i) {
      const std::string field = "script[" + std::to_string(i) + "]";
      const json& entry = (*it)[i];
      if (!entry.is_object())
        return Fail(field, "expected an object {\"at\": seconds, \"registers\": {...}}");
      ScriptEntry e{};
      auto at = entry.find("at");
      if (at == entry.end()) return Fail(field, "entry has no \"at\" (seconds since start)");
      if (!Unsigned(*at, UINT64_MAX, field + ".at", "", &e.at)) return false;
      for (const auto& [key, value] : entry.items()) {
        if (key == "registers") {
          if (!RegisterObject(value, field + ".registers", &e.registers)) return false;
        } else if (key != "at") {
          return Fail(field + "." + Cut(key), "unknown field; expected at or registers");
        }
      }
      out_->script.push_back(std::move(e));
    }
    return true;
  }

  bool Trace(const json& doc) {
    auto it = doc.find("trace");
    if (it == doc.end()) return true;
    if (!it->is_string() || it->get_ref<const std::string&>().empty())
      return Fail("trace", "expected a file path");
    std::filesystem::path path(it->get_ref<const std::string&>());
    if (path.is_relative()) path = std::filesystem::path(name_).parent_path() / path;
    out_->tracePath = path.string();
    return true;
  }

  bool Hwmon(const json& doc) {
    auto it = doc.find("hwmon");
    if (it == doc.end()) return true;
    if (!it->is_boolean()) return Fail("hwmon", "expected true or false");
    out_->machineHwmon = it->get<bool>();
    return true;
  }

  const std::string& name_;
  BoardDescription* out_;
  std::string* error_;
};

}  // namespace

bool ParseBoardDescription(const std::string& text, const std::string& name, BoardDescription* out,
                           std::string* error) {
  try {
    BoardDescription board;
    if (!Parser(name, &board, error).Run(text)) return false;
    *out = std::move(board);
    return true;
  } catch (const std::exception& e) {
    // nlohmann reports type mix-ups by throwing; none should reach here, but never let one out.
    if (error) *error = name + ": " + e.what();
    return false;
  }
}

}  // namespace velmo::sim
