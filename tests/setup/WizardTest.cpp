// The wizard's pages: captions, texts and button states on a supported and a refused system,
// the installation in step two's first tick, Back repeating it, and Finish with and without
// the monitor's start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <cstdlib>

#include "setup/wizard/KiruSheet.h"
#include "setup/wizard/Page1.h"
#include "setup/wizard/Page2.h"
#include "setup/wizard/Page3.h"
#include "tests/setup/SetupRig.h"

namespace velmo::setup {
namespace {

using Lines = std::vector<std::string>;

class FakePlatform : public PlatformSource {
 public:
  PlatformFacts facts{"x86_64", "6.1.0-18-amd64", "Debian GNU/Linux 12 (bookworm)"};
  PlatformFacts Read() override { return facts; }
};

class FakeLauncher : public Launcher {
 public:
  bool works = true;
  Lines starts;  // "program as uid"
  base::Expected<void> StartDetached(const std::string& program, const UserAccount& user) override {
    starts.push_back(program + " as " + std::to_string(user.uid));
    if (!works) return base::Error{"the program is gone"};
    return {};
  }
};

struct WizardRig {
  FakePlatform platform;
  FakeLauncher launcher;
  test::RecordingSetupHost host;
  int installs = 0;
  std::function<void()> duringInstall;
  WizardServices services{platform,
                          [this] {
                            ++installs;
                            if (duringInstall) duringInstall();
                          },
                          launcher,
                          "/usr/local/bin/velmond",
                          UserAccount{1000, 1000, "alice", "/home/alice"},
                          host,
                          [this](const std::string& why) { reasons.push_back(why); }};
  Lines reasons;
  std::unique_ptr<CKiruSheet> sheet;

  explicit WizardRig(const char* machine = "x86_64") {
    platform.facts.machine = machine;
    sheet = std::make_unique<CKiruSheet>(services);
    sheet->show();
    Settle();
  }
  // Lets posted button states arrive.
  static void Settle() { QCoreApplication::processEvents(); }
  QString Label(const char* id) const { return sheet->findChild<QLabel*>(id)->text(); }
  // "back next finish cancel": each "-" when disabled, "." when hidden.
  std::string Buttons() const {
    std::string state;
    for (QPushButton* b :
         {sheet->BackButton(), sheet->NextButton(), sheet->FinishButton(), sheet->CancelButton()}) {
      if (!state.empty()) state += ' ';
      state += !b->isVisible() ? "." : b->isEnabled() ? b->objectName().toStdString() : "-";
    }
    return state;
  }
  // From step two's entry to the end of its animation, one tick at a time.
  void RunAnimation() {
    while (sheet->Page2().TimerRunning())
      sheet->Page2().OnTimer();
    Settle();
  }
  void ToStepThree() {
    sheet->Next();
    RunAnimation();
    sheet->Next();
    Settle();
  }
};

TEST(Wizard, StepOneNamesASupportedSystemAndOffersNext) {
  WizardRig rig;
  EXPECT_EQ(rig.sheet->windowTitle(), "Velmo Setup Wizard--Step One");
  EXPECT_EQ(rig.Label("1005"),
            "Your Windows is:\n\nDebian GNU/Linux 12 (bookworm)\n6.1.0-18-amd64");
  EXPECT_EQ(rig.Label("1006"), "");
  EXPECT_EQ(rig.sheet->Page1().m_strWindows,
            "Your Windows is:\r\rDebian GNU/Linux 12 (bookworm)\r6.1.0-18-amd64");
  EXPECT_EQ(rig.Buttons(), "- next . cancel");
  const auto labels = rig.sheet->Page1().findChildren<QLabel*>();
  EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                          [](QLabel* l) { return l->text() == "Velmo\nVersion 3.10"; }));
}

TEST(Wizard, StepOneOnAnotherMachineLeavesOnlyCancel) {
  WizardRig rig("aarch64");
  EXPECT_EQ(rig.Label("1005"), "Your Windows is:\n\n");
  EXPECT_EQ(rig.Label("1006"), "This Velmo Version can not\n run under such OS!\nSetup will exit.");
  EXPECT_EQ(rig.Buttons(), "- . - cancel");
  rig.sheet->Next();
  rig.sheet->Finish();
  EXPECT_EQ(rig.sheet->ActiveIndex(), 0);
  QTest::mouseClick(rig.sheet->CancelButton(), Qt::LeftButton);
  EXPECT_FALSE(rig.sheet->isVisible());
  EXPECT_EQ(rig.sheet->result(), QDialog::Rejected);
  EXPECT_EQ(rig.installs, 0);
}

