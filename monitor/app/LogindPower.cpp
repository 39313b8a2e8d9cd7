#include "monitor/app/LogindPower.h"

#include <dlfcn.h>
#include <systemd/sd-bus.h>

#include <cstring>

namespace velmo::app {

namespace {

// libsystemd, with its compression and crypto libraries, is loaded only when a restart or
// shutdown is asked for: a monitor that never asks starts without it.
struct SdBus {
  decltype(&sd_bus_open_system) openSystem = nullptr;
  decltype(&sd_bus_call_method) callMethod = nullptr;
  decltype(&sd_bus_error_free) errorFree = nullptr;
  decltype(&sd_bus_message_unref) messageUnref = nullptr;
  decltype(&sd_bus_unref) busUnref = nullptr;

  // The calls, or why the library or one of its functions cannot be had.
  static base::Expected<const SdBus*> Load() {
    static SdBus api;
    static std::string loadError;
    static const bool loaded = [] {
      void* lib = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
      if (!lib) {
        const char* why = ::dlerror();
        loadError = why ? why : "libsystemd.so.0 cannot be loaded";
        return false;
      }
      api.openSystem =
          reinterpret_cast<decltype(api.openSystem)>(::dlsym(lib, "sd_bus_open_system"));
      api.callMethod =
          reinterpret_cast<decltype(api.callMethod)>(::dlsym(lib, "sd_bus_call_method"));
      api.errorFree = reinterpret_cast<decltype(api.errorFree)>(::dlsym(lib, "sd_bus_error_free"));
      api.messageUnref =
          reinterpret_cast<decltype(api.messageUnref)>(::dlsym(lib, "sd_bus_message_unref"));
      api.busUnref = reinterpret_cast<decltype(api.busUnref)>(::dlsym(lib, "sd_bus_unref"));
      if (!api.openSystem || !api.callMethod || !api.errorFree || !api.messageUnref ||
          !api.busUnref) {
        loadError = "libsystemd.so.0 lacks the sd-bus calls";
        return false;
      }
      return true;  // kept loaded for the rest of the run
    }();
    if (!loaded) return base::Error{loadError};
    return &api;
  }
};

}  // namespace

base::Expected<void> LogindPower::Request(core::PowerRequest request) {
  const auto loaded = SdBus::Load();
  if (!loaded) return loaded.error();
  const SdBus* api = loaded.value();
  sd_bus* bus = nullptr;
  int r = api->openSystem(&bus);
  if (r < 0) return base::Error{std::string("system bus: ") + std::strerror(-r), -r};
  sd_bus_error busError = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const char* method = request == core::PowerRequest::kReboot ? "Reboot" : "PowerOff";
  // Not interactive: a refusal must come back as an error, not as a password prompt.
  r = api->callMethod(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                      "org.freedesktop.login1.Manager", method, &busError, &reply, "b", 0);
  base::Expected<void> result;
  if (r < 0) result = base::Error{busError.message ? busError.message : std::strerror(-r), -r};
  api->errorFree(&busError);
  api->messageUnref(reply);
  api->busUnref(bus);
  return result;
}

}  // namespace velmo::app
