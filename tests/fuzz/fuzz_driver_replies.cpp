// libFuzzer target: the monitor's driver back-end against a malicious helper. A thread in this
// process listens where portio and mapmem would and answers each request as the input says:
// any bytes, a well-formed reply with any status and words, a reply carrying a descriptor (a
// small or empty file, a pipe), a second reply out of step, or a closed connection. The back-end
// runs single accesses, batches (split ones too), posted batches, the BIOS read and the clock
// request. It must never crash, hang or leak a descriptor, and every failure it reports must be
// one of the hardware layer's errors.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <dirent.h>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "monitor/hw/DriverBackend.h"
#include "monitor/hw/HwError.h"
#include "monitor/hw/PortBatch.h"
#include "monitor/protocol/DriverProtocol.h"

namespace {

using namespace velmo;
namespace pr = protocol;

void CheckAt(bool condition, int line) {
  if (condition) return;
  std::fprintf(stderr, "check failed at line %d\n", line);
  __builtin_trap();
}
#define Check(condition) CheckAt((condition), __LINE__)

// Bytes taken from the front of a span; zeros once it is empty.
class Bytes {
 public:
  explicit Bytes(std::span<const uint8_t> data = {}) : data_(data) {}
  bool Empty() const { return data_.empty(); }
  uint8_t Byte() {
    if (data_.empty()) return 0;
    const uint8_t b = data_[0];
    data_ = data_.subspan(1);
    return b;
  }
  uint32_t Word() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i)
      w |= uint32_t{Byte()} << (8 * i);
    return w;
  }
  std::span<const uint8_t> Take(size_t n) {
    n = std::min(n, data_.size());
    const auto part = data_.first(n);
    data_ = data_.subspan(n);
    return part;
  }

 private:
  std::span<const uint8_t> data_;
};

int Listen(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  Check(fd >= 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  Check(path.size() < sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  Check(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
  Check(::listen(fd, 16) == 0);
  return fd;
}

// A descriptor of the kind the input names, for the reply to carry.
int MakeDescriptor(Bytes& in) {
  const uint8_t kind = in.Byte() % 3;
  if (kind == 0) {  // a small file: the view, maybe too short for where the reply points
    const int fd = ::memfd_create("view", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    Check(fd >= 0);
    const uint8_t sizeByte = in.Byte();
    const size_t size = size_t{sizeByte} % 128 * 64;
    std::vector<uint8_t> bytes(size, 0x5A);
    if (size) Check(::write(fd, bytes.data(), size) == static_cast<ssize_t>(size));
    // Mostly sealed as mapmem's are, so that the monitor maps it and reads at the offset.
    if (!(sizeByte & 0x80)) Check(::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) == 0);
    return fd;
  }
  if (kind == 1) {  // a pipe: nothing to map
    int pipe[2];
    Check(::pipe2(pipe, O_CLOEXEC) == 0);
    ::close(pipe[1]);
    return pipe[0];
  }
  return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void SendReply(int fd, std::span<const uint8_t> datagram, int passFd) {
  iovec iov{const_cast<uint8_t*>(datagram.data()), datagram.size()};
  msghdr message{};
  message.msg_iov = &iov;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (passFd >= 0) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &passFd, sizeof passFd);
  }
  (void)::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
}

// The helper: both device sockets, every connection answered from the script of the input.
class MaliciousHelper {
 public:
  MaliciousHelper() {
    char pattern[] = "/tmp/velmo-fuzz-replies-XXXXXX";
    Check(::mkdtemp(pattern) != nullptr);
    dir_ = pattern;
    Check(::setenv("VELMO_DEVICE_DIR", dir_.c_str(), 1) == 0);
    listeners_[0] = Listen(pr::DevicePath(pr::kPortIoDevice));
    listeners_[1] = Listen(pr::DevicePath(pr::kMapMemDevice));
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Run(); });
  }

  void WaitForNoClients() {
    for (int i = 0; i < 20000 && clients_.load() != 0; ++i)
      ::usleep(50);
    Check(clients_.load() == 0);
  }

  void SetScript(std::span<const uint8_t> script) {
    std::lock_guard lock(mutex_);
    script_.assign(script.begin(), script.end());
    reader_ = Bytes(script_);
  }

 private:
  void Run() {
    std::vector<int> clients;
    for (;;) {
      std::vector<pollfd> fds{
          {stop_, POLLIN, 0}, {listeners_[0], POLLIN, 0}, {listeners_[1], POLLIN, 0}};
      for (int c : clients)
        fds.push_back({c, POLLIN, 0});
      if (::poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents) break;
      std::vector<int> kept;
      for (size_t i = 3; i < fds.size(); ++i) {
        if (!fds[i].revents || Serve(fds[i].fd))
          kept.push_back(fds[i].fd);
        else
          ::close(fds[i].fd);
      }
      for (int i = 1; i <= 2; ++i) {
        if (fds[i].revents & POLLIN) {
          const int c = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
          if (c >= 0) kept.push_back(c);
        }
      }
      clients = std::move(kept);
      clients_.store(clients.size());
    }
    for (int c : clients)
      ::close(c);
  }

  // Answers one request; false when the connection is to be closed.
  bool Serve(int fd) {
    uint8_t request[pr::kMaxBatchDatagram + 16];
    const ssize_t n = ::recv(fd, request, sizeof request, MSG_DONTWAIT);
    if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
    std::lock_guard lock(mutex_);
    if (reader_.Empty()) {
      // The script is over: a plain refusal, so the back-end finishes quickly.
      SendReply(fd, pr::EncodeReply({pr::kStatusInvalidParameter, {}}), -1);
      return true;
    }
    const uint8_t tag = reader_.Byte();
    int passFd = -1;
    std::vector<uint8_t> datagram;
    switch (tag & 3) {
      case 0: {  // any bytes
        size_t length = reader_.Byte();
        if (tag & 0x20) length = length * 16 + reader_.Byte() % 16;  // up to a batch reply's
        const auto bytes = reader_.Take(length);
        datagram.assign(bytes.begin(), bytes.end());
        break;
      }
      case 1:
      case 2: {  // a well-formed reply, with a descriptor for case 2
        pr::Reply reply;
        reply.status = (tag & 0x10) ? reader_.Word() : pr::kStatusSuccess;
        size_t words = reader_.Byte() % 8;
        if (tag & 0x20) words = size_t{reader_.Byte()} * 2;
        for (size_t i = 0; i < words; ++i) {
          const uint32_t w = reader_.Word();
          for (int b = 0; b < 4; ++b)
            reply.output.push_back(static_cast<uint8_t>(w >> (8 * b)));
        }
        datagram = pr::EncodeReply(reply);
        if ((tag & 3) == 2) passFd = MakeDescriptor(reader_);
        break;
      }
      default:
        return false;
    }
    SendReply(fd, datagram, passFd);
    if (passFd >= 0) ::close(passFd);
    if (tag & 0x40) SendReply(fd, datagram, -1);  // one reply too many: out of step
    return (tag & 0x80) == 0;                     // or the connection closes after it
  }

  std::string dir_;
  int listeners_[2] = {-1, -1};
  int stop_ = -1;
  std::mutex mutex_;
  std::vector<uint8_t> script_;
  Bytes reader_;
  std::atomic<size_t> clients_{0};
  std::thread thread_;
};