TEST(Wizard, StepOneWithoutKernelReleaseHasNoSecondLine) {
  FakePlatform platform;
  WizardRig rig;
  rig.platform.facts.kernelRelease.clear();
  CKiruSheet sheet(rig.services);
  EXPECT_EQ(sheet.Page1().m_strWindows, "Your Windows is:\r\rDebian GNU/Linux 12 (bookworm)");
}

TEST(Wizard, StepTwoInstallsInItsFirstTickThenAnimatesToNext) {
  WizardRig rig;
  QString statusDuringInstall;
  rig.duringInstall = [&] { statusDuringInstall = rig.Label("1008"); };
  QTest::mouseClick(rig.sheet->NextButton(), Qt::LeftButton);
  CPage2& page = rig.sheet->Page2();
  EXPECT_EQ(rig.sheet->windowTitle(), "Velmo Setup Wizard--Step Two");
  EXPECT_EQ(rig.installs, 0);  // not before the first tick
  EXPECT_EQ(rig.Label("1008"), "");
  EXPECT_EQ(page.Progress()->value(), 5);
  EXPECT_TRUE(page.Progress()->isVisible());
  EXPECT_TRUE(page.TimerRunning());
  rig.Settle();
  EXPECT_EQ(rig.Buttons(), "back - . cancel");

  page.OnTimer();
  EXPECT_EQ(rig.installs, 1);
  EXPECT_EQ(statusDuringInstall, "");  // the status reaches the screen after the work
  EXPECT_EQ(page.m_nTick, 90);
  EXPECT_EQ(page.Progress()->value(), 90);
  EXPECT_EQ(rig.Label("1008"), "Copying files...");
  for (int tick = 91; tick <= 100; ++tick)
    page.OnTimer();
  EXPECT_EQ(page.Progress()->value(), 100);
  EXPECT_TRUE(page.TimerRunning());
  page.OnTimer();
  EXPECT_EQ(page.m_nTick, 101);
  EXPECT_FALSE(page.TimerRunning());
  EXPECT_FALSE(page.Progress()->isVisible());
  EXPECT_EQ(rig.Label("1008"), "Finished.\n\nPlease Continue...");
  rig.Settle();
  EXPECT_EQ(rig.Buttons(), "back next . cancel");
  EXPECT_EQ(rig.installs, 1);
}

TEST(Wizard, StepTwosTimerRunsEveryTenMilliseconds) {
  WizardRig rig;
  rig.sheet->Next();
  rig.Settle();
  ASSERT_FALSE(rig.sheet->NextButton()->isEnabled());
  // 11 ticks of 10 ms: well within five seconds on a loaded machine.
  EXPECT_TRUE(QTest::qWaitFor([&] { return rig.sheet->NextButton()->isEnabled(); }, 5000));
  EXPECT_EQ(rig.installs, 1);
  EXPECT_EQ(rig.sheet->Page2().m_nTick, 101);
}

TEST(Wizard, StepThreeOffersFinishAndBackRepeatsTheInstallation) {
  WizardRig rig;
  rig.ToStepThree();
  EXPECT_EQ(rig.sheet->windowTitle(), "Velmo Setup Wizard--Step Three");
  EXPECT_EQ(rig.Buttons(), "back . finish cancel");
  auto* box = rig.sheet->findChild<QCheckBox*>("1009");
  EXPECT_EQ(box->text(), "Start the Velmo program immediately. ");
  EXPECT_TRUE(box->isChecked());
  const auto labels = rig.sheet->Page3().findChildren<QLabel*>();
  ASSERT_EQ(labels.size(), 1);
  EXPECT_EQ(labels[0]->text(),
            "Velmo setup has completed successfully.\n\nPress the \"Finish\" button to finish.");
  EXPECT_EQ(rig.installs, 1);

  QTest::mouseClick(rig.sheet->BackButton(), Qt::LeftButton);
  EXPECT_EQ(rig.sheet->ActiveIndex(), 1);
  EXPECT_EQ(rig.Label("1008"), "Finished.\n\nPlease Continue...");  // until the first tick
  rig.RunAnimation();
  EXPECT_EQ(rig.installs, 2);
  rig.sheet->Next();
  rig.Settle();
  EXPECT_EQ(rig.sheet->ActiveIndex(), 2);
}

