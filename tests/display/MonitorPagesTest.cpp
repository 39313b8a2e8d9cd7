#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include "monitor/display/CpuMonitor.h"
#include "monitor/display/PageRenderer.h"
#include "monitor/display/SysMonitor.h"
#include "monitor/display/VagpMonitor.h"
#include "tests/display/PixelSupport.h"

namespace velmo::display {
namespace {

constexpr QRgb kGreen = qRgb(0, 250, 0);
constexpr QRgb kDarkGreenBar = qRgb(0, 100, 0);
constexpr QRgb kBlue = qRgb(0, 0, 150);
constexpr QRgb kCpuGrey = qRgb(180, 180, 180);
constexpr QRgb kCpuRed = qRgb(200, 0, 0);
constexpr QRgb kGrey = qRgb(188, 188, 188);
constexpr QRgb kRed = qRgb(180, 0, 0);
constexpr QRgb kNone = 0;  // no bar to look at

// The colour of a readout's lit segments, seen on the rendered page.
QRgb Segments(const QImage& page, const CLedReadout& r) {
  QRect digits = r.geometry();
  if (r.ShowBar()) digits.setBottom(digits.bottom() - r.BarHeight());
  return test::DominantColour(page, digits, qRgb(0, 0, 0));
}

// The bar's base colour: the top-left pixel of the bar, drawn with the base pen.
QRgb BarBase(const QImage& page, const CLedReadout& r) {
  const QRect g = r.geometry();
  return test::At(page, g.left(), g.bottom() + 1 - r.BarHeight());
}

core::CpuPageSlots CpuSlots() {
  return {.mbModel = 9, .alarm = 1, .fan = 4500, .temp = 45, .vcore = 1750, .vio = 3300};
}

core::SysPageSlots SysSlots() {
  core::SysPageSlots s;
  s.mbModel = 9;
  s.alarm = 1;
  s.chassisFan = 3000;
  s.auxFan = 2500;
  s.temp = 38;
  s.v5 = 5026;
  s.v12 = 12160;
  s.vn5 = -5024;
  s.vn12 = -12096;
  s.present = {1, 1, 1, 1};
  s.enabled = {1, 1, 1, 1, 1};
  return s;
}

TEST(CpuMonitorColours, FollowTheAlarmSwitchAndTheTemperatureAndRailAlarms) {
  struct Row {
    const char* name;
    int32_t model, alarm, tempEnabled, tempOut, vioEnabled, vioOut;
    QRgb temp, tempBar, io, fanAndCore;
  };
  const Row rows[] = {
      {"alarm switch off", 9, 0, 1, 1, 0, 0, kCpuGrey, kBlue, kCpuGrey, kCpuGrey},
      {"in range", 9, 1, 1, 0, 0, 0, kGreen, kDarkGreenBar, kGreen, kGreen},
      {"temperature out of range", 9, 1, 1, 1, 0, 0, kCpuRed, kCpuRed, kGreen, kGreen},
      {"temperature alarm disabled", 9, 1, 0, 1, 0, 0, kCpuGrey, kBlue, kGreen, kGreen},
      {"model 3 rail out of range", 3, 1, 1, 0, 1, 1, kGreen, kDarkGreenBar, kCpuRed, kGreen},
      {"model 3 rail alarm disabled", 3, 1, 1, 0, 0, 1, kGreen, kDarkGreenBar, kGreen, kGreen},
      {"rail alarms only on model 3", 5, 1, 1, 0, 1, 1, kGreen, kDarkGreenBar, kGreen, kGreen},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CCpuMonitor page;
    core::CpuPageSlots s = CpuSlots();
    s.mbModel = row.model;
    s.alarm = row.alarm;
    s.tempEnabled = row.tempEnabled;
    s.tempOutOfRange = row.tempOut;
    s.vioEnabled = row.vioEnabled;
    s.vioOutOfRange = row.vioOut;
    page.SetSlots(s);
    const QImage image = RenderPage(page);
    for (const auto r : {CCpuMonitor::kTempC, CCpuMonitor::kTempF}) {
      EXPECT_EQ(Segments(image, page.ReadoutAt(r)), row.temp | 0xFF000000u);
      EXPECT_EQ(BarBase(image, page.ReadoutAt(r)), row.tempBar | 0xFF000000u);
    }
    EXPECT_EQ(Segments(image, page.ReadoutAt(CCpuMonitor::kIoVoltage)), row.io | 0xFF000000u);
    EXPECT_EQ(Segments(image, page.ReadoutAt(CCpuMonitor::kFan)), row.fanAndCore | 0xFF000000u);
    EXPECT_EQ(Segments(image, page.ReadoutAt(CCpuMonitor::kCoreVoltage)),
              row.fanAndCore | 0xFF000000u);
  }
}

TEST(SysMonitorColours, FollowTheAlarmSwitchAndEachAlarm) {
  struct Row {
    const char* name;
    int32_t alarm, tempEnabled, tempOut, v5Enabled, v12Out, vn5Out;
    QRgb fans, temp, tempBar, v5, v12, vn5;
  };
  const Row rows[] = {
      {"alarm switch off", 0, 1, 1, 1, 1, 1, kGrey, kGrey, kBlue, kGrey, kGrey, kGrey},
      {"all in range", 1, 1, 0, 1, 0, 0, kGreen, kGreen, kDarkGreenBar, kGreen, kGreen, kGreen},
      {"temperature and rails out", 1, 1, 1, 1, 1, 1, kGreen, kRed, kRed, kGreen, kRed, kRed},
      {"alarms disabled", 1, 0, 1, 0, 0, 0, kGreen, kGrey, kBlue, kGrey, kGreen, kGreen},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CSysMonitor page;
    core::SysPageSlots s = SysSlots();
    s.alarm = row.alarm;
    s.enabled.temp = row.tempEnabled;
    s.outOfRange.temp = row.tempOut;
    s.enabled.v5 = row.v5Enabled;
    s.outOfRange.v12 = row.v12Out;
    s.outOfRange.vn5 = row.vn5Out;
    page.SetSlots(s);
    const QImage image = RenderPage(page);
    const auto seg = [&](CSysMonitor::Readout r) { return Segments(image, page.ReadoutAt(r)); };
    EXPECT_EQ(seg(CSysMonitor::kChassisFan), row.fans | 0xFF000000u);
    EXPECT_EQ(seg(CSysMonitor::kAuxFan), row.fans | 0xFF000000u);
    EXPECT_EQ(seg(CSysMonitor::kTempC), row.temp | 0xFF000000u);
    EXPECT_EQ(seg(CSysMonitor::kTempF), row.temp | 0xFF000000u);
    EXPECT_EQ(BarBase(image, page.ReadoutAt(CSysMonitor::kTempF)), row.tempBar | 0xFF000000u);
    EXPECT_EQ(seg(CSysMonitor::kV5), row.v5 | 0xFF000000u);
    EXPECT_EQ(seg(CSysMonitor::kV12), row.v12 | 0xFF000000u);
    EXPECT_EQ(seg(CSysMonitor::kVn5), row.vn5 | 0xFF000000u);
  }
}

TEST(VagpMonitorColours, AgpVoltageFollowsTheAlarmSwitchAndTheClockKeepsItsOwn) {
  for (const int32_t alarm : {1, 0}) {
    CVagpMonitor page;
    page.SetSlots({.mbModel = 2, .alarm = alarm, .agp = 1520});
    page.SetClock([] { return std::time_t{45296}; });
    const QImage image = RenderPage(page);
    EXPECT_EQ(Segments(image, page.AgpReadout()), (alarm ? kGreen : kGrey) | 0xFF000000u);
    const QRect client = page.ClockReadout().ClientRect().translated(page.ClockReadout().pos());
    EXPECT_EQ(test::DominantColour(image, client, qRgb(0, 100, 100)), qRgb(255, 255, 255));
    EXPECT_EQ(test::At(image, client.left(), client.top()), qRgb(0, 100, 100));
  }
}

TEST(MonitorPageLabels, DependOnTheBoardModelAndTheRailsPresent) {
  struct Row {
    int32_t model, vn5Present, vn12Present;
    const char *cpuIo, *sysVn5, *sysVn12, *agp;
    bool vn5Readout, vn12Readout, agpReadout;
  };
  const Row rows[] = {
      {1, 1, 1, "Vio (V)", "-5V", "-12V", "", true, true, false},
      {2, 1, 1, "Vio (V)", "", "", "Vagp(V)", true, true, true},
      {2, 0, 0, "Vio (V)", "", "", "Vagp(V)", false, false, true},
      {3, 1, 1, "+3.3V", "Vdimm", "", "Vagp(V)", true, false, true},
      {4, 1, 1, "+3.3V", "-5V", "-12V", "", true, true, false},
      {5, 1, 1, "Vdimm", "-5V", "-12V", "Vagp(V)", true, true, true},
      {9, 0, 1, "Vio (V)", "", "-12V", "", false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.model);
    CCpuMonitor cpu;
    core::CpuPageSlots c = CpuSlots();
    c.mbModel = row.model;
    cpu.SetSlots(c);
    cpu.InitDialog();
    EXPECT_EQ(cpu.Label(CCpuMonitor::kIoLabel)->text().toStdString(), row.cpuIo);

    CSysMonitor sys;
    core::SysPageSlots s = SysSlots();
    s.mbModel = row.model;
    s.present.vn5 = row.vn5Present;
    s.present.vn12 = row.vn12Present;
    sys.SetSlots(s);
    const QImage image = RenderPage(sys);
    EXPECT_EQ(sys.Label(CSysMonitor::kVn5Label)->text().toStdString(), row.sysVn5);
    EXPECT_EQ(sys.Label(CSysMonitor::kVn12Label)->text().toStdString(), row.sysVn12);
    EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kVn5).IsCreated(), row.vn5Readout);
    EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kVn12).IsCreated(), row.vn12Readout);
    if (!row.vn12Readout) {
      // The -12 V placeholder area shows the page, no readout.
      const QRect area = sys.TemplateRect(CSysMonitor::kVn12Holder);
      EXPECT_EQ(test::CountColour(image, area, qRgb(0, 0, 0)), 0);
    }

    CVagpMonitor misc;
    misc.SetSlots({.mbModel = row.model, .alarm = 1, .agp = 1500});
    misc.InitDialog();
    EXPECT_EQ(misc.Label(CVagpMonitor::kAgpLabel)->text().toStdString(), row.agp);
    EXPECT_EQ(misc.HasAgpVoltage(), row.agpReadout);
    EXPECT_EQ(misc.AgpReadout().IsCreated(), row.agpReadout);
    EXPECT_EQ(misc.Control(CVagpMonitor::kAgpIcon) != nullptr, row.agpReadout);
  }
}

