// The driver back-end of the monitor: the conversations it holds with the helpers, and the
// exact messages it shows when a helper is missing or refuses.
#include "monitor/hw/DriverBackend.h"

#include <sys/eventfd.h>
#include <sys/mman.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <mutex>

#include "drivers/common/DeviceServer.h"
#include "drivers/mapmem/SealedView.h"
#include "drivers/portio/PortIoDevice.h"
#include "monitor/base/LittleEndian.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "monitor/hw/PortBatch.h"
#include "monitor/protocol/SimClockProtocol.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/HelperRig.h"
#include "tests/support/RecordingBus.h"

namespace velmo::hw {
namespace {

namespace pr = protocol;
using Messages = std::vector<std::pair<std::string, std::string>>;

// A helper in this process answering each control code as scripted; it records the requests.
class ScriptedHelper : public drivers::RequestHandler {
 public:
  struct Answer {
    std::vector<uint8_t> datagram;
    int fd = -1;
  };
  // Codes without an answer get `otherwise` (by default an invalid-parameter status).
  using Otherwise = std::function<std::vector<uint8_t>(std::span<const uint8_t>)>;
  ScriptedHelper(const std::string& device, std::map<uint32_t, Answer> answers,
                 Otherwise otherwise = {})
      : answers_(std::move(answers)), otherwise_(std::move(otherwise)) {
    auto server = drivers::DeviceServer::Listen(pr::DevicePath(device.c_str()), *this,
                                                drivers::PeerPolicy::ForThisProcess(), {});
    EXPECT_TRUE(server) << (server ? "" : server.error().message);
    if (server) server_ = std::move(server).value();
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { server_->Run(stop_); });
  }
  ~ScriptedHelper() override {
    const uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    thread_.join();
    ::close(stop_);
  }
  drivers::ServedReply Serve(uint64_t, std::span<const uint8_t> datagram) override {
    const auto request = pr::DecodeRequest(datagram);
    std::lock_guard lock(mutex_);
    codes_.push_back(request ? request->code : 0);
    if (request) requests_.push_back(*request);
    const auto it = answers_.find(request ? request->code : 0);
    if (it == answers_.end() && otherwise_) return {otherwise_(datagram), -1};
    if (it == answers_.end()) return {pr::EncodeReply({pr::kStatusInvalidParameter, {}}), -1};
    return {it->second.datagram, it->second.fd};
  }
  size_t Disconnect(uint64_t) override { return 0; }
  size_t OpenObjects() const override { return 0; }
  std::vector<uint32_t> Codes() {
    std::lock_guard lock(mutex_);
    return codes_;
  }
  // The value words of the WRITE requests, in order.
  std::vector<uint32_t> Written() {
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> values;
    for (const pr::Request& r : requests_) {
      if (r.code == pr::kIoctlPortIoWrite) values.push_back(r.Word(8).value_or(0xDEAD));
    }
    return values;
  }

 private:
  std::map<uint32_t, Answer> answers_;
  Otherwise otherwise_;
  std::unique_ptr<drivers::DeviceServer> server_;
  int stop_ = -1;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<uint32_t> codes_;
  std::vector<pr::Request> requests_;
};

ScriptedHelper::Answer Ok(std::vector<uint32_t> words = {}) {
  pr::Reply reply;
  for (uint32_t w : words)
    base::AppendLe32(reply.output, w);
  return {pr::EncodeReply(reply)};
}
ScriptedHelper::Answer Fail(uint32_t status = pr::kStatusInvalidParameter) {
  return {pr::EncodeReply({status, {}})};
}
ScriptedHelper::Answer Raw(std::vector<uint8_t> datagram) {
  return {std::move(datagram)};
}

class DriverBackendTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  test::DeviceDirScope scope_{dir_.Path()};
  test::RecordingHost host_;
  DriverBackend backend_;
  // The layer's top, which hands what the back-end reports to the host.
  PortAccess ports_{backend_, host_};
};