TEST(Wizard, FinishStartsTheInstalledMonitorAsTheUser) {
  WizardRig rig;
  rig.ToStepThree();
  QTest::mouseClick(rig.sheet->FinishButton(), Qt::LeftButton);
  EXPECT_EQ(rig.launcher.starts, Lines{"/usr/local/bin/velmond as 1000"});
  EXPECT_EQ(rig.sheet->result(), QDialog::Accepted);
  EXPECT_FALSE(rig.sheet->isVisible());
}

TEST(Wizard, FinishWithTheBoxClearedStartsNothing) {
  WizardRig rig;
  rig.ToStepThree();
  QTest::mouseClick(rig.sheet->findChild<QCheckBox*>("1009"), Qt::LeftButton);
  QTest::mouseClick(rig.sheet->FinishButton(), Qt::LeftButton);
  EXPECT_EQ(rig.launcher.starts, Lines{});
  EXPECT_EQ(rig.sheet->result(), QDialog::Accepted);
}

TEST(Wizard, LaunchThatFailsKeepsTheWizardOnStepThree) {
  WizardRig rig;
  rig.launcher.works = false;
  rig.ToStepThree();
  rig.sheet->Finish();
  EXPECT_EQ(rig.host.messages, Lines{"There are some Problems!"});
  EXPECT_EQ(rig.reasons, Lines{"the program is gone"});
  EXPECT_TRUE(rig.sheet->isVisible());
  EXPECT_EQ(rig.sheet->ActiveIndex(), 2);
  EXPECT_EQ(rig.Buttons(), "back . finish cancel");
  rig.sheet->Finish();  // may be tried again
  EXPECT_EQ(rig.launcher.starts.size(), 2u);
  QTest::mouseClick(rig.sheet->findChild<QCheckBox*>("1009"), Qt::LeftButton);
  rig.sheet->Finish();
  EXPECT_FALSE(rig.sheet->isVisible());
  EXPECT_EQ(rig.host.messages.size(), 2u);
}

TEST(Wizard, UnknownUserCannotBeStartedFor) {
  WizardRig rig;
  rig.services.user.reset();
  rig.ToStepThree();
  rig.sheet->Finish();
  EXPECT_EQ(rig.host.messages, Lines{"There are some Problems!"});
  EXPECT_EQ(rig.launcher.starts, Lines{});
  EXPECT_TRUE(rig.sheet->isVisible());
}

TEST(Wizard, AnimationLeftWithBackDoesNotChangeStepOnesButtons) {
  WizardRig rig;
  rig.sheet->Next();
  rig.sheet->Page2().OnTimer();  // the installation
  rig.Settle();
  rig.sheet->Back();
  rig.Settle();
  EXPECT_EQ(rig.sheet->ActiveIndex(), 0);
  EXPECT_TRUE(rig.sheet->Page2().TimerRunning());  // it ticks on until it ends by itself
  EXPECT_TRUE(QTest::qWaitFor([&] { return !rig.sheet->Page2().TimerRunning(); }, 5000));
  rig.Settle();
  EXPECT_EQ(rig.Buttons(), "- next . cancel");
  EXPECT_EQ(rig.installs, 1);
}

// Where VELMO_SCREENSHOT_DIR is set, the three pages (and the refusal) are saved as PNG files
// to be looked at; in any case each page must show its text.
TEST(Wizard, PagesRenderTheirTexts) {
  const char* dir = std::getenv("VELMO_SCREENSHOT_DIR");
  auto save = [&](CKiruSheet& sheet, const char* name) {
    const QImage image = sheet.grab().toImage();
    EXPECT_EQ(image.size(), sheet.size() * sheet.devicePixelRatioF());
    // Dark text pixels inside the page area.
    int dark = 0;
    for (int y = 0; y < image.height() * 3 / 4; ++y) {
      for (int x = 0; x < image.width(); ++x)
        dark += qGray(image.pixel(x, y)) < 80 ? 1 : 0;
    }
    EXPECT_GT(dark, 100) << name;
    if (dir) image.save(QDir(dir).filePath(name));
  };
  WizardRig rig;
  save(*rig.sheet, "kiru-step1.png");
  rig.sheet->Next();
  rig.sheet->Page2().OnTimer();
  rig.Settle();
  save(*rig.sheet, "kiru-step2-copying.png");
  rig.RunAnimation();
  save(*rig.sheet, "kiru-step2-finished.png");
  rig.sheet->Next();
  rig.Settle();
  save(*rig.sheet, "kiru-step3.png");
  WizardRig refused("aarch64");
  save(*refused.sheet, "kiru-step1-refused.png");
}

}  // namespace
}  // namespace velmo::setup
