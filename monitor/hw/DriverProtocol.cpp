#include "monitor/hw/DriverProtocol.h"

#include <cstdlib>

#include "monitor/base/LittleEndian.h"

namespace velmo::hw::protocol {

std::string DeviceDir() {
  const char* dir = std::getenv("VELMO_DEVICE_DIR");
  return (dir && *dir) ? std::string(dir) : std::string(kDefaultDeviceDir);
}

std::string DevicePath(const char* device) {
  return DeviceDir() + "/" + device;
}

namespace {
std::optional<uint32_t> WordAt(const std::vector<uint8_t>& bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
  return base::LoadLe32(bytes.data() + offset);
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
  base::AppendLe32(out, code);
  base::AppendLe32(out, outputCapacity);
  for (uint32_t w : inputWords)
    base::AppendLe32(out, w);
  return out;
}

std::optional<Request> DecodeRequest(std::span<const uint8_t> datagram) {
  if (datagram.size() < kRequestHeader || datagram.size() > kMaxDatagram) return std::nullopt;
  Request r;
  r.code = base::LoadLe32(datagram.data());
  r.outputCapacity = base::LoadLe32(datagram.data() + 4);
  r.input.assign(datagram.begin() + kRequestHeader, datagram.end());
  return r;
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
  std::vector<uint8_t> out;
  const bool ok = reply.status == kStatusSuccess;
  base::AppendLe32(out, reply.status);
  base::AppendLe32(out, ok ? static_cast<uint32_t>(reply.output.size()) : 0u);
  if (ok) out.insert(out.end(), reply.output.begin(), reply.output.end());
  return out;
}

std::optional<Reply> DecodeReply(std::span<const uint8_t> datagram) {
  if (datagram.size() < kReplyHeader || datagram.size() > kMaxDatagram) return std::nullopt;
  Reply r;
  r.status = base::LoadLe32(datagram.data());
  const uint32_t count = base::LoadLe32(datagram.data() + 4);
  if (count != datagram.size() - kReplyHeader) return std::nullopt;
  r.output.assign(datagram.begin() + kReplyHeader, datagram.end());
  return r;
}

}  // namespace velmo::hw::protocol
