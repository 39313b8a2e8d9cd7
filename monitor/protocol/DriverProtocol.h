// The driver request protocol shared by the monitor's driver back-end and the portio and mapmem
// helper services: device names, control codes, request and reply datagrams.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmo::protocol {

// Socket names in the device directory (the user-mode names of the two devices).
inline constexpr const char* kPortIoDevice = "PortIo";
inline constexpr const char* kMapMemDevice = "MAPMEM0";
inline constexpr const char* kDefaultDeviceDir = "/run/velmo";
// The device directory: VELMO_DEVICE_DIR when set and not empty, else /run/velmo.
std::string DeviceDir();
std::string DevicePath(const char* device);

inline constexpr uint32_t kDeviceType = 0x22;  // FILE_DEVICE_UNKNOWN
constexpr uint32_t ControlCode(uint32_t function) {
  return (kDeviceType << 16) | (0u << 14) | (function << 2) | 0u;  // any access, buffered
}
inline constexpr uint32_t kIoctlPortIoOpen = ControlCode(0);   // 0x220000
inline constexpr uint32_t kIoctlPortIoRead = ControlCode(1);   // 0x220004
inline constexpr uint32_t kIoctlPortIoWrite = ControlCode(2);  // 0x220008
inline constexpr uint32_t kIoctlPortIoClose = ControlCode(3);  // 0x22000C
inline constexpr uint32_t kIoctlMapMemMap = ControlCode(0);    // 0x220000 on MAPMEM0
inline constexpr uint32_t kIoctlMapMemUnmap = ControlCode(1);  // 0x220004 on MAPMEM0

// NT status values carried in replies.
inline constexpr uint32_t kStatusSuccess = 0x00000000;
inline constexpr uint32_t kStatusUnsuccessful = 0xC0000001;
inline constexpr uint32_t kStatusInvalidParameter = 0xC000000D;
inline constexpr uint32_t kStatusAccessDenied = 0xC0000022;
inline constexpr uint32_t kStatusBufferTooSmall = 0xC0000023;
inline constexpr uint32_t kStatusInsufficientResources = 0xC000009A;
inline constexpr uint32_t kStatusInvalidDeviceRequest = 0xC0000010;

// Largest datagram either side sends or accepts; longer requests are refused unread. The batch
// request below has a bound of its own.
inline constexpr size_t kMaxDatagram = 256;
inline constexpr size_t kRequestHeader = 8;  // code, output capacity
inline constexpr size_t kReplyHeader = 8;    // status, bytes returned

// IOCTL_PORTIO_BATCH: a run of port accesses done in order in one request, so that a monitoring
// tick costs one round trip instead of three per access. Input: +0 count (1..kMaxBatchOps), then
// `count` operations of kBatchOpSize bytes (see BatchOp). Output: the value of every read, 4
// bytes each, in order. The helper checks every operation (form, then the allow-list) before it
// touches any port: one bad operation refuses the whole batch.
inline constexpr uint32_t kIoctlPortIoBatch = ControlCode(0x801);  // 0x222004
inline constexpr size_t kMaxBatchOps = 512;
inline constexpr size_t kBatchOpSize = 16;
inline constexpr size_t kMaxBatchDatagram = kRequestHeader + 4 + kMaxBatchOps * kBatchOpSize;
inline constexpr size_t kMaxBatchReply = kReplyHeader + 4 * kMaxBatchOps;

enum class BatchKind : uint8_t {
  kRead = 0,       // read `width` bytes from `port`
  kWrite = 1,      // write `value`
  kWriteFrom = 2,  // write ((value read by operation `source`) AND `andMask`) OR `value`,
                   // cut to `width` bytes: a read-modify-write within the batch
};

// One operation; on the wire four words: +0 port | width << 16 | kind << 24, +4 value,
// +8 andMask, +12 source (an earlier read of the same batch). Words a kind does not use are 0.
struct BatchOp {
  BatchKind kind = BatchKind::kRead;
  uint16_t port = 0;
  uint8_t width = 1;
  uint32_t value = 0;
  uint32_t andMask = 0;
  uint32_t source = 0;
  bool operator==(const BatchOp&) const = default;
};

// The input of a batch request (count and operations), not checked.
std::vector<uint8_t> EncodeBatchInput(std::span<const BatchOp> ops);
// The whole batch request datagram, its output capacity that of one value per read.
std::vector<uint8_t> EncodeBatchRequest(std::span<const BatchOp> ops);
// The operations of a batch input; nullopt when it is not well formed: a count outside
// 1..kMaxBatchOps, an input length other than 4 + 16 x count, an unknown kind, a width other than
// 1, 2 or 4, a port range past 0xFFFF, a word the kind does not use that is not 0, or a source
// that is not an earlier read.
std::optional<std::vector<BatchOp>> DecodeBatchInput(std::span<const uint8_t> input);
// The value a kWriteFrom writes, given what its source read.
constexpr uint32_t BatchWriteValue(const BatchOp& op, uint32_t sourceValue) {
  const uint32_t widthMask = op.width >= 4 ? 0xFFFFFFFFu : (1u << (8 * op.width)) - 1;
  return ((sourceValue & op.andMask) | op.value) & widthMask;
}

struct Request {
  uint32_t code = 0;
  uint32_t outputCapacity = 0;
  std::vector<uint8_t> input;
  // Little-endian word at byte offset `offset` of the input; nullopt when the input is shorter.
  std::optional<uint32_t> Word(size_t offset) const;
};

struct Reply {
  uint32_t status = kStatusSuccess;
  std::vector<uint8_t> output;  // bytes returned; empty on failure
  std::optional<uint32_t> Word(size_t offset) const;
};

std::vector<uint8_t> EncodeRequest(uint32_t code, uint32_t outputCapacity,
                                   std::span<const uint32_t> inputWords);
std::vector<uint8_t> EncodeRequestBytes(uint32_t code, uint32_t outputCapacity,
                                        std::span<const uint8_t> input);
// nullopt for a datagram shorter than the header or longer than kMaxDatagram (kMaxBatchDatagram
// for a batch request).
std::optional<Request> DecodeRequest(std::span<const uint8_t> datagram);

std::vector<uint8_t> EncodeReply(const Reply& reply);
// nullopt when the datagram is malformed (short header, byte count not matching the payload,
// longer than kMaxBatchReply).
std::optional<Reply> DecodeReply(std::span<const uint8_t> datagram);

}  // namespace velmo::protocol
