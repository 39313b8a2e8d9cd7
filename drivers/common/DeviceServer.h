// A helper service's device: a SOCK_SEQPACKET Unix socket served by one poll loop, one
// connection being one open device handle, one datagram one request.
#pragma once

#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/types.h>

#include "drivers/common/PeerPolicy.h"
#include "monitor/base/Error.h"
#include "monitor/base/Warning.h"

namespace velmo::drivers {

// A reply datagram, and optionally a descriptor passed with it (SCM_RIGHTS). The descriptor stays
// owned by the handler.
struct ServedReply {
  std::vector<uint8_t> datagram;
  int fd = -1;
};

// The device logic behind the socket. Connection ids are unique for the server's lifetime.
class RequestHandler {
 public:
  virtual ~RequestHandler() = default;
  virtual ServedReply Serve(uint64_t connection, std::span<const uint8_t> datagram) = 0;
  // The connection closed; returns how many objects it still held (now released).
  virtual size_t Disconnect(uint64_t connection) = 0;
  // Objects held by all connections together.
  virtual size_t OpenObjects() const = 0;
  // Objects one connection holds (a connection holding none is the first to make room).
  virtual size_t ObjectsOf(uint64_t connection) const {
    (void)connection;
    return 0;
  }
};

// Connection lines of the log (refusals, room made, objects released) that any allowed peer can
// cause: at most kBurst of them per minute, then one line saying how many were left out.
class RateLimitedLog {
 public:
  static constexpr int kBurst = 20;
  explicit RateLimitedLog(base::WarningSink log) : log_(std::move(log)) {}
  void operator()(const std::string& text);

 private:
  base::WarningSink log_;
  bool started_ = false;
  int64_t windowStart_ = 0;  // steady clock, seconds
  int lines_ = 0;
  uint64_t suppressed_ = 0;
};

class DeviceServer {
 public:
  // Most connections served at once, and most of them one user may hold. A new connection is
  // always taken: when there is no room, the user holding the most connections (the newcomer's
  // own user once it has kMaxConnectionsPerUser) loses the one it used least recently, preferring
  // one that holds nothing. So no peer can lock another out by holding connections.
  static constexpr size_t kMaxConnections = 64;
  static constexpr size_t kMaxConnectionsPerUser = 16;

  // Creates the device directory when missing, binds `path` (a stale socket left by a dead
  // server is replaced; a live one, or any other file, is an error) and makes it reachable by the
  // group of `policy` (0660) or by the owner only (0600). A device directory that others than its
  // owner may write is refused: anyone could put a socket of their own in the device's place.
  // The error says which step failed.
  static base::Expected<std::unique_ptr<DeviceServer>> Listen(const std::string& path,
                                                              RequestHandler& handler,
                                                              const PeerPolicy& policy,
                                                              base::WarningSink log);
  // Serves a socket that is bound and listening already (one systemd passed): it must be a Unix
  // SOCK_SEQPACKET socket. Its file and mode are the passer's: this server never removes it.
  static base::Expected<std::unique_ptr<DeviceServer>> Adopt(int listenFd, RequestHandler& handler,
                                                             const PeerPolicy& policy,
                                                             base::WarningSink log);
  ~DeviceServer();  // disconnects every client and removes the socket it bound
  DeviceServer(const DeviceServer&) = delete;
  DeviceServer& operator=(const DeviceServer&) = delete;

  enum class RunEnd { kStopped, kIdle };
  // Serves until `stopFd` becomes readable (a signalfd, an eventfd, a pipe), or, with a positive
  // `idleExit`, until no client has been connected for that long. A connected client keeps the
  // server running however quiet it is.
  RunEnd Run(int stopFd, std::chrono::milliseconds idleExit = std::chrono::milliseconds(0));
  // One round of the loop: waits up to `timeoutMs` and serves what arrived.
  void PollOnce(int timeoutMs);
  size_t ConnectionCount() const { return clients_.size(); }

 private:
  struct Client {
    int fd;
    PeerCredentials peer;
    uint64_t lastActive;  // the server's sequence number of its last request or accept
  };
  // Makes room for a connection of `uid`, dropping one connection if needed.
  void MakeRoom(uid_t uid);
  DeviceServer(std::string path, int listenFd, RequestHandler& handler, PeerPolicy policy,
               base::WarningSink log);
  // Returns true when the stop descriptor fired.
  bool Poll(int timeoutMs, int stopFd);
  void Accept();
  // Serves what one client sent; false when the connection is to be closed.
  bool ServeClient(uint64_t id, const Client& client, short revents);
  void Drop(uint64_t id);

  std::string path_;   // empty for an adopted socket
  dev_t fileDev_ = 0;  // the socket file as bound, so only that file is removed at the end
  ino_t fileIno_ = 0;
  int listenFd_;
  RequestHandler& handler_;
  PeerPolicy policy_;
  RateLimitedLog connectionLog_;
  uint64_t nextId_ = 1;
  uint64_t sequence_ = 0;
  std::map<uint64_t, Client> clients_;
  std::vector<pollfd> pollFds_;  // one round's descriptors and their clients
  std::vector<uint64_t> pollIds_;
};

}  // namespace velmo::drivers
