// Cost of drawing: one repaint of each monitor page (with its readouts, labels and icons) and of a
// single readout, and a page's whole refresh on a timer tick (recolour, refill, repaint).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "monitor/display/CpuMonitor.h"
#include "monitor/display/LedReadout.h"
#include "monitor/display/SysMonitor.h"
#include "monitor/display/VagpMonitor.h"

namespace {

using namespace velmo::display;

velmo::core::CpuPageSlots CpuSlots() {
  return {.mbModel = 9,
          .alarm = 1,
          .fan = 4687,
          .temp = 47,
          .vcore = 1744,
          .vio = 3296,
          .tempEnabled = 1};
}

velmo::core::SysPageSlots SysSlots() {
  velmo::core::SysPageSlots s;
  s.mbModel = 9;
  s.alarm = 1;
  s.chassisFan = 3013;
  s.auxFan = 2596;
  s.temp = 36;
  s.v5 = 5026;
  s.v12 = 12160;
  s.vn5 = -5024;
  s.vn12 = -12096;
  s.present = {1, 1, 1, 1};
  s.enabled = {1, 1, 1, 1, 1};
  return s;
}

// Paints the widget and its children into an image, as the backing store would.
void Repaint(QWidget& widget, QImage& target) {
  widget.render(&target);
  benchmark::DoNotOptimize(target.constBits());
}

template <typename Page>
void PreparePage(Page& page) {
  page.setAttribute(Qt::WA_DontShowOnScreen);
  page.show();
  page.OnTimer();
}

void BM_RepaintCpuPage(benchmark::State& state) {
  CCpuMonitor page;
  page.SetSlots(CpuSlots());
  PreparePage(page);
  QImage target(page.size(), QImage::Format_RGB32);
  for (auto _ : state)
    Repaint(page, target);
}
BENCHMARK(BM_RepaintCpuPage);

void BM_RepaintSystemPage(benchmark::State& state) {
  CSysMonitor page;
  page.SetSlots(SysSlots());
  PreparePage(page);
  QImage target(page.size(), QImage::Format_RGB32);
  for (auto _ : state)
    Repaint(page, target);
}
BENCHMARK(BM_RepaintSystemPage);

void BM_RepaintMiscPage(benchmark::State& state) {
  CVagpMonitor page;
  page.SetSlots({.mbModel = 2, .alarm = 1, .agp = 1520});
  PreparePage(page);
  QImage target(page.size(), QImage::Format_RGB32);
  for (auto _ : state)
    Repaint(page, target);
}
BENCHMARK(BM_RepaintMiscPage);

// The refresh a timer tick causes: UpdateColors and UpdateValues, then the repaint.
void BM_TickSystemPage(benchmark::State& state) {
  CSysMonitor page;
  page.SetSlots(SysSlots());
  PreparePage(page);
  QImage target(page.size(), QImage::Format_RGB32);
  for (auto _ : state) {
    page.OnTimer();
    Repaint(page, target);
  }
}
BENCHMARK(BM_TickSystemPage);

// One readout the size of a page's temperature readout, with its bar.
void BM_RepaintReadout(benchmark::State& state) {
  QWidget container;
  CLedReadout readout;
  readout.Create(&container, QRect(0, 0, 108, 39), kWsVisible);
  readout.SetFormat("%3d");
  readout.SetDrawUnlit(state.range(0) != 0);
  readout.SetBarHeight(10);
  readout.SetIntValue(47, true, 0, 100);
  QImage target(readout.size(), QImage::Format_RGB32);
  for (auto _ : state)
    Repaint(readout, target);
}
BENCHMARK(BM_RepaintReadout)->Arg(0)->Arg(1)->ArgName("unlit");

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