TEST_F(DriverBackendTest, HelpersAbsent) {
  EXPECT_EQ(ports_.ReadPort(0x295, 1), 0xFFFFFFFFu);
  EXPECT_EQ(host_.messages, (Messages{{"failed to open PortIo device", "debug"}}));
  EXPECT_EQ(host_.endCodes, (std::vector<int>{1}));

  host_.messages.clear();
  host_.endCodes.clear();
  ports_.WritePort(0x295, 1, 0x4e);
  EXPECT_EQ(host_.messages, (Messages{{"Failed to open PortIo Device", "Debug"}}));
  EXPECT_EQ(host_.endCodes, (std::vector<int>{1}));

  host_.messages.clear();
  host_.endCodes.clear();
  uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ports_.ReadBiosIdBytes(bytes);
  EXPECT_EQ(host_.messages, (Messages{{"Failed to open MAPMEM device", "Debug"}}));
  EXPECT_TRUE(host_.endCodes.empty());  // the program goes on
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[7], 8);

  EXPECT_FALSE(DriverBackend::Reachable());
  EXPECT_FALSE(backend_.AdvanceSimulatedClock(5));
  EXPECT_TRUE(backend_.IsDriver());
}

TEST_F(DriverBackendTest, PortConversationFailures) {
  const uint32_t kOpen = pr::kIoctlPortIoOpen, kRead = pr::kIoctlPortIoRead,
                 kWrite = pr::kIoctlPortIoWrite, kClose = pr::kIoctlPortIoClose;
  struct Row {
    const char* what;
    std::map<uint32_t, ScriptedHelper::Answer> answers;
    uint32_t readValue;
    Messages readMessages;
    Messages writeMessages;
  };
  const Row rows[] = {
      {"all well",
       {{kOpen, Ok({7})}, {kRead, Ok({0x5a})}, {kWrite, Ok()}, {kClose, Ok()}},
       0x5a,
       {},
       {}},
      {"OPEN refused",
       {{kOpen, Fail()}},
       0xFFFFFFFF,
       {{"Port open failed", "debug"}, {"read faield", "debug"}, {"close failed", "debug"}},
       {{"Port open failed", "Debug"}, {"write failed", "debug"}, {"close failed", "debug"}}},
      {"OPEN answers handle 0",
       {{kOpen, Ok({0})}, {kRead, Ok({0x5a})}, {kWrite, Ok()}, {kClose, Ok()}},
       0x5a,
       {{"Port open failed", "debug"}},
       {{"Port open failed", "Debug"}}},
      {"READ and WRITE refused",
       {{kOpen, Ok({7})}, {kClose, Ok()}},
       0xFFFFFFFF,
       {{"read faield", "debug"}},
       {{"write failed", "debug"}}},
      {"READ returns 0 bytes",
       {{kOpen, Ok({7})}, {kRead, Ok()}, {kWrite, Ok()}, {kClose, Ok()}},
       0xFFFFFFFF,
       {{"read faield", "debug"}},
       {}},
      {"CLOSE refused",
       {{kOpen, Ok({7})}, {kRead, Ok({1})}, {kWrite, Ok()}},
       1,
       {{"close failed", "debug"}},
       {{"close failed", "debug"}}},
      {"malformed replies",
       {{kOpen, Raw({0, 0, 0, 0, 9, 0, 0, 0, 7})}, {kRead, Raw({0, 0})}, {kWrite, Raw({})}},
       0xFFFFFFFF,
       {{"Port open failed", "debug"}, {"read faield", "debug"}, {"close failed", "debug"}},
       {{"Port open failed", "Debug"}, {"write failed", "debug"}, {"close failed", "debug"}}},
  };
  for (const Row& row : rows) {
    std::vector<uint32_t> codes;
    {
      ScriptedHelper helper(pr::kPortIoDevice, row.answers);
      host_.messages.clear();
      EXPECT_EQ(ports_.ReadPort(0x296, 1), row.readValue) << row.what;
      EXPECT_EQ(host_.messages, row.readMessages) << row.what;
      host_.messages.clear();
      ports_.WritePort(0x296, 1, 0x12);
      EXPECT_EQ(host_.messages, row.writeMessages) << row.what;
      codes = helper.Codes();
    }
    // Every step is sent whatever the one before it answered.
    EXPECT_EQ(codes, (std::vector<uint32_t>{kOpen, kRead, kClose, kOpen, kWrite, kClose}))
        << row.what;
    EXPECT_TRUE(host_.endCodes.empty());
  }
}