TEST(MonitorPageValues, TemperaturesClampToTheScalesAndVoltagesShowVolts) {
  struct Row {
    int32_t temp;
    const char *celsius, *fahrenheit;
  };
  const Row rows[] = {
      {45, " 45", "113"}, {105, "100", "212"}, {-3, "  0", " 32"}, {-40, "  0", " 32"}};
  for (const Row& row : rows) {
    CCpuMonitor page;
    core::CpuPageSlots s = CpuSlots();
    s.temp = row.temp;
    page.SetSlots(s);
    page.InitDialog();
    EXPECT_EQ(page.ReadoutAt(CCpuMonitor::kTempC).Text(), row.celsius) << row.temp;
    EXPECT_EQ(page.ReadoutAt(CCpuMonitor::kTempF).Text(), row.fahrenheit) << row.temp;
  }
  CCpuMonitor cpu;
  cpu.SetSlots(CpuSlots());
  cpu.InitDialog();
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kFan).Text(), "4500");
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kCoreVoltage).Text(), "1.75");
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kIoVoltage).Text(), "3.30");

  CSysMonitor sys;
  sys.SetSlots(SysSlots());
  sys.InitDialog();
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kV5).Text(), "5.026");
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kVn12).Text(), "-12.096");
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kAuxFan).Text(), "2500");
}

