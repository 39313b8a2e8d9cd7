// Cost of the simulated board's bus accesses (register reads through the index/data pair, PCI
// configuration reads, the VIA block) with and without the in-memory trace, and of loading a board.
#include <benchmark/benchmark.h>

#include <string>

#include "sim/SimulatedBoard.h"

namespace {

using velmo::sim::SimulatedBoard;

std::unique_ptr<SimulatedBoard> LoadBoard(const char* name) {
  std::string error;
  auto board = SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/" + name, &error);
  if (!board) std::abort();
  return board;
}

// One register read as the driver back-end does it: index out, data in.
void BM_ChipRegisterRead(benchmark::State& state) {
  auto board = LoadBoard("w83782d.json");
  board->EnableTrace(state.range(0) != 0);
  uint8_t reg = 0x20;
  for (auto _ : state) {
    board->Out(0x295, 1, reg);
    benchmark::DoNotOptimize(board->In(0x296, 1));
    reg = static_cast<uint8_t>(reg == 0x2A ? 0x20 : reg + 1);
    if (board->Trace().size() > 100000) board->ClearTrace();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChipRegisterRead)->Arg(0)->Arg(1)->ArgName("traced");

void BM_PciConfigDwordRead(benchmark::State& state) {
  auto board = LoadBoard("via686a.json");
  for (auto _ : state) {
    board->Out(0xCF8, 4, 0x80003800);
    benchmark::DoNotOptimize(board->In(0xCFC, 4));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PciConfigDwordRead);

void BM_ViaBlockRead(benchmark::State& state) {
  auto board = LoadBoard("via686a.json");
  for (auto _ : state)
    benchmark::DoNotOptimize(board->In(0x6029, 1));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ViaBlockRead);

void BM_LoadDemoBoard(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(LoadBoard("demo.json"));
}
BENCHMARK(BM_LoadDemoBoard);

}  // namespace

BENCHMARK_MAIN();