TEST_F(DriverBackendTest, ANewConnectionInPlaceOfABrokenOneIsUsable) {
  const uint32_t read[] = {1, 0};
  std::optional<DeviceConnection> kept;
  {
    ScriptedHelper gone(pr::kPortIoDevice, {{pr::kIoctlPortIoRead, Ok({1})}});
    kept = DeviceConnection::Open(pr::kPortIoDevice);
    ASSERT_TRUE(kept);
  }
  EXPECT_FALSE(kept->Transact(pr::kIoctlPortIoRead, 4, read));  // the helper closed it
  EXPECT_FALSE(kept->Alive());
  ScriptedHelper back(pr::kPortIoDevice, {{pr::kIoctlPortIoRead, Ok({2})}});
  kept = DeviceConnection::Open(pr::kPortIoDevice);
  ASSERT_TRUE(kept);
  EXPECT_TRUE(kept->Alive());
  const auto reply = kept->Transact(pr::kIoctlPortIoRead, 4, read);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Word(0), 2u);
}

TEST_F(DriverBackendTest, BiosConversationFailures) {
  const uint8_t page[4096] = {};
  std::vector<uint8_t> bytes(page, page + sizeof page);
  std::memcpy(bytes.data() + 0xCE0, "7K4XRQB8", 8);
  const auto view = drivers::SealedView::Create(bytes);
  ASSERT_TRUE(view) << view.error().message;
  auto mapped = [&view](uint32_t offset) {
    ScriptedHelper::Answer answer = Ok({offset});
    answer.fd = view.value()->Fd();
    return answer;
  };
  const int plain = ::memfd_create("plain-view", MFD_CLOEXEC);
  ASSERT_GE(plain, 0);
  ASSERT_EQ(::write(plain, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  auto unsealed = [plain](uint32_t offset) {
    ScriptedHelper::Answer answer = Ok({offset});
    answer.fd = plain;
    return answer;
  };
  const uint32_t kMap = pr::kIoctlMapMemMap, kUnmap = pr::kIoctlMapMemUnmap;
  struct Row {
    const char* what;
    std::map<uint32_t, ScriptedHelper::Answer> answers;
    const char* bytes;  // null: untouched
    Messages messages;
    std::vector<uint32_t> codes;
  };
  const Row rows[] = {
      {"all well", {{kMap, mapped(0xCE0)}, {kUnmap, Ok()}}, "7K4XRQB8", {}, {kMap, kUnmap}},
      {"UNMAP refused",
       {{kMap, mapped(0xCE0)}},
       "7K4XRQB8",
       {{"Failed to unmap device", "Debug"}},
       {kMap, kUnmap}},
      {"MAP refused",
       {{kMap, Fail(0xC0000022)}},
       nullptr,
       {{"Failed to map device", "Debug"}},
       {kMap}},
      {"MAP without a view",
       {{kMap, Ok({0xCE0})}},
       nullptr,
       {{"Failed to map device", "Debug"}},
       {kMap}},
      // A view that could be cut short under the mapping is not mapped.
      {"view not sealed",
       {{kMap, unsealed(0xCE0)}, {kUnmap, Ok()}},
       nullptr,
       {{"Failed to map device", "Debug"}},
       {kMap}},
      // A window whose 8 bytes would run off the view is refused, not read past its end.
      {"offset past the view",
       {{kMap, mapped(4092)}},
       nullptr,
       {{"Failed to map device", "Debug"}},
       {kMap}},
  };
  for (const Row& row : rows) {
    ScriptedHelper helper(pr::kMapMemDevice, row.answers);
    host_.messages.clear();
    uint8_t dest[8] = {'u', 'n', 't', 'o', 'u', 'c', 'h', 'd'};
    ports_.ReadBiosIdBytes(dest);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dest), 8), row.bytes ? row.bytes : "untouchd")
        << row.what;
    EXPECT_EQ(host_.messages, row.messages) << row.what;
    EXPECT_EQ(helper.Codes(), row.codes) << row.what;
  }
  ::close(plain);
}

// The bank select of the chip layer in driver mode: index, old value, index, derived value.
void SelectBank(PortBatch& batch, uint32_t bank) {
  batch.Write(0x295, 1, 0x4e);
  const PortBatch::Slot old = batch.Read(0x296, 1);
  batch.Write(0x295, 1, 0x4e);
  batch.WriteFrom(0x296, 1, old, 0xF8, bank);
}

