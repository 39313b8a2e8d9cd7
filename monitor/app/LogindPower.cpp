#include "monitor/app/LogindPower.h"

#include <systemd/sd-bus.h>

#include <cstring>

namespace velmo::app {

bool LogindPower::Request(core::PowerRequest request, std::string* error) {
  sd_bus* bus = nullptr;
  int r = sd_bus_open_system(&bus);
  if (r < 0) {
    if (error) *error = std::string("system bus: ") + std::strerror(-r);
    return false;
  }
  sd_bus_error busError = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const char* method = request == core::PowerRequest::kReboot ? "Reboot" : "PowerOff";
  // Not interactive: a refusal must come back as an error, not as a password prompt.
  r = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", method, &busError, &reply, "b", 0);
  const bool ok = r >= 0;
  if (!ok && error) {
    *error = busError.message ? busError.message : std::strerror(-r);
  }
  sd_bus_error_free(&busError);
  sd_bus_message_unref(reply);
  sd_bus_unref(bus);
  return ok;
}

}  // namespace velmo::app
