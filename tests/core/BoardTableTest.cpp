// Consistency of the board and chip tables: what one row promises, the others and the channel
// table must keep (a page slot fed from a channel the chip lacks, a tab missing, a text that can
// never match, an edit that would be dropped).
#include "monitor/core/boards/BoardTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "monitor/core/ChannelLabels.h"
#include "monitor/core/ChipProfiles.h"
#include "monitor/core/Identification.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/ProfileSelection.h"
#include "monitor/core/boards/BoardAdjustments.h"
#include "monitor/core/boards/ChipTable.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "tests/support/RecordingBus.h"

namespace velmo::core {
namespace {

bool ValidChannel(int32_t item) {
  return item >= 0 && item < kChannelCount;
}

// The channel table as the frame's creation leaves it for a chip on a board (no stored
// settings, no south bridge answering).
MonitorState Prepared(int32_t chip, int32_t model) {
  test::RecordingBus bus;
  test::RecordingHost host;
  hw::DirectBackend backend(bus);
  hw::PortAccess ports(backend, host);
  MonitorState state;
  state.hmType = chip;
  state.mbModel = model;
  SelectChipProfile(state, ports);
  ApplyBoardAdjustments(state);
  return state;
}

std::vector<int32_t> FedChannels(const CpuPageFeed& f) {
  std::vector<int32_t> items;
  for (int32_t item : {f.fan, f.temp, f.tempEnabled, f.tempOutOfRange, f.vcore, f.vio, f.vioAlarm})
    if (item != kNoChannel) items.push_back(item);
  return items;
}

TEST(BoardTable, EveryBoardHasExactlyItsPagesOnce) {
  for (const BoardInfo& board : Boards()) {
    SCOPED_TRACE(board.code);
    std::multiset<Page> pages;
    for (const PageTab& tab : board.tabs)
      pages.insert(tab.page);
    std::multiset<Page> expected = {Page::kCpu, Page::kSystem, Page::kMisc};
    if (board.hasCpu2) expected.insert(Page::kCpu2);
    EXPECT_EQ(pages, expected);
    // The second CPU page needs a feed, and the first tab is what "Open (CPU)" leaves behind.
    EXPECT_EQ(board.hasCpu2, !FedChannels(board.cpu2).empty());
    ASSERT_FALSE(board.tabs.empty());
    EXPECT_EQ(board.tabs.front().page, board.hasCpu2 ? Page::kCpu2 : Page::kCpu);
  }
}

TEST(BoardTable, PageSlotsAreFedFromChannelsTheBoardsChipsHave) {
  for (const BoardInfo& board : Boards()) {
    for (const ChipInfo& chip : Chips()) {
      if (board.carries != 0 && !InChipSet(board.carries, chip.code)) continue;
      // Which channels the kernel's sensors have is the machine's to say.
      if (chip.kernelSensors) continue;
      SCOPED_TRACE(testing::Message() << "board " << board.code << " chip " << chip.code);
      const MonitorState state = Prepared(chip.code, board.code);
      std::vector<int32_t> fed = FedChannels(board.cpu);
      if (board.hasCpu2) {
        const std::vector<int32_t> cpu2 = FedChannels(board.cpu2);
        fed.insert(fed.end(), cpu2.begin(), cpu2.end());
      }
      if (board.agp != kNoChannel) fed.push_back(board.agp);
      for (int32_t item : fed) {
        ASSERT_TRUE(ValidChannel(item)) << item;
        EXPECT_EQ(state[item].present, 1) << ChannelName(item);
      }
      // The Miscellaneous page shows an AGP readout exactly when a channel feeds it.
      EXPECT_EQ(board.miscShowsAgp, board.agp != kNoChannel);
      // A channel that feeds the second CPU page is not shown again on the System page.
      if (board.hasCpu2 && board.cpu2.fan == AUXFAN) {
        EXPECT_FALSE(board.systemShowsAuxFan);
      }
    }
  }
}

TEST(BoardTable, NamesAndBeepRulesNameRealChannelsOnce) {
  for (const BoardInfo& board : Boards()) {
    SCOPED_TRACE(board.code);
    std::set<int32_t> labelled;
    for (const ChannelCaption& c : board.labels) {
      EXPECT_TRUE(ValidChannel(c.item));
      EXPECT_TRUE(labelled.insert(c.item).second) << "two labels for " << c.item;
    }
    for (const ChannelCaption& c : board.rangeDialogNames) {
      EXPECT_TRUE(std::ranges::find(kRangeDialogChannels, c.item) != std::end(kRangeDialogChannels))
          << c.item << " is not in the Alarm Range Setting dialog";
    }
    // Every board's labels together name the fifteen channels apart.
    std::set<std::string> names;
    for (int item = 0; item < kChannelCount; ++item)
      EXPECT_TRUE(names.insert(ChannelLabel(item, board.code)).second) << item;
    for (const ChipInfo& chip : Chips()) {
      if (!chip.hasBeepControl) continue;
      std::set<std::pair<int, int>> bits;
      for (auto rules : {chip.beepsBeforeBoard, board.beeps, chip.beepsAfterBoard}) {
        for (const BeepRule& rule : rules) {
          EXPECT_TRUE(ValidChannel(rule.item));
          EXPECT_TRUE(rule.item2 == kNoChannel || ValidChannel(rule.item2));
          const auto key = std::make_pair(rule.bit.reg.bank * 256 + rule.bit.reg.index,
                                          static_cast<int>(rule.bit.bit));
          EXPECT_TRUE(bits.insert(key).second) << "chip " << chip.code << ": a bit set twice";
        }
      }
    }
  }
}

TEST(BoardTable, EveryTextReachesItsBoardAndEveryBoardButTheUnlistedOneHasAText) {
  std::set<int32_t> reached;
  for (const BoardText& t : BoardTexts()) {
    SCOPED_TRACE(t.text);
    // The BIOS keeps eight characters: a whole text longer or shorter never matches.
    EXPECT_EQ(std::string(t.text).size(), t.match == BoardText::kWhole ? 8u : 7u);
    ASSERT_NE(FindBoard(t.model), nullptr);
    // An earlier test taking the text over would make the row dead.
    const std::string text = t.match == BoardText::kWhole ? t.text : std::string(t.text) + "~";
    EXPECT_EQ(ClassifyBoardText(text), t.model);
    reached.insert(t.model);
  }
  for (const BoardInfo& board : Boards()) {
    // The board of the kernel's sensors is chosen by what answers, never by a text.
    const bool kernels = board.carries == ChipSet({kHmKernelSensors});
    if (board.code != kUnlistedBoardText && !kernels) {
      EXPECT_TRUE(reached.contains(board.code)) << board.code;
    }
    if (kernels) {
      EXPECT_FALSE(reached.contains(board.code));
    }
  }
  EXPECT_FALSE(reached.contains(kUnlistedBoardText));
}

TEST(ChipTable, CodesNamesAndLmSensorsFeaturesAreDistinct) {
  std::set<int32_t> codes;
  std::set<std::string> names;
  for (const ChipInfo& chip : Chips()) {
    SCOPED_TRACE(chip.code);
    EXPECT_TRUE(chip.code > kHmNone && chip.code < 32);  // ChipSet holds it
    EXPECT_TRUE(codes.insert(chip.code).second);
    EXPECT_TRUE(names.insert(chip.sensorsName).second);
    EXPECT_EQ(FindChip(chip.code), &chip);
    // On every board each present channel has its own lm-sensors input.
    for (const BoardInfo& board : Boards()) {
      const MonitorState state = Prepared(chip.code, board.code);
      std::map<std::string, int> owner;
      for (int item = 0; item < kChannelCount; ++item) {
        if (!state[item].present) continue;
        const std::string feature = SensorsFeature(state[item], item, chip.code);
        EXPECT_FALSE(feature.empty()) << "board " << board.code << " " << ChannelName(item);
        const auto [it, fresh] = owner.emplace(feature, item);
        EXPECT_TRUE(fresh) << "board " << board.code << ": " << feature << " for "
                           << ChannelName(it->second) << " and " << ChannelName(item);
      }
    }
  }
}

TEST(BoardAdjustmentsTable, EveryEditLandsOnAFieldItCanChange) {
  auto check = [](const ChannelEdit& e, bool hasScales) {
    ASSERT_TRUE(ValidChannel(e.item));
    switch (e.field) {
      case ChannelEdit::kScaleA:
      case ChannelEdit::kScaleB:
      case ChannelEdit::kScaleC:
        EXPECT_TRUE(hasScales) << "a profile has no voltage scales";
        EXPECT_TRUE(IsVoltage(e.item)) << ChannelName(e.item) << " has no voltage scale";
        if (e.field == ChannelEdit::kScaleB) {
          EXPECT_GT(e.value, 0);
        }
        break;
      case ChannelEdit::kBank:
        EXPECT_TRUE(e.value >= 0 && e.value <= 7);
        break;
      case ChannelEdit::kValueRegister:
      case ChannelEdit::kUpperRegister:
      case ChannelEdit::kLowerRegister:
        EXPECT_TRUE(e.value >= 0 && e.value <= 0xFF);
        break;
      case ChannelEdit::kRangeOf:
        EXPECT_TRUE(ValidChannel(e.value));
        EXPECT_EQ(IsVoltage(e.value), IsVoltage(e.item)) << "a range copied across kinds";
        break;
      case ChannelEdit::kRegistersOf:
        EXPECT_TRUE(ValidChannel(e.value));
        EXPECT_EQ(IsFan(e.value), IsFan(e.item)) << "registers copied across kinds";
        break;
      default:
        break;
    }
  };
  for (const ProfileEditRow& row : ProfileEdits()) {
    EXPECT_NE(row.chips, 0u);
    for (const ChannelEdit& e : row.edits)
      check(e, false);
  }
  for (const AdjustmentRow& row : BoardAdjustments()) {
    EXPECT_NE(row.chips, 0u);
    for (const ChannelEdit& e : row.edits)
      check(e, true);
  }
}

}  // namespace
}  // namespace velmo::core