TEST_F(DriverBackendTest, RefusedBatchesAreDoneAgainAccessByAccess) {
  const uint32_t kOpen = pr::kIoctlPortIoOpen, kRead = pr::kIoctlPortIoRead,
                 kWrite = pr::kIoctlPortIoWrite, kClose = pr::kIoctlPortIoClose,
                 kBatch = pr::kIoctlPortIoBatch;
  const std::vector<uint32_t> conversations = {kBatch, kOpen,  kWrite, kClose, kOpen,
                                               kRead,  kClose, kOpen,  kWrite, kClose,
                                               kOpen,  kWrite, kClose};
  struct Row {
    const char* what;
    std::map<uint32_t, ScriptedHelper::Answer> answers;
    uint32_t value;  // what the batch's read gives
    Messages messages;
    std::vector<uint32_t> codes;
    std::vector<uint32_t> written;  // values of the WRITE conversations
  };
  const std::map<uint32_t, ScriptedHelper::Answer> classic = {
      {kOpen, Ok({7})}, {kRead, Ok({0x5b})}, {kWrite, Ok()}, {kClose, Ok()}};
  auto with = [&classic](uint32_t code, ScriptedHelper::Answer answer) {
    auto answers = classic;
    answers[code] = std::move(answer);
    return answers;
  };
  const Row rows[] = {
      {"served", with(kBatch, Ok({0x8b})), 0x8b, {}, {kBatch}, {}},
      // A helper that does not know the batch: the same accesses as before it existed.
      {"unknown to the helper", classic, 0x5b, {}, conversations, {0x4e, 0x4e, 0x5a}},
      {"refused",
       with(kBatch, Fail(pr::kStatusAccessDenied)),
       0x5b,
       {},
       conversations,
       {0x4e, 0x4e, 0x5a}},
      // Each refused access shows its conversation's messages, the derived write included.
      {"refused, and so is every port",
       {{kBatch, Fail(pr::kStatusAccessDenied)}, {kOpen, Fail(pr::kStatusAccessDenied)}},
       0xFFFFFFFF,
       {{"Port open failed", "Debug"},
        {"write failed", "debug"},
        {"close failed", "debug"},
        {"Port open failed", "debug"},
        {"read faield", "debug"},
        {"close failed", "debug"},
        {"Port open failed", "Debug"},
        {"write failed", "debug"},
        {"close failed", "debug"},
        {"Port open failed", "Debug"},
        {"write failed", "debug"},
        {"close failed", "debug"}},
       conversations,
       {0x4e, 0x4e, 0xfa}},
      // Served, but not with one value per read: what the helper did is unknown.
      {"a reply without the values",
       with(kBatch, Ok()),
       0xFFFFFFFF,
       {{"write failed", "debug"}},
       {kBatch},
       {}},
  };
  for (const Row& row : rows) {
    ScriptedHelper helper(pr::kPortIoDevice, row.answers);
    host_.messages.clear();
    PortBatch batch;
    SelectBank(batch, 2);
    ports_.Run(batch);
    EXPECT_EQ(batch.Value({1}), row.value) << row.what;
    EXPECT_EQ(host_.messages, row.messages) << row.what;
    EXPECT_EQ(helper.Codes(), row.codes) << row.what;
    EXPECT_EQ(helper.Written(), row.written) << row.what;
    EXPECT_TRUE(host_.endCodes.empty()) << row.what;
  }
}

TEST_F(DriverBackendTest, BatchWithoutHelperShowsItsFirstAccessMessage) {
  PortBatch writeFirst;
  SelectBank(writeFirst, 1);
  ports_.Run(writeFirst);
  PortBatch readFirst;
  readFirst.Read(0x296, 1);
  readFirst.Write(0x295, 1, 0x4e);
  ports_.Run(readFirst);
  EXPECT_EQ(host_.messages, (Messages{{"Failed to open PortIo Device", "Debug"},
                                      {"failed to open PortIo device", "debug"}}));
  EXPECT_EQ(host_.endCodes, (std::vector<int>{1, 1}));
  EXPECT_EQ(readFirst.Value({0}), PortRead::kFailedReadValue);
}

