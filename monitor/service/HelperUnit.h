// The systemd units of a helper service: the service (the program it runs and the sandbox it
// runs in) and the socket that starts it at the first connection.
#pragma once

#include <string>

namespace velmo::service {

// The unit text of the helper service `name` ("portio" or "mapmem") running `program`.
std::string UnitFileText(const std::string& name, const std::string& program);
// The socket unit of the helper service `name`: its device, given to the group velmo.
std::string SocketUnitText(const std::string& name);

}  // namespace velmo::service
