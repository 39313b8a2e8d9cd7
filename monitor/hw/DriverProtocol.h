// The driver request protocol shared by the monitor's driver back-end and the portio and mapmem
// helper services: device names, control codes, request and reply datagrams.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmo::hw::protocol {

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

// Largest datagram either side sends or accepts; longer requests are refused unread.
inline constexpr size_t kMaxDatagram = 256;
inline constexpr size_t kRequestHeader = 8;  // code, output capacity
inline constexpr size_t kReplyHeader = 8;    // status, bytes returned

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
// nullopt for a datagram shorter than the header or longer than kMaxDatagram.
std::optional<Request> DecodeRequest(std::span<const uint8_t> datagram);

std::vector<uint8_t> EncodeReply(const Reply& reply);
// nullopt when the datagram is malformed (short header, byte count not matching the payload).
std::optional<Reply> DecodeReply(std::span<const uint8_t> datagram);

}  // namespace velmo::hw::protocol