TEST_F(DriverBackendTest, BatchesLongerThanOneRequestKeepEveryAccess) {
  // Read-modify-writes whose reads fall in the request before theirs, across both boundaries
  // (the first read shifts them off the 512-access marks).
  auto fill = [](PortBatch& batch) {
    batch.Read(0x295, 1);
    for (uint32_t i = 0; i < 1100; ++i) {
      batch.Write(0x295, 1, 0x2b + i % 4);
      const PortBatch::Slot old = batch.Read(0x296, 1);
      batch.Write(0x295, 1, 0x2b + (i + 1) % 4);
      batch.WriteFrom(0x296, 1, old, 0x7F, i & 0x80);
    }
  };
  const std::string board = R"({"bios_id": "7K4XRQB8", "chip": "w83782d",
                                "registers": {"0x2b": 1, "0x2c": 2, "0x2d": 3, "0x2e": 4}})";
  std::string error;
  auto direct = sim::SimulatedBoard::Parse(board, "direct", &error);
  auto served = sim::SimulatedBoard::Parse(board, "served", &error);
  ASSERT_TRUE(direct && served) << error;
  direct->EnableTrace(true);
  served->EnableTrace(true);
  DirectBackend directBackend(*direct);
  PortBatch expected;
  fill(expected);
  PortAccess(directBackend, host_).Run(expected);

  // A helper that serves batches only: an access done one by one would show its messages.
  drivers::PortIoDevice device(*served, drivers::PortAllowList::ForMonitor(0));
  std::mutex deviceMutex;
  ScriptedHelper helper(pr::kPortIoDevice, {{pr::kIoctlPortIoOpen, Fail()}},
                        [&](std::span<const uint8_t> datagram) {
                          std::lock_guard lock(deviceMutex);
                          return device.Handle(1, datagram);
                        });
  PortBatch batch;
  fill(batch);
  ports_.Run(batch);
  EXPECT_TRUE(host_.messages.empty());
  const size_t requests = (batch.Ops().size() + pr::kMaxBatchOps - 1) / pr::kMaxBatchOps;
  EXPECT_EQ(helper.Codes(), std::vector<uint32_t>(requests, pr::kIoctlPortIoBatch));
  {
    std::lock_guard lock(deviceMutex);
    EXPECT_EQ(served->Trace(), direct->Trace());
    served->ClearTrace();
  }
  for (size_t i = 2; i < batch.Ops().size(); i += 4)
    ASSERT_EQ(batch.Value({i}), expected.Value({i})) << i;

  // Posted: the requests before the last are answered at once (the last one's derived writes
  // may take values they read), the last one's reply at Settle.
  PortBatch posted;
  fill(posted);
  ports_.Post(std::move(posted));
  ports_.Settle();
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_EQ(helper.Codes(), std::vector<uint32_t>(2 * requests, pr::kIoctlPortIoBatch));
  direct->ClearTrace();
  PortBatch again;
  fill(again);
  PortAccess(directBackend, host_).Run(again);
  std::lock_guard lock(deviceMutex);
  EXPECT_EQ(served->Trace(), direct->Trace());
}

// What the beep programming posts in driver mode: a bit's read-modify-write and a discarded read.
void BeepLike(PortBatch& batch) {
  batch.Write(0x295, 1, 0x41);
  const PortBatch::Slot old = batch.Read(0x296, 1);
  batch.Write(0x295, 1, 0x41);
  batch.WriteFrom(0x296, 1, old, 0xFFFFFFFF, 0x10);
  batch.Write(0x295, 1, 0x42);
  batch.Read(0x296, 1);
}

