#include "monitor/hw/DriverProtocol.h"

#include <cstdlib>

namespace velmo::hw::protocol {

std::string DeviceDir() {
  const char* dir = std::getenv("VELMO_DEVICE_DIR");
  return (dir && *dir) ? std::string(dir) : std::string(kDefaultDeviceDir);
}

std::string DevicePath(const char* device) {
  return DeviceDir() + "/" + device;
}

void PutWord(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t GetWord(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

namespace {
std::optional<uint32_t> WordAt(const std::vector<uint8_t>& bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
  return GetWord(bytes.data() + offset);
}
}  // namespace

std::optional<uint32_t> Request::Word(size_t offset) const {
  return WordAt(input, offset);
}
std::optional<uint32_t> Reply::Word(size_t offset) const {
  return WordAt(output, offset);
}

std::vector<uint8_t> EncodeRequest(uint32_t code, uint32_t outputCapacity,
                                   std::span<const uint32_t> inputWords) {
  std::vector<uint8_t> out;
  out.reserve(kRequestHeader + 4 * inputWords.size());
  PutWord(out, code);
  PutWord(out, outputCapacity);
  for (uint32_t w : inputWords)
    PutWord(out, w);
  return out;
}

std::optional<Request> DecodeRequest(std::span<const uint8_t> datagram) {
  if (datagram.size() < kRequestHeader || datagram.size() > kMaxDatagram) return std::nullopt;
  Request r;
  r.code = GetWord(datagram.data());
  r.outputCapacity = GetWord(datagram.data() + 4);
  r.input.assign(datagram.begin() + kRequestHeader, datagram.end());
  return r;
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
  std::vector<uint8_t> out;
  const bool ok = reply.status == kStatusSuccess;
  PutWord(out, reply.status);
  PutWord(out, ok ? static_cast<uint32_t>(reply.output.size()) : 0u);
  if (ok) out.insert(out.end(), reply.output.begin(), reply.output.end());
  return out;
}

std::optional<Reply> DecodeReply(std::span<const uint8_t> datagram) {
  if (datagram.size() < kReplyHeader || datagram.size() > kMaxDatagram) return std::nullopt;
  Reply r;
  r.status = GetWord(datagram.data());
  const uint32_t count = GetWord(datagram.data() + 4);
  if (count != datagram.size() - kReplyHeader) return std::nullopt;
  r.output.assign(datagram.begin() + kReplyHeader, datagram.end());
  return r;
}

}  // namespace velmo::hw::protocol
