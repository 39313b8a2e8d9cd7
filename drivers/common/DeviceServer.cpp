#include "drivers/common/DeviceServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

#include "monitor/base/FdPassing.h"
#include "monitor/protocol/DriverProtocol.h"

namespace velmo::drivers {

namespace {

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// A socket file whose server is gone refuses connections; one that accepts is in use.
bool SocketIsLive(const sockaddr_un& address) {
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool live = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return live;
}

}  // namespace

base::Expected<std::unique_ptr<DeviceServer>> DeviceServer::Listen(const std::string& path,
                                                                   RequestHandler& handler,
                                                                   const PeerPolicy& policy,
                                                                   base::WarningSink log) {
  auto fail = [](const std::string& text) { return base::Error{text}; };
  sockaddr_un address;
  if (!FillAddress(path, &address)) return fail("socket path too long or empty: " + path);

  const std::filesystem::path dir = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (!dir.empty() && !std::filesystem::is_directory(dir, ec)) {
    std::filesystem::create_directories(dir, ec);
    if (ec) return fail("cannot create " + dir.string() + ": " + ec.message());
    // Reachable whatever the umask: the socket's own mode decides who may connect.
    ::chmod(dir.c_str(), 0755);
  }
  struct stat folder;
  const std::string dirName = dir.empty() ? std::string(".") : dir.string();
  if (::stat(dirName.c_str(), &folder) != 0) return fail(Errno("cannot read " + dirName));
  if (folder.st_mode & (S_IWGRP | S_IWOTH))
    return fail(dirName + " may be written by others than its owner; refusing to serve from it");

  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return fail(path + " exists and is not a socket");
    if (SocketIsLive(address)) return fail(path + " is already being served");
    if (::unlink(path.c_str()) != 0) return fail(Errno("cannot remove stale " + path));
  }

  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return fail(Errno("socket"));
  // The mode of the socket inode becomes the file's mode at bind: nobody else gets a window
  // between bind and the chmod below.
  (void)::fchmod(fd, 0600);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const std::string text = Errno("bind " + path);
    ::close(fd);
    return fail(text);
  }
  if (::listen(fd, 16) != 0) {
    const std::string text = Errno("listen " + path);
    ::close(fd);
    ::unlink(path.c_str());
    return fail(text);
  }
  mode_t mode = 0600;
  if (policy.velmoGid) {
    if (::chown(path.c_str(), static_cast<uid_t>(-1), *policy.velmoGid) == 0) {
      mode = 0660;
    } else if (log) {
      log(Errno("cannot give " + path + " to the group velmo") + "; owner only");
    }
  }
  ::chmod(path.c_str(), mode);
  auto server = std::unique_ptr<DeviceServer>(new DeviceServer(path, fd, handler, policy, log));
  if (::lstat(path.c_str(), &st) == 0) {
    server->fileDev_ = st.st_dev;
    server->fileIno_ = st.st_ino;
  }
  return server;
}

base::Expected<std::unique_ptr<DeviceServer>> DeviceServer::Adopt(int listenFd,
                                                                  RequestHandler& handler,
                                                                  const PeerPolicy& policy,
                                                                  base::WarningSink log) {
  auto intOption = [listenFd](int name) {
    int value = -1;
    socklen_t length = sizeof value;
    return ::getsockopt(listenFd, SOL_SOCKET, name, &value, &length) == 0 ? value : -1;
  };
  if (intOption(SO_DOMAIN) != AF_UNIX || intOption(SO_TYPE) != SOCK_SEQPACKET ||
      intOption(SO_ACCEPTCONN) != 1) {
    return base::Error{"the socket passed is not a listening Unix SOCK_SEQPACKET socket"};
  }
  // The loop never blocks on accept, and no program the helper might start inherits the socket.
  const int flags = ::fcntl(listenFd, F_GETFL);
  if (flags < 0 || ::fcntl(listenFd, F_SETFL, flags | O_NONBLOCK) != 0 ||
      ::fcntl(listenFd, F_SETFD, FD_CLOEXEC) != 0) {
    return base::Error{Errno("cannot set up the socket passed"), errno};
  }
  return std::unique_ptr<DeviceServer>(
      new DeviceServer(std::string(), listenFd, handler, policy, std::move(log)));
}

DeviceServer::DeviceServer(std::string path, int listenFd, RequestHandler& handler,
                           PeerPolicy policy, base::WarningSink log)
    : path_(std::move(path)),
      listenFd_(listenFd),
      handler_(handler),
      policy_(std::move(policy)),
      connectionLog_(std::move(log)) {}

DeviceServer::~DeviceServer() {
  while (!clients_.empty())
    Drop(clients_.begin()->first);
  ::close(listenFd_);
  if (path_.empty()) return;  // adopted: the socket file belongs to whoever passed it
  // Remove the socket file only while it is still ours (a successor may have replaced it).
  struct stat st;
  if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == fileDev_ && st.st_ino == fileIno_)
    ::unlink(path_.c_str());
}

DeviceServer::RunEnd DeviceServer::Run(int stopFd, std::chrono::milliseconds idleExit) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point idleSince = Clock::now();
  for (;;) {
    int timeoutMs = -1;
    if (idleExit.count() > 0 && clients_.empty()) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(idleSince + idleExit - Clock::now());
      if (left.count() <= 0) return RunEnd::kIdle;
      timeoutMs = static_cast<int>(std::min<int64_t>(left.count(), INT_MAX));
    }
    const bool busy = !clients_.empty();
    if (Poll(timeoutMs, stopFd)) return RunEnd::kStopped;
    // Idle time counts from the moment the last client left.
    if (busy || !clients_.empty()) idleSince = Clock::now();
  }
}