TEST_F(DriverBackendTest, PostedBatchIsAnsweredBeforeTheNextRequest) {
  const uint32_t kOpen = pr::kIoctlPortIoOpen, kRead = pr::kIoctlPortIoRead,
                 kWrite = pr::kIoctlPortIoWrite, kClose = pr::kIoctlPortIoClose,
                 kBatch = pr::kIoctlPortIoBatch, kClock = pr::kIoctlPortIoAdvanceClock;
  // The posted batch done again access by access: one conversation each.
  const std::vector<uint32_t> redo = {kOpen, kWrite, kClose, kOpen, kRead,  kClose,
                                      kOpen, kWrite, kClose, kOpen, kWrite, kClose,
                                      kOpen, kWrite, kClose, kOpen, kRead,  kClose};
  auto conversation = [](bool read) {
    return read ? Messages{{"Port open failed", "debug"},
                           {"read faield", "debug"},
                           {"close failed", "debug"}}
                : Messages{{"Port open failed", "Debug"},
                           {"write failed", "debug"},
                           {"close failed", "debug"}};
  };
  Messages everyAccessRefused;
  for (bool read : {false, true, false, false, false, true}) {
    const Messages m = conversation(read);
    everyAccessRefused.insert(everyAccessRefused.end(), m.begin(), m.end());
  }
  std::vector<uint32_t> batchThenRedo = {kBatch};
  batchThenRedo.insert(batchThenRedo.end(), redo.begin(), redo.end());
  struct Row {
    const char* what;
    std::optional<ScriptedHelper::Answer> posted;  // none: served
    bool openRefused;
    bool postedDone;  // the chip saw the posted accesses
    Messages messages;
    std::vector<uint32_t> codes;  // what the posted batch cost before the next request
  };
  const Row rows[] = {
      {"served", std::nullopt, false, true, {}, {kBatch}},
      {"refused", Fail(pr::kStatusAccessDenied), false, true, {}, batchThenRedo},
      {"refused, and so is every port", Fail(pr::kStatusAccessDenied), true, false,
       everyAccessRefused, batchThenRedo},
      {"no usable reply", Ok(), false, false, {{"write failed", "debug"}}, {kBatch}},
  };
  enum class Then { kRun, kClockThenRun, kSettle };
  const std::string board = R"({"bios_id": "7K4XRQB8", "chip": "w83782d",
                                "registers": {"0x28": 135, "0x41": 3}})";
  for (const Row& row : rows) {
    for (const Then then : {Then::kRun, Then::kClockThenRun, Then::kSettle}) {
      SCOPED_TRACE(std::string(row.what) + ", then " +
                   (then == Then::kRun      ? "a batch"
                    : then == Then::kSettle ? "Settle"
                                            : "the clock"));
      std::string error;
      auto direct = sim::SimulatedBoard::Parse(board, "direct", &error);
      auto served = sim::SimulatedBoard::Parse(board, "served", &error);
      ASSERT_TRUE(direct && served) << error;
      direct->EnableTrace(true);
      served->EnableTrace(true);
      drivers::PortIoDevice device(*served, drivers::PortAllowList::ForMonitor(0), [](uint32_t) {});
      std::mutex deviceMutex;
      bool postedSeen = false;
      std::map<uint32_t, ScriptedHelper::Answer> answers;
      if (row.openRefused) answers[kOpen] = Fail(pr::kStatusAccessDenied);
      ScriptedHelper helper(pr::kPortIoDevice, answers, [&](std::span<const uint8_t> datagram) {
        std::lock_guard lock(deviceMutex);
        const auto request = pr::DecodeRequest(datagram);
        if (request && request->code == kBatch && !std::exchange(postedSeen, true) && row.posted)
          return row.posted->datagram;
        return device.Handle(1, datagram);
      });
      host_.messages.clear();

      PortBatch beep;
      BeepLike(beep);
      ports_.Post(std::move(beep));
      EXPECT_TRUE(host_.messages.empty());  // nothing is known yet
      PortBatch next;
      next.Write(0x295, 1, 0x28);
      const PortBatch::Slot value = next.Read(0x296, 1);
      std::vector<uint32_t> codes = row.codes;
      if (then == Then::kSettle) {
        ports_.Settle();
      } else {
        if (then == Then::kClockThenRun) {
          EXPECT_TRUE(backend_.AdvanceSimulatedClock(1));
          codes.push_back(kClock);
        }
        ports_.Run(next);
        codes.push_back(kBatch);
        EXPECT_EQ(next.Value(value), 135u);
      }
      EXPECT_EQ(host_.messages, row.messages);
      EXPECT_EQ(helper.Codes(), codes);
      EXPECT_TRUE(host_.endCodes.empty());

      // The chip saw what it would have seen had the posted batch been waited for.
      DirectBackend directBackend(*direct);
      PortAccess directPorts(directBackend, host_);
      PortBatch expected;
      if (row.postedDone) BeepLike(expected);
      if (then != Then::kSettle) {
        expected.Write(0x295, 1, 0x28);
        expected.Read(0x296, 1);
      }
      directPorts.Run(expected);
      std::lock_guard lock(deviceMutex);
      EXPECT_EQ(served->Trace(), direct->Trace());
    }
  }
}

