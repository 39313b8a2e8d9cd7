// Where the helper programs portio and mapmem are looked for, and which device each one serves.
#pragma once

#include <string>
#include <vector>

namespace velmo::service {

// The directories searched for the helper programs, in order: those of VELMO_HELPER_DIR
// (colon-separated), the monitor's own directory,
// <its directory>/../lib/velmo/drivers, /usr/local/lib/velmo/drivers.
std::vector<std::string> DefaultHelperDirs();
// The first executable `name` in `dirs`; empty when none.
std::string FindHelper(const std::string& name, const std::vector<std::string>& dirs);
// The device (socket) name a helper service serves: PortIo for portio, MAPMEM0 for mapmem.
const char* DeviceOfService(const std::string& name);
// True when the device of the service `name` accepts a connection in the device directory.
bool ServiceDeviceAnswers(const std::string& name);

}  // namespace velmo::service
