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
  text += "# CAP_CHOWN only to give the socket to the group velmo: the helper drops it then.\n";
  text += "CapabilityBoundingSet=CAP_SYS_RAWIO CAP_CHOWN\n";
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
  text += "WantedBy=multi-user.target\n";
  return text;
}

}  // namespace velmo::service
