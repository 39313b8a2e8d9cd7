#include "monitor/protocol/DriverProtocol.h"

#include <cstdlib>

#include "monitor/base/LittleEndian.h"

namespace velmo::protocol {

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

std::vector<uint8_t> EncodeRequestBytes(uint32_t code, uint32_t outputCapacity,
                                        std::span<const uint8_t> input) {
  std::vector<uint8_t> out;
  out.reserve(kRequestHeader + input.size());
  base::AppendLe32(out, code);
  base::AppendLe32(out, outputCapacity);
  out.insert(out.end(), input.begin(), input.end());
  return out;
}

std::optional<Request> DecodeRequest(std::span<const uint8_t> datagram) {
  if (datagram.size() < kRequestHeader) return std::nullopt;
  const uint32_t code = base::LoadLe32(datagram.data());
  const size_t limit = code == kIoctlPortIoBatch ? kMaxBatchDatagram : kMaxDatagram;
  if (datagram.size() > limit) return std::nullopt;
  Request r;
  r.code = code;
  r.outputCapacity = base::LoadLe32(datagram.data() + 4);
  r.input.assign(datagram.begin() + kRequestHeader, datagram.end());
  return r;
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
  std::vector<uint8_t> out;
  const bool ok = reply.status == kStatusSuccess;
  out.reserve(kReplyHeader + (ok ? reply.output.size() : 0));
  base::AppendLe32(out, reply.status);
  base::AppendLe32(out, ok ? static_cast<uint32_t>(reply.output.size()) : 0u);
  if (ok) out.insert(out.end(), reply.output.begin(), reply.output.end());
  return out;
}

std::optional<Reply> DecodeReply(std::span<const uint8_t> datagram) {
  if (datagram.size() < kReplyHeader || datagram.size() > kMaxBatchReply) return std::nullopt;
  Reply r;
  r.status = base::LoadLe32(datagram.data());
  const uint32_t count = base::LoadLe32(datagram.data() + 4);
  if (count != datagram.size() - kReplyHeader) return std::nullopt;
  r.output.assign(datagram.begin() + kReplyHeader, datagram.end());
  return r;
}

namespace {

// Count and operations from `p` on: 4 + kBatchOpSize x ops.size() bytes.
void StoreBatchInput(uint8_t* p, std::span<const BatchOp> ops) {
  base::StoreLe32(p, static_cast<uint32_t>(ops.size()));
  p += 4;
  for (const BatchOp& op : ops) {
    base::StoreLe32(p, uint32_t{op.port} | uint32_t{op.width} << 16 |
                           uint32_t{static_cast<uint8_t>(op.kind)} << 24);
    base::StoreLe32(p + 4, op.value);
    base::StoreLe32(p + 8, op.andMask);
    base::StoreLe32(p + 12, op.source);
    p += kBatchOpSize;
  }
}

}  // namespace

std::vector<uint8_t> EncodeBatchInput(std::span<const BatchOp> ops) {
  std::vector<uint8_t> out(4 + kBatchOpSize * ops.size());
  StoreBatchInput(out.data(), ops);
  return out;
}

std::vector<uint8_t> EncodeBatchRequest(std::span<const BatchOp> ops) {
  uint32_t reads = 0;
  for (const BatchOp& op : ops)
    reads += op.kind == BatchKind::kRead ? 1 : 0;
  std::vector<uint8_t> out(kRequestHeader + 4 + kBatchOpSize * ops.size());
  base::StoreLe32(out.data(), kIoctlPortIoBatch);
  base::StoreLe32(out.data() + 4, 4 * reads);
  StoreBatchInput(out.data() + kRequestHeader, ops);
  return out;
}

std::optional<std::vector<BatchOp>> DecodeBatchInput(std::span<const uint8_t> input) {
  if (input.size() < 4) return std::nullopt;
  const uint32_t count = base::LoadLe32(input.data());
  if (count == 0 || count > kMaxBatchOps || input.size() != 4 + kBatchOpSize * count)
    return std::nullopt;
  std::vector<BatchOp> ops;
  ops.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = input.data() + 4 + kBatchOpSize * i;
    const uint32_t head = base::LoadLe32(p);
    BatchOp op;
    op.port = static_cast<uint16_t>(head & 0xFFFF);
    op.width = static_cast<uint8_t>((head >> 16) & 0xFF);
    const uint32_t kind = head >> 24;
    op.value = base::LoadLe32(p + 4);
    op.andMask = base::LoadLe32(p + 8);
    op.source = base::LoadLe32(p + 12);
    if (op.width != 1 && op.width != 2 && op.width != 4) return std::nullopt;
    if (uint32_t{op.port} + op.width - 1 > 0xFFFF) return std::nullopt;
    switch (kind) {
      case static_cast<uint8_t>(BatchKind::kRead):
        if (op.value || op.andMask || op.source) return std::nullopt;
        break;
      case static_cast<uint8_t>(BatchKind::kWrite):
        if (op.andMask || op.source) return std::nullopt;
        break;
      case static_cast<uint8_t>(BatchKind::kWriteFrom):
        if (op.source >= i || ops[op.source].kind != BatchKind::kRead) return std::nullopt;
        break;
      default:
        return std::nullopt;
    }
    op.kind = static_cast<BatchKind>(kind);
    ops.push_back(op);
  }
  return ops;
}

}  // namespace velmo::protocol
