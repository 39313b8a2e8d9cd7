// velmo_pageview: renders the monitor pages for given display slots into PNG files.
//
//   velmo_pageview [--slots FILE.json | --board BOARD.json [--seconds S]] [--out DIR] [--model N]
//                  [--time UNIX_SECONDS]
//
// FILE.json holds the "pages" object of a headless tick event (or the whole event). BOARD.json is
// a simulated board: it is identified and read as the monitor does (chip profile and board
// adjustments, no stored settings), after S seconds of its script. Without either the pages show
// sample readings. --model sets the board model on every page; --time fixes the clock.
#include <QApplication>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "monitor/core/Acquisition.h"
#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/PageSlots.h"
#include "monitor/core/PageSlotsJson.h"
#include "monitor/core/boards/BoardTable.h"
#include "monitor/display/PageRenderer.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"

namespace {

using velmo::core::PageSlots;

// The second CPU page carries the model of the board that has one.
int32_t SecondCpuModel() {
  for (const velmo::core::BoardInfo& board : velmo::core::Boards())
    if (board.hasCpu2) return board.code;
  return velmo::core::kModelNone;
}

// Plausible readings for a healthy board; boards with positive rails on VN12 and VN5 differ as
// their rails do.
PageSlots SampleSlots(int32_t model) {
  const bool positiveRails = velmo::core::BoardFor(model).positiveRails;
  PageSlots s;
  s.cpu = {.mbModel = model,
           .alarm = 1,
           .fan = 4687,
           .temp = 47,
           .vcore = 1744,
           .vio = positiveRails ? 3312 : 3296,
           .tempEnabled = 1,
           .tempOutOfRange = 0,
           .vioEnabled = positiveRails ? 1 : 0,
           .vioOutOfRange = 0};
  s.cpu2 = {.mbModel = SecondCpuModel(),
            .alarm = 1,
            .fan = 4530,
            .temp = 49,
            .vcore = 1760,
            .vio = 3296,
            .tempEnabled = 1};
  s.system.mbModel = model;
  s.system.chassisFan = 3013;
  s.system.auxFan = 2596;
  s.system.temp = 36;
  s.system.v5 = 5026;
  s.system.v12 = 12160;
  s.system.vn5 = positiveRails ? 2576 : -5024;
  s.system.vn12 = positiveRails ? 3312 : -12096;
  s.system.alarm = 1;
  s.system.present = {1, 1, 1, 1};
  s.system.enabled = {1, 1, 1, 1, 1};
  s.misc = {.mbModel = model, .alarm = 1, .agp = 1520};
  return s;
}

void SetModel(PageSlots& s, int32_t model) {
  s.cpu.mbModel = model;
  s.cpu2.mbModel = model;
  s.system.mbModel = model;
  s.misc.mbModel = model;
}

class StderrHost : public velmo::hw::HwHost {
 public:
  void ShowMessage(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  void EndProgram(int exitCode) override { throw velmo::hw::ProgramEnd{exitCode}; }
};

// The slots the monitor would publish for a simulated board after `seconds` of its script.
bool SlotsFromBoard(const std::string& path, long long seconds, PageSlots& out) {
  std::string error;
  auto board = velmo::sim::SimulatedBoard::Load(path, &error);
  if (!board) {
    std::fprintf(stderr, "velmo_pageview: %s\n", error.c_str());
    return false;
  }
  StderrHost host;
  velmo::hw::DirectBackend backend(*board);
  velmo::hw::PortAccess ports(backend, host);
  velmo::core::MonitorState state;
  if (!velmo::core::SetUpMonitor(state, ports)) {
    std::fprintf(stderr, "velmo_pageview: %s: no supported monitor chip\n", path.c_str());
    return false;
  }
  board->Advance(static_cast<uint32_t>(seconds));
  velmo::core::AcquireReadings(state, ports);
  velmo::core::PublishToPages(state, out);
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: velmo_pageview [--slots FILE.json | --board BOARD.json [--seconds S]] "
               "[--out DIR] [--model N] [--time UNIX_SECONDS]\n");
  return 2;
}

bool ParseInt(const char* text, long long low, long long high, long long& out) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing needs no screen; stay off it unless the caller chose a platform.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  QString slotsFile;
  std::string boardFile;
  long long seconds = 0;
  QString outDir = ".";
  long long model = -1;
  velmo::display::RenderOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    long long number = 0;
    if (arg == "--slots" && hasValue) {
      slotsFile = QString::fromLocal8Bit(argv[++i]);
    } else if (arg == "--board" && hasValue) {
      boardFile = argv[++i];
    } else if (arg == "--seconds" && hasValue && ParseInt(argv[++i], 0, 1LL << 31, number)) {
      seconds = number;
    } else if (arg == "--out" && hasValue) {
      outDir = QString::fromLocal8Bit(argv[++i]);
    } else if (arg == "--model" && hasValue && ParseInt(argv[++i], 0, 99, number)) {
      model = number;
    } else if (arg == "--time" && hasValue && ParseInt(argv[++i], 0, 1LL << 40, number)) {
      options.clockTime = static_cast<std::time_t>(number);
    } else {
      return Usage();
    }
  }

  PageSlots pageSlots =
      SampleSlots(model < 0 ? velmo::core::kModelOther : static_cast<int32_t>(model));
  if (!slotsFile.isEmpty()) {
    QFile file(slotsFile);
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "velmo_pageview: cannot read %s\n", qPrintable(slotsFile));
      return 1;
    }
    const QByteArray bytes = file.readAll();
    const nlohmann::json doc = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false,
                                                     /*ignore_comments=*/true);
    if (doc.is_discarded()) {
      std::fprintf(stderr, "velmo_pageview: %s is not JSON\n", qPrintable(slotsFile));
      return 1;
    }
    // Slots the file leaves out stay at their initial value, as in the monitor.
    const nlohmann::json& pages = doc.contains("pages") ? doc["pages"] : doc;
    auto read = velmo::core::PageSlotsFromJson(pages);
    if (!read) {
      std::fprintf(stderr, "velmo_pageview: %s: %s\n", qPrintable(slotsFile),
                   read.error().message.c_str());
      return 1;
    }
    pageSlots = std::move(read).value();
  }
  if (!boardFile.empty()) {
    pageSlots = PageSlots{};
    try {
      if (!SlotsFromBoard(boardFile, seconds, pageSlots)) return 1;
    } catch (const velmo::hw::ProgramEnd& end) {
      return end.exitCode;
    }
  }
  if (model >= 0) SetModel(pageSlots, static_cast<int32_t>(model));

  QString error;
  const QStringList written = velmo::display::RenderPages(pageSlots, outDir, options, &error);
  if (written.isEmpty()) {
    std::fprintf(stderr, "velmo_pageview: %s\n", qPrintable(error));
    return 1;
  }
  for (const QString& path : written)
    std::printf("%s\n", qPrintable(path));
  return 0;
}