MaliciousHelper& Helper() {
  static MaliciousHelper* helper = new MaliciousHelper;  // lives as long as the fuzzer
  return *helper;
}

constexpr uint16_t kPorts[] = {0x295, 0x296, 0xEB, 0xCF8, 0xCFC, 0x6000};
constexpr unsigned kWidths[] = {1, 2, 4};

void CheckFailures(const hw::HwFailures& failures) {
  for (const hw::HwFailure& failure : failures) {
    const char* text = hw::Describe(failure.error);
    Check(text != nullptr && text[0] != '\0');
  }
}

void FillBatch(Bytes& in, hw::PortBatch& batch) {
  // Mostly short ones; now and then one past kMaxBatchOps, which goes as several requests (a
  // refused one is done again access by access, three round trips each, so they are slow).
  const uint8_t size = in.Byte();
  const size_t count = size < 240 ? 1 + size % 16 : 500 + size_t{size - 240u} * 2;
  std::vector<hw::PortBatch::Slot> reads;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = in.Byte();
    const uint16_t port = kPorts[b % 6];
    const unsigned width = kWidths[(b >> 3) % 3];
    switch ((b >> 5) % 3) {
      case 0:
        reads.push_back(batch.Read(port, width));
        break;
      case 1:
        batch.Write(port, width, in.Byte());
        break;
      default:
        if (reads.empty())
          batch.Write(port, width, 0);
        else
          batch.WriteFrom(port, width, reads[b % reads.size()], 0xF0, 0x01);
    }
  }
}

// Sockets, pipes and views open in this process (libFuzzer and the sanitizers open files of
// their own now and then, so those are not counted).
size_t OpenDescriptors() {
  size_t n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(d)) {
      char target[256] = {};
      const std::string link = std::string("/proc/self/fd/") + entry->d_name;
      if (::readlink(link.c_str(), target, sizeof target - 1) <= 0) continue;
      const std::string t = target;
      if (t.starts_with("socket:") || t.starts_with("pipe:") || t.starts_with("/memfd:")) ++n;
    }
    ::closedir(d);
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MaliciousHelper& helper = Helper();
  // The first two bytes split the input: the back-end's operations, then the helper's script.
  if (size < 2) return 0;
  const size_t split = std::min<size_t>(size - 2, data[0] | size_t{data[1]} << 8);
  Bytes ops(std::span<const uint8_t>(data + 2, split));
  helper.SetScript(std::span<const uint8_t>(data + 2 + split, size - 2 - split));

  helper.WaitForNoClients();
  const size_t descriptorsAtStart = OpenDescriptors();
  {
    hw::DriverBackend backend;
    for (int step = 0; step < 32 && !ops.Empty(); ++step) {
      const uint8_t op = ops.Byte();
      const uint16_t port = kPorts[(op >> 3) % 6];
      const unsigned width = kWidths[(op >> 6) % 3];
      switch (op % 7) {
        case 0: {
          const hw::PortRead read = backend.ReadPort(port, width);
          CheckFailures(read.failures);
          break;
        }
        case 1:
          CheckFailures(backend.WritePort(port, width, ops.Word()));
          break;
        case 2: {
          hw::PortBatch batch;
          FillBatch(ops, batch);
          CheckFailures(backend.RunBatch(batch));
          break;
        }
        case 3: {
          hw::PortBatch batch;
          FillBatch(ops, batch);
          CheckFailures(backend.PostBatch(std::move(batch)));
          break;
        }
        case 4:
          CheckFailures(backend.Settle());
          break;
        case 5: {
          uint8_t bios[8] = {};
          CheckFailures(backend.ReadBiosIdBytes(bios));
          break;
        }
        default:
          (void)backend.AdvanceSimulatedClock(ops.Byte());
      }
    }
  }
  // The back-end is gone: once the helper has seen its connections close, every descriptor the
  // back-end was handed or opened is closed again.
  helper.WaitForNoClients();
  for (int i = 0; i < 20000 && OpenDescriptors() > descriptorsAtStart; ++i)
    ::usleep(50);
  Check(OpenDescriptors() <= descriptorsAtStart);
  return 0;
}
