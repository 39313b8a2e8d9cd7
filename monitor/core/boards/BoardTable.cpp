#include "monitor/core/boards/BoardTable.h"

#include "monitor/core/Resources.h"

namespace velmo::core {

namespace {

constexpr BoardText kBoardTexts[] = {
    {BoardText::kWhole, "7K4XRQB8", kModelPlain},  // before its family's first-seven test
    {BoardText::kFirstSeven, "7K4XRQB", kModelViaAgp},
    {BoardText::kWhole, "7K4T5QBB", kModelViaAgp},
    {BoardText::kWhole, "7K4XNQBB", kModelPositiveRails},
    {BoardText::kFirstSeven, "7K4XWQB", kModelPositiveRails},
    {BoardText::kWhole, "7K4XHQBC", kModelDualCpu},
    {BoardText::kFirstSeven, "7K41TQB", kModelAgpVdimm},
    {BoardText::kFirstSeven, "7K41WQB", kModelAgpVdimm},
    {BoardText::kFirstSeven, "7K41RQB", kModelAgpVdimm},
};

constexpr PageTab kThreeTabs[] = {
    {Page::kCpu, kIconCpu},
    {Page::kSystem, kIconCase},
    {Page::kMisc, kIconBoard},
};
// The second processor's page comes first under the usual caption.
constexpr PageTab kDualCpuTabs[] = {
    {Page::kCpu2, kIconCpu},
    {Page::kCpu, kIconCpu, "Cpu2 Monitor"},
    {Page::kSystem, kIconCase},
    {Page::kMisc, kIconBoard},
};

constexpr CpuPageFeed kCpuFeed{CPUFAN, CPUTEMP, CPUTEMP, CPUTEMP, VCORE, VIO, kNoChannel};
constexpr CpuPageFeed kNoFeed{kNoChannel, kNoChannel, kNoChannel, kNoChannel,
                              kNoChannel, kNoChannel, kNoChannel};
// The +3.3 V rail (on VN12) takes the I/O readout, with its alarm.
constexpr CpuPageFeed kPositiveRailsCpuFeed{CPUFAN, CPUTEMP, CPUTEMP, CPUTEMP, VCORE, VN12, VN12};
// Two processors: the first one's core is on VCORE2; the second page takes the auxiliary fan
// and the resource temperature, with the first processor's alarm switch and no range flag.
constexpr CpuPageFeed kDualCpuFeed{CPUFAN, CPUTEMP, CPUTEMP, CPUTEMP, VCORE2, VIO, kNoChannel};
constexpr CpuPageFeed kSecondCpuFeed{AUXFAN, RESTEMP, CPUTEMP, kNoChannel, VCORE, VIO, kNoChannel};

constexpr ChannelCaption kAgpOnVcore2[] = {{VCORE2, "Vagp"}};
constexpr ChannelCaption kPositiveRailLabels[] = {{VIO, "Vagp"}, {VN12, "+3.3V"}, {VN5, "Vdimm"}};
constexpr ChannelCaption kPositiveRailRangeNames[] = {{VN5, "Vdimm  Voltage"},
                                                      {VN12, "+3.3V Voltage"}};

// A board the table does not know still beeps for its four main rails.
constexpr BeepRule kRailBeeps[] = {
    {hw::kBeepV5, V5, BeepRule::kEnabled},
    {hw::kBeepV12, V12, BeepRule::kEnabled},
    {hw::kBeepVn12, VN12, BeepRule::kEnabled},
    {hw::kBeepVn5, VN5, BeepRule::kEnabled},
};

// clang-format off
constexpr BoardInfo kBoards[] = {
    {.code = kModelPlain, .what = "nothing board-specific",
     .carries = 0,
     .tabs = kThreeTabs, .cpu = kCpuFeed, .hasCpu2 = false, .cpu2 = kNoFeed,
     .agp = kNoChannel, .miscShowsAgp = false, .systemShowsAuxFan = true,
     .systemShowsVn12 = true, .positiveRails = false, .labels = {}, .cpuIoLabel = nullptr,
     .systemVn5Label = nullptr, .systemVn12Label = nullptr, .rangeDialogNames = {}, .beeps = {}},
    {.code = kModelViaAgp, .what = "VIA boards: VCORE2 is the AGP rail, no negative rails shown",
     .carries = ChipSet({kHmVia686a}),
     .tabs = kThreeTabs, .cpu = kCpuFeed, .hasCpu2 = false, .cpu2 = kNoFeed,
     .agp = VCORE2, .miscShowsAgp = true, .systemShowsAuxFan = true,
     .systemShowsVn12 = true, .positiveRails = false, .labels = kAgpOnVcore2,
     .cpuIoLabel = nullptr, .systemVn5Label = "", .systemVn12Label = "",
     .rangeDialogNames = {}, .beeps = {}},
    {.code = kModelPositiveRails, .what = "VN12 and VN5 carry +3.3 V and Vdimm, VIO the AGP rail",
     .carries = ChipSet({kHmW83781d}),
     .tabs = kThreeTabs, .cpu = kPositiveRailsCpuFeed, .hasCpu2 = false, .cpu2 = kNoFeed,
     .agp = VIO, .miscShowsAgp = true, .systemShowsAuxFan = true,
     .systemShowsVn12 = false, .positiveRails = true, .labels = kPositiveRailLabels,
     .cpuIoLabel = "+3.3V", .systemVn5Label = "Vdimm", .systemVn12Label = nullptr,
     .rangeDialogNames = kPositiveRailRangeNames, .beeps = {}},
    {.code = kModelDualCpu, .what = "two CPUs: a second CPU page",
     .carries = ChipSet({kHmW83782d, kHmW83627hf}),
     .tabs = kDualCpuTabs, .cpu = kDualCpuFeed, .hasCpu2 = true, .cpu2 = kSecondCpuFeed,
     .agp = kNoChannel, .miscShowsAgp = false, .systemShowsAuxFan = false,
     .systemShowsVn12 = true, .positiveRails = false, .labels = {}, .cpuIoLabel = "+3.3V",
     .systemVn5Label = nullptr, .systemVn12Label = nullptr, .rangeDialogNames = {}, .beeps = {}},
    {.code = kModelAgpVdimm, .what = "VCORE2 is the AGP rail, the CPU page's I/O rail is Vdimm",
     .carries = ChipSet({kHmW83782d, kHmW83627hf}),
     .tabs = kThreeTabs, .cpu = kCpuFeed, .hasCpu2 = false, .cpu2 = kNoFeed,
     .agp = VCORE2, .miscShowsAgp = true, .systemShowsAuxFan = true,
     .systemShowsVn12 = true, .positiveRails = false, .labels = kAgpOnVcore2,
     .cpuIoLabel = "Vdimm", .systemVn5Label = nullptr, .systemVn12Label = nullptr,
     .rangeDialogNames = {}, .beeps = {}},
    {.code = kModelOther, .what = "a board not in the table: the voltage beep bits are set",
     .carries = 0,
     .tabs = kThreeTabs, .cpu = kCpuFeed, .hasCpu2 = false, .cpu2 = kNoFeed,
     .agp = kNoChannel, .miscShowsAgp = false, .systemShowsAuxFan = true,
     .systemShowsVn12 = true, .positiveRails = false, .labels = {}, .cpuIoLabel = nullptr,
     .systemVn5Label = nullptr, .systemVn12Label = nullptr, .rangeDialogNames = {},
     .beeps = kRailBeeps},
    {.code = kModelGeneric, .what = "any PC, on the kernel's sensors: never from a board text",
     .carries = ChipSet({kHmKernelSensors}),
     .tabs = kThreeTabs, .cpu = kCpuFeed, .hasCpu2 = false, .cpu2 = kNoFeed,
     .agp = kNoChannel, .miscShowsAgp = false, .systemShowsAuxFan = true,
     .systemShowsVn12 = true, .positiveRails = false, .labels = {}, .cpuIoLabel = nullptr,
     .systemVn5Label = nullptr, .systemVn12Label = nullptr, .rangeDialogNames = {},
     .beeps = {}},
};

// What the pages do with a model number no board has.
constexpr BoardInfo kUnknownBoard{
    .code = kModelNone, .what = "unknown model: the pages as drawn",
     .carries = 0,
    .tabs = kThreeTabs, .cpu = kCpuFeed, .hasCpu2 = false, .cpu2 = kNoFeed,
    .agp = kNoChannel, .miscShowsAgp = true, .systemShowsAuxFan = true,
    .systemShowsVn12 = true, .positiveRails = false, .labels = {}, .cpuIoLabel = nullptr,
    .systemVn5Label = nullptr, .systemVn12Label = nullptr, .rangeDialogNames = {}, .beeps = {}};
// clang-format on

}  // namespace

std::span<const BoardInfo> Boards() {
  return kBoards;
}

std::span<const BoardText> BoardTexts() {
  return kBoardTexts;
}

const BoardInfo* FindBoard(int32_t code) {
  for (const BoardInfo& board : kBoards)
    if (board.code == code) return &board;
  return nullptr;
}

const BoardInfo& BoardFor(int32_t code) {
  const BoardInfo* board = FindBoard(code);
  return board ? *board : kUnknownBoard;
}

}  // namespace velmo::core
