// What the monitor knows of each board model, one row per model: the BIOS texts that name it, its
// pages and which channel feeds which page slot, its labels, the rails its pages show and its own
// beep bits. Code elsewhere asks this table; it does not test board models.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "monitor/core/FrameHost.h"
#include "monitor/core/boards/BoardAdjustments.h"
#include "monitor/core/boards/ChipTable.h"

namespace velmo::core {

// One test of the board text; the tests run in table order and the first that holds decides.
struct BoardText {
  enum Match : uint8_t { kWhole, kFirstSeven };
  Match match;
  const char* text;
  int32_t model;
};

// One tab of the property sheet: its page, image and text when that is not the page's caption.
struct PageTab {
  Page page;
  int32_t icon;
  const char* text = nullptr;
};

// The channels a CPU page's slots are copied from; kNoChannel leaves a slot as it is.
struct CpuPageFeed {
  int32_t fan;
  int32_t temp;
  int32_t tempEnabled;
  int32_t tempOutOfRange;
  int32_t vcore;
  int32_t vio;
  int32_t vioAlarm;  // the I/O readout's enabled and out-of-range flags
};

// A channel's name where the board gives it another one.
struct ChannelCaption {
  int32_t item;
  const char* name;
};

// The channels of the Alarm Range Setting dialog, in its order.
inline constexpr int32_t kRangeDialogChannels[6] = {CPUTEMP, SYSTEMP, V5, V12, VN5, VN12};

struct BoardInfo {
  int32_t code;      // MBModel
  const char* what;  // one line for people
  uint32_t carries;  // the chips its adjustments are written for (ChipSet); 0: any chip
  std::span<const PageTab> tabs;
  CpuPageFeed cpu;
  bool hasCpu2;  // a second CPU page, fed from cpu2
  CpuPageFeed cpu2;
  int32_t agp;             // the Miscellaneous page's AGP slot; kNoChannel: not written
  bool miscShowsAgp;       // the Miscellaneous page has the AGP readout
  bool systemShowsAuxFan;  // false: the System page shows 0 for the auxiliary fan
  bool systemShowsVn12;    // the System page may show the -12 V rail (when present)
  bool positiveRails;      // VN12 and VN5 carry positive rails (+3.3 V and Vdimm)
  std::span<const ChannelCaption> labels;  // ChannelLabel, where not the usual one
  const char* cpuIoLabel;                  // the CPU page's I/O label; nullptr keeps "Vio (V)"
  const char* systemVn5Label;              // the System page's -5 V label; nullptr keeps it
  const char* systemVn12Label;             // the System page's -12 V label; nullptr keeps it
  std::span<const ChannelCaption> rangeDialogNames;  // Alarm Range Setting's list, where renamed
  std::span<const BeepRule> beeps;                   // beep bits the board sets besides the chip's
};

// Every board model that identification gives, in code order.
std::span<const BoardInfo> Boards();
// The tests that turn a board text into a board model.
std::span<const BoardText> BoardTexts();
// The board model for any other text.
inline constexpr int32_t kUnlistedBoardText = kModelOther;
// The row of a board model; nullptr for 0 (not identified) and unknown codes.
const BoardInfo* FindBoard(int32_t code);
// The row of a board model, or for unknown codes (a page file may carry any) a row that changes
// nothing on the pages: three tabs, the usual feeds and labels, the AGP readout shown.
const BoardInfo& BoardFor(int32_t code);

// Whether the chip and board codes are both identified.
inline bool IsIdentified(int32_t hmType, int32_t mbModel) {
  return FindChip(hmType) != nullptr && FindBoard(mbModel) != nullptr;
}

}  // namespace velmo::core