TEST(MonitorPageValues, FullBarsAtTheTopOfTheScale) {
  CCpuMonitor page;
  core::CpuPageSlots s = CpuSlots();
  s.temp = 105;
  page.SetSlots(s);
  const QImage image = RenderPage(page);
  for (const auto r : {CCpuMonitor::kTempC, CCpuMonitor::kTempF}) {
    const CLedReadout& readout = page.ReadoutAt(r);
    const QRect g = readout.geometry();
    const QRgb face = readout.palette().color(QPalette::Button).rgb();
    // Row T + 4 of the bar is fill all the way when the bar spans the strip.
    EXPECT_EQ(test::CountColour(image, QRect(g.left() + 1, g.bottom() - 5, g.width() - 2, 1), face),
              0);
  }
}

TEST(MonitorPageValues, BoardModel4ShowsNoAuxiliaryFan) {
  CSysMonitor page;
  core::SysPageSlots s = SysSlots();
  s.mbModel = 4;
  s.auxFan = 1234;
  page.SetSlots(s);
  page.InitDialog();
  EXPECT_EQ(page.ReadoutAt(CSysMonitor::kAuxFan).Text(), "   0");
}

TEST(MonitorPageValues, SlotsWithoutAReadingShowDashesAndEmptyBars) {
  CCpuMonitor cpu;
  core::CpuPageSlots c = CpuSlots();
  c.fan = core::kNoValue;
  c.temp = core::kNoValue;
  c.vio = core::kNoValue;
  cpu.SetSlots(c);
  const QImage image = RenderPage(cpu);
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kFan).Text(), "----");
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kTempC).Text(), "---");
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kTempF).Text(), "---");
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kCoreVoltage).Text(), "1.75");  // the others as ever
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kIoVoltage).Text(), "-.--");
  for (const auto r : {CCpuMonitor::kTempC, CCpuMonitor::kTempF}) {
    const CLedReadout& readout = cpu.ReadoutAt(r);
    const QRect g = readout.geometry();
    // Row T + 4 of the bar is the face colour across: nothing filled.
    const QRect row(g.left() + 1, g.bottom() - 5, g.width() - 2, 1);
    const QRgb face = readout.palette().color(QPalette::Button).rgb();
    EXPECT_EQ(test::CountColour(image, row, face), row.width()) << r;
  }

  CSysMonitor sys;
  core::SysPageSlots s = SysSlots();
  s.chassisFan = core::kNoValue;
  s.temp = core::kNoValue;
  s.v12 = core::kNoValue;
  s.vn12 = core::kNoValue;
  sys.SetSlots(s);
  sys.InitDialog();
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kChassisFan).Text(), "----");
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kAuxFan).Text(), "2500");
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kTempC).Text(), "---");
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kTempF).Text(), "---");
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kV5).Text(), "5.026");
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kV12).Text(), "-.---");
  EXPECT_EQ(sys.ReadoutAt(CSysMonitor::kVn12).Text(), "-.---");

  CVagpMonitor misc;
  misc.SetSlots({.mbModel = 5, .alarm = 1, .agp = core::kNoValue});
  misc.InitDialog();
  ASSERT_TRUE(misc.HasAgpVoltage());
  EXPECT_EQ(misc.AgpReadout().Text(), "-.--");

  // A reading that comes back shows as usual.
  c.temp = 45;
  cpu.SetSlots(c);
  cpu.OnTimer();
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kTempC).Text(), " 45");
  EXPECT_EQ(cpu.ReadoutAt(CCpuMonitor::kTempF).Text(), "113");
}

