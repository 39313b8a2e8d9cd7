// The systemd unit of a helper service: the program it runs and the sandbox it runs in.
#pragma once

#include <string>

namespace velmo::service {

// The unit text of the helper service `name` ("portio" or "mapmem") running `program`.
std::string UnitFileText(const std::string& name, const std::string& program);

}  // namespace velmo::service
