#include "monitor/service/HelperUnit.h"

#include "monitor/service/HelperPrograms.h"

namespace velmo::service {

std::string UnitFileText(const std::string& name, const std::string& program) {
  const bool portio = name != "mapmem";
  std::string text;
  text += "# Velmo helper service " + name +
          (portio ? ": the monitor's I/O-port requests" : ": the BIOS identification window");
  text += std::string(" on /run/velmo/") + DeviceOfService(name) + "\n";
  text += "[Unit]\n";
  text += "Description=Velmo " + name + " helper service\n";
  // Started by its socket, which it is handed: it never makes a device of its own here.
  text += "Requires=" + name + ".socket\n";
  text += "After=" + name + ".socket\n";
  text += "\n[Service]\n";
  text += "Type=notify\n";
  text += "ExecStart=" + program + "\n";
  text += "Restart=on-failure\n";
  text += "TimeoutStartSec=10\n";
  text += "RuntimeDirectory=velmo\n";
  text += "RuntimeDirectoryMode=0755\n";
  text += "RuntimeDirectoryPreserve=yes\n";
  if (!portio) {
    text += "# The BIOS window it serves, when another than the default is wanted:\n";
    text += "#Environment=MAPMEM_DEVICE_ADDRESS=0xFECE0 MAPMEM_DEVICE_SIZE=0x20\n";
  }
  text += "NoNewPrivileges=yes\n";
  text += "CapabilityBoundingSet=CAP_SYS_RAWIO\n";
  text += "DevicePolicy=closed\n";
  text += portio ? "DeviceAllow=/dev/port rw\n" : "DeviceAllow=/dev/mem r\n";
  text += "ProtectSystem=strict\n";
  text += "ProtectHome=yes\n";
  text += "PrivateTmp=yes\n";
  text += "PrivateNetwork=yes\n";
  text += "RestrictAddressFamilies=AF_UNIX\n";
  text += "ProtectKernelTunables=yes\n";
  text += "ProtectKernelModules=yes\n";
  text += "ProtectKernelLogs=yes\n";
  text += "ProtectControlGroups=yes\n";
  text += "ProtectHostname=yes\n";
  text += "ProtectClock=yes\n";
  text += "ProtectProc=invisible\n";
  text += "ProcSubset=pid\n";
  text += "PrivateMounts=yes\n";
  text += "IPAddressDeny=any\n";
  text += "RestrictNamespaces=yes\n";
  text += "RestrictRealtime=yes\n";
  text += "RestrictSUIDSGID=yes\n";
  text += "LockPersonality=yes\n";
  text += "MemoryDenyWriteExecute=yes\n";
  text += "SystemCallArchitectures=native\n";
  text +=
      portio ? "SystemCallFilter=@system-service @raw-io\n" : "SystemCallFilter=@system-service\n";
  text += "UMask=0077\n";
  text += "\n[Install]\n";
  text += "Also=" + name + ".socket\n";
  return text;
}

std::string SocketUnitText(const std::string& name) {
  std::string text;
  text += "# Velmo helper service " + name + ": systemd listens on its device and starts it at ";
  text += "the first connection\n";
  text += "[Unit]\n";
  text += "Description=Velmo " + name + " helper socket\n";
  text += "\n[Socket]\n";
  text += std::string("ListenSequentialPacket=/run/velmo/") + DeviceOfService(name) + "\n";
  text += "SocketUser=root\n";
  text += "SocketGroup=velmo\n";
  text += "SocketMode=0660\n";
  text += "DirectoryMode=0755\n";
  text += "RemoveOnStop=yes\n";
  text += "\n[Install]\n";
  text += "WantedBy=sockets.target\n";
  return text;
}

}  // namespace velmo::service