class DriverBackendOnHelpers : public DriverBackendTest {
 protected:
  void SetUp() override {
    const std::string board = dir_.Write("board.json", R"({
      "bios_id": "7K4XRQB8", "chip": "w83782d",
      "registers": {"0x28": 135, "1:0x50": 45},
      "script": [{"at": 10, "registers": {"0x28": 100}}]})");
    portio_ = std::make_unique<test::HelperProcess>(VELMO_PORTIO_PROGRAM,
                                                    std::vector<std::string>{"--board", board},
                                                    dir_.Path(), dir_.File("portio.log"));
    mapmem_ = std::make_unique<test::HelperProcess>(VELMO_MAPMEM_PROGRAM,
                                                    std::vector<std::string>{"--board", board},
                                                    dir_.Path(), dir_.File("mapmem.log"));
    ASSERT_TRUE(portio_->WaitReady(pr::kPortIoDevice));
    ASSERT_TRUE(mapmem_->WaitReady(pr::kMapMemDevice));
  }
  std::unique_ptr<test::HelperProcess> portio_, mapmem_;
};

TEST_F(DriverBackendOnHelpers, ChipBiosAndClockThroughTheHelpers) {
  EXPECT_TRUE(DriverBackend::Reachable());
  PortAccess ports(backend_, host_);
  EXPECT_TRUE(ports.ProbeChipVendor());
  EXPECT_TRUE(ports.ProbeChipId(0x30));
  EXPECT_EQ(ports.ReadChipRegister(0x28), 135u);
  ports.SelectChipBank(1);
  EXPECT_EQ(ports.ReadChipRegister(0x50), 45u);
  ports.SelectChipBank(0);
  ports.WriteChipRegister(0x2B, 0x7F);
  EXPECT_EQ(ports.ReadChipRegister(0x2B), 0x7Fu);
  EXPECT_EQ(ports.ReadPciConfigDword(0x3800), 0xFFFFFFFFu);  // no such PCI function

  uint8_t bytes[8] = {};
  ports_.ReadBiosIdBytes(bytes);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 8), "7K4XRQB8");

  EXPECT_TRUE(backend_.AdvanceSimulatedClock(10));
  EXPECT_EQ(ports.ReadChipRegister(0x28), 100u);
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_TRUE(host_.endCodes.empty());
}

TEST_F(DriverBackendOnHelpers, HelperGoneBetweenTwoTicksIsFoundAgain) {
  // What a tick's acquisition asks: the bank bracket around a banked read, and a plain read.
  auto tick = [this] {
    PortBatch batch;
    SelectBank(batch, 1);
    batch.Write(0x295, 1, 0x50);
    const PortBatch::Slot banked = batch.Read(0x296, 1);
    SelectBank(batch, 0);
    batch.Write(0x295, 1, 0x28);
    const PortBatch::Slot plain = batch.Read(0x296, 1);
    ports_.Run(batch);
    return std::pair{batch.Value(banked), batch.Value(plain)};
  };
  const std::string board = dir_.File("board.json");
  EXPECT_EQ(tick(), (std::pair<uint32_t, uint32_t>{45, 135}));
  struct Row {
    const char* how;
    int signal;
  };
  for (const Row row : {Row{"stopped", SIGTERM}, Row{"killed", SIGKILL}}) {
    ::kill(portio_->Pid(), row.signal);
    portio_->Wait();
    portio_ = std::make_unique<test::HelperProcess>(VELMO_PORTIO_PROGRAM,
                                                    std::vector<std::string>{"--board", board},
                                                    dir_.Path(), dir_.File("portio.log"));
    ASSERT_TRUE(portio_->WaitReady(pr::kPortIoDevice));
    EXPECT_EQ(tick(), (std::pair<uint32_t, uint32_t>{45, 135})) << row.how;
    EXPECT_TRUE(backend_.AdvanceSimulatedClock(1)) << row.how;
  }
  EXPECT_TRUE(host_.messages.empty());

  // Gone for good: the next access says so and ends the program.
  portio_->Stop();
  tick();
  EXPECT_EQ(host_.messages, (Messages{{"Failed to open PortIo Device", "Debug"}}));
  EXPECT_EQ(host_.endCodes, (std::vector<int>{1}));
}