TEST(MonitorPageRefresh, PagesDrawFromTheirSlotsOnlyWhenTheTimerArrives) {
  CCpuMonitor page;
  page.SetSlots(CpuSlots());
  page.OnTimer();  // no window yet: nothing happens
  EXPECT_FALSE(page.ReadoutAt(CCpuMonitor::kFan).IsCreated());
  page.show();  // the first show is the dialog initialisation
  EXPECT_TRUE(page.IsInitialised());
  EXPECT_EQ(page.ReadoutAt(CCpuMonitor::kFan).Text(), "4500");
  core::CpuPageSlots next = CpuSlots();
  next.fan = 3999;
  next.alarm = 0;
  page.SetSlots(next);
  EXPECT_EQ(page.ReadoutAt(CCpuMonitor::kFan).Text(), "4500");
  page.OnTimer();
  EXPECT_EQ(page.ReadoutAt(CCpuMonitor::kFan).Text(), "3999");
  EXPECT_EQ(page.ReadoutAt(CCpuMonitor::kFan).SegmentColor(), QColor(kCpuGrey));
}

TEST(MonitorPageLayout, ControlsSitAtTheTemplateRectanglesInDialogUnits) {
  const CCpuMonitor page;
  const DialogBaseUnits units = page.BaseUnits();
  // The dialog font must give MS Sans Serif 8's cell for the templates to fit.
  EXPECT_EQ(units.x, 6);
  EXPECT_EQ(units.y, 13);
  EXPECT_EQ(page.TemplateRect(CCpuMonitor::kTempCHolder), QRect(101, 102, 108, 39));
  EXPECT_EQ(page.sizeHint(), QSize(405, 245));
  EXPECT_EQ(MulDiv(7, 13, 8), 11);    // 11.375
  EXPECT_EQ(MulDiv(-3, 13, 2), -20);  // halves away from zero
}

TEST(PageRenderer, WritesOnePngPerPageAndTheSecondCpuPageOnModel4) {
  QTemporaryDir dir;
  core::PageSlots s;
  s.cpu = CpuSlots();
  s.system = SysSlots();
  s.misc = {.mbModel = 9, .alarm = 1, .agp = 0};
  QString error;
  EXPECT_EQ(RenderPages(s, dir.path(), {}, &error).size(), 3);
  s.cpu.mbModel = 4;
  const QStringList files = RenderPages(s, dir.filePath("four"), {.clockTime = 0}, &error);
  ASSERT_EQ(files.size(), 4) << error.toStdString();
  EXPECT_TRUE(files[1].endsWith("cpu2.png"));
  const QImage cpu(files[0]);
  EXPECT_EQ(cpu.size(), QSize(405, 245));
}

}  // namespace
}  // namespace velmo::display
