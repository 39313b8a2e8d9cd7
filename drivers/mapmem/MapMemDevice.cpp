#include "drivers/mapmem/MapMemDevice.h"

#include <algorithm>
#include <vector>

#include "monitor/base/LittleEndian.h"

namespace velmo::drivers {

namespace pr = protocol;

namespace {

ServedReply StatusReply(uint32_t status) {
  return {pr::EncodeReply(pr::Reply{status, {}}), -1};
}

// Physical reads of the real bus go through a small buffer; the window is read in such pieces.
constexpr size_t kReadChunk = 64;

}  // namespace

MapMemDevice::MapMemDevice(hw::Bus& bus, MapMemWindow window, base::WarningSink log)
    : bus_(bus), window_(window), log_(std::move(log)) {}

ServedReply MapMemDevice::Serve(uint64_t connection, std::span<const uint8_t> datagram) {
  const std::optional<pr::Request> request = pr::DecodeRequest(datagram);
  if (!request) return StatusReply(pr::kStatusInvalidParameter);
  switch (request->code) {
    case pr::kIoctlMapMemMap:
      return Map(connection, *request);
    case pr::kIoctlMapMemUnmap:
      mappings_.erase(connection);  // success whether or not there was a mapping
      return StatusReply(pr::kStatusSuccess);
    default:
      return StatusReply(pr::kStatusInvalidParameter);
  }
}

ServedReply MapMemDevice::Map(uint64_t connection, const pr::Request& request) {
  if (request.outputCapacity < 4) return StatusReply(pr::kStatusBufferTooSmall);
  auto it = mappings_.find(connection);
  if (it == mappings_.end()) {
    Mapping mapping;
    const uint32_t status = CreateMapping(&mapping);
    if (status != pr::kStatusSuccess) return StatusReply(status);
    it = mappings_.emplace(connection, std::move(mapping)).first;
  }
  pr::Reply reply;
  base::AppendLe32(reply.output, it->second.layout.offset);
  return {pr::EncodeReply(reply), it->second.view->Fd()};
}

uint32_t MapMemDevice::CreateMapping(Mapping* mapping) {
  mapping->layout = LayoutView(window_);
  // Only the window's own bytes are copied: the rest of the pages stays zero, so a client
  // learns nothing of physical memory beyond the window.
  std::vector<uint8_t> bytes(mapping->layout.size, 0);
  for (size_t done = 0; done < window_.length; done += kReadChunk) {
    const size_t piece = std::min(kReadChunk, window_.length - done);
    std::string error;
    if (!bus_.ReadPhysical(uint64_t{window_.address} + done,
                           bytes.data() + mapping->layout.offset + done, piece, &error)) {
      if (log_) log_("cannot read the window: " + error);
      return pr::kStatusUnsuccessful;
    }
  }
  auto view = SealedView::Create(bytes);
  if (!view) {
    if (log_) log_("cannot create the view: " + view.error().message);
    return pr::kStatusInsufficientResources;
  }
  mapping->view = std::move(view).value();
  return pr::kStatusSuccess;
}

size_t MapMemDevice::Disconnect(uint64_t connection) {
  return mappings_.erase(connection);
}

}  // namespace velmo::drivers