TEST_F(DriverBackendOnHelpers, HelperStoppedOrKilledWithAReplyOwed) {
  auto acquire = [this] {
    PortBatch batch;
    batch.Write(0x295, 1, 0x28);
    const PortBatch::Slot value = batch.Read(0x296, 1);
    ports_.Run(batch);
    return batch.Value(value);
  };
  struct Row {
    const char* how;
    int signal;  // after the post, while the helper is stopped
    Messages messages;
  };
  const Row rows[] = {
      {"continued", SIGCONT, {}},
      // It may or may not have done the batch: its first access's failure, then a new helper.
      {"killed", SIGKILL, {{"write failed", "debug"}}},
  };
  for (const Row& row : rows) {
    host_.messages.clear();
    ASSERT_EQ(acquire(), 135u) << row.how;
    ::kill(portio_->Pid(), SIGSTOP);
    PortBatch beep;
    BeepLike(beep);
    ports_.Post(std::move(beep));  // returns although nobody serves it
    EXPECT_TRUE(host_.messages.empty()) << row.how;
    ::kill(portio_->Pid(), row.signal);
    if (row.signal == SIGKILL) {
      portio_->Wait();
      portio_ = std::make_unique<test::HelperProcess>(
          VELMO_PORTIO_PROGRAM, std::vector<std::string>{"--board", dir_.File("board.json")},
          dir_.Path(), dir_.File("portio.log"));
      ASSERT_TRUE(portio_->WaitReady(pr::kPortIoDevice));
    }
    EXPECT_EQ(acquire(), 135u) << row.how;
    EXPECT_EQ(host_.messages, row.messages) << row.how;
    EXPECT_TRUE(host_.endCodes.empty()) << row.how;
  }
}

TEST_F(DriverBackendOnHelpers, RefusedPortsShowTheConversationMessages) {
  struct Row {
    bool write;
    uint16_t port;
    unsigned width;
    Messages messages;
  };
  const Row rows[] = {
      {false,
       0x80,
       1,
       {{"Port open failed", "debug"}, {"read faield", "debug"}, {"close failed", "debug"}}},
      {true,
       0x80,
       1,
       {{"Port open failed", "Debug"}, {"write failed", "debug"}, {"close failed", "debug"}}},
      {false, 0xEB, 1, {{"read faield", "debug"}}},   // a port only ever written
      {true, 0xCFC, 4, {{"write failed", "debug"}}},  // a port only ever read
      // The chipset's reset register: not even a handle is given for it.
      {true,
       0xCF9,
       1,
       {{"Port open failed", "Debug"}, {"write failed", "debug"}, {"close failed", "debug"}}},
      {false, 0x295, 1, {}},
  };
  for (const Row& row : rows) {
    host_.messages.clear();
    if (row.write)
      ports_.WritePort(row.port, row.width, 0x06);
    else
      ports_.ReadPort(row.port, row.width);
    EXPECT_EQ(host_.messages, row.messages) << test::Hex(row.port);
  }
  EXPECT_TRUE(host_.endCodes.empty());
}

TEST_F(DriverBackendTest, ViaMonitorBlockThroughPortio) {
  test::HelperProcess portio(VELMO_PORTIO_PROGRAM,
                             {"--board", std::string(VELMO_BOARD_DIR) + "/via686a.json"},
                             dir_.Path(), dir_.File("portio.log"));
  ASSERT_TRUE(portio.WaitReady(pr::kPortIoDevice));
  PortAccess ports(backend_, host_);
  EXPECT_FALSE(ports.ProbeChipVendor());
  EXPECT_TRUE(ports.DetectVia686aMonitor());
  EXPECT_EQ(ports.ChipIoBase(), 0x6000u);
  EXPECT_EQ(ports.ReadChipRegister(0x29), 135u);
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_NE(portio.Log().find("VIA 686A monitor block at 0x6000 allowed"), std::string::npos);
}

}  // namespace
}  // namespace velmo::hw
