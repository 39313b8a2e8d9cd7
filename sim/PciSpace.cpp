#include "sim/PciSpace.h"

#include "monitor/base/LittleEndian.h"
#include "monitor/hw/ChipPorts.h"
#include "monitor/hw/PciConfig.h"

namespace velmo::sim {

PciSpace::Function* PciSpace::Find(uint16_t function) {
  for (Function& f : functions_) {
    if (f.function == function) return &f;
  }
  return nullptr;
}

const PciSpace::Function* PciSpace::Find(uint16_t function) const {
  for (const Function& f : functions_) {
    if (f.function == function) return &f;
  }
  return nullptr;
}

void PciSpace::SetFunctionId(uint16_t function, uint32_t id) {
  Function* f = Find(function);
  if (!f) {
    functions_.push_back(Function{function, {}});
    f = &functions_.back();
    SetAddress(address_);  // the vector may have moved: resolve the selection again
  }
  base::StoreLe32(f->config.data(), id);
}

void PciSpace::SetConfigByte(uint16_t function, uint8_t reg, uint8_t value) {
  if (Function* f = Find(function)) f->config[reg] = value;
}

uint8_t PciSpace::ConfigByte(uint16_t function, uint8_t reg) const {
  const Function* f = Find(function);
  return f ? f->config[reg] : 0xFF;
}

void PciSpace::SetAddress(uint32_t address) {
  address_ = address;
  selected_ = (address & hw::kPciEnable) ? Find(static_cast<uint16_t>(address >> 8)) : nullptr;
}

uint8_t PciSpace::ReadLane(unsigned lane) const {
  if (!selected_ || lane > 3) return 0xFF;
  return selected_->config[(address_ & 0xFC) + lane];
}

bool PciSpace::WriteLane(unsigned lane, uint8_t value) {
  const unsigned reg = (address_ & 0xFC) + lane;
  if (!selected_ || lane > 3 || reg < 4 || selected_->config[reg] == value) return false;
  selected_->config[reg] = value;
  return true;
}

}  // namespace velmo::sim