void DeviceServer::PollOnce(int timeoutMs) {
  Poll(timeoutMs, -1);
}

bool DeviceServer::Poll(int timeoutMs, int stopFd) {
  // Kept between rounds: a round allocates nothing.
  std::vector<pollfd>& fds = pollFds_;
  std::vector<uint64_t>& ids = pollIds_;
  fds.clear();
  ids.clear();
  fds.push_back({stopFd, POLLIN, 0});  // a negative descriptor is ignored by poll
  fds.push_back({listenFd_, POLLIN, 0});
  for (const auto& [id, client] : clients_) {
    fds.push_back({client.fd, POLLIN | POLLRDHUP, 0});
    ids.push_back(id);
  }
  const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
  if (ready < 0) {
    if (errno != EINTR) connectionLog_(Errno("poll"));
    return false;
  }
  if (fds[0].revents) return true;
  for (size_t i = 0; i < ids.size(); ++i) {
    const short revents = fds[i + 2].revents;
    if (!revents) continue;
    const auto it = clients_.find(ids[i]);
    if (it == clients_.end()) continue;
    it->second.lastActive = ++sequence_;
    if (!ServeClient(ids[i], it->second, revents)) Drop(ids[i]);
  }
  if (fds[1].revents & POLLIN) Accept();
  return false;
}

void DeviceServer::Accept() {
  for (int i = 0; i < 16; ++i) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED)
        connectionLog_(Errno("accept"));
      return;
    }
    PeerCredentials peer;
    std::vector<gid_t> groups;
    if (!ReadPeer(fd, &peer, &groups)) {
      connectionLog_(Errno("refused a connection whose peer cannot be identified"));
      ::close(fd);
      continue;
    }
    const std::string who = "pid " + std::to_string(peer.pid) + " uid " + std::to_string(peer.uid) +
                            " gid " + std::to_string(peer.gid);
    if (!PeerAllowed(peer, groups, policy_)) {
      connectionLog_("refused connection from " + who + ": not root, velmo or the helper's user");
      ::close(fd);
      continue;
    }
    MakeRoom(peer.uid);
    clients_.emplace(nextId_++, Client{fd, peer, ++sequence_});
  }
}

bool DeviceServer::ServeClient(uint64_t id, const Client& client, short revents) {
  if (!(revents & POLLIN)) return false;  // hung up or failed with nothing left to read
  // One byte more than any acceptable request (the batch is the longest), so an oversize one is
  // seen as such.
  uint8_t buffer[protocol::kMaxBatchDatagram + 1];
  const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  if (n == 0 && (revents & (POLLHUP | POLLRDHUP))) return false;
  const ServedReply reply =
      handler_.Serve(id, std::span<const uint8_t>(buffer, static_cast<size_t>(n)));

  // A client that does not read its replies is dropped rather than allowed to stall the loop.
  return base::SendWithDescriptor(client.fd, reply.datagram, reply.fd,
                                  MSG_NOSIGNAL | MSG_DONTWAIT) ==
         static_cast<ssize_t>(reply.datagram.size());
}

void DeviceServer::Drop(uint64_t id) {
  const auto it = clients_.find(id);
  if (it == clients_.end()) return;
  ::close(it->second.fd);
  const pid_t pid = it->second.peer.pid;
  clients_.erase(it);
  const size_t released = handler_.Disconnect(id);
  if (released) {
    connectionLog_("connection " + std::to_string(id) + " (pid " + std::to_string(pid) +
                   ") closed with " + std::to_string(released) +
                   " object(s) open; released them, " + std::to_string(handler_.OpenObjects()) +
                   " open");
  }
}

void DeviceServer::MakeRoom(uid_t uid) {
  std::map<uid_t, size_t> perUser;
  for (const auto& [id, client] : clients_)
    ++perUser[client.peer.uid];
  uid_t victimUser = uid;
  if (perUser[uid] < kMaxConnectionsPerUser) {
    if (clients_.size() < kMaxConnections) return;
    for (const auto& [user, count] : perUser)
      if (count > perUser[victimUser]) victimUser = user;
  }
  // That user's connection used least recently, one holding nothing first.
  std::optional<uint64_t> victim;
  auto better = [&](uint64_t a, uint64_t b) {
    const bool aHolds = handler_.ObjectsOf(a) != 0, bHolds = handler_.ObjectsOf(b) != 0;
    if (aHolds != bHolds) return !aHolds;
    return clients_.at(a).lastActive < clients_.at(b).lastActive;
  };
  for (const auto& [id, client] : clients_) {
    if (client.peer.uid == victimUser && (!victim || better(id, *victim))) victim = id;
  }
  if (!victim) return;
  const Client& dropped = clients_.at(*victim);
  connectionLog_("closed connection " + std::to_string(*victim) + " of pid " +
                 std::to_string(dropped.peer.pid) + " uid " + std::to_string(dropped.peer.uid) +
                 " to make room for uid " + std::to_string(uid));
  Drop(*victim);
}

void RateLimitedLog::operator()(const std::string& text) {
  if (!log_) return;
  const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
  if (!started_ || now - windowStart_ >= 60) {
    started_ = true;
    if (suppressed_)
      log_(std::to_string(suppressed_) + " more connection line(s) left out in the last minute");
    windowStart_ = now;
    lines_ = 0;
    suppressed_ = 0;
  }
  if (lines_ < kBurst) {
    ++lines_;
    log_(text);
  } else {
    ++suppressed_;
  }
}

}  // namespace velmo::drivers
