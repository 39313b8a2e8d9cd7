// The About box: the contact lines from the OEM file beside the program, read at each opening.
#include <QMenuBar>
#include <filesystem>
#include <fstream>

#include "monitor/app/gui/AboutDialog.h"
#include "tests/app/GuiRig.h"

namespace velmo::app::gui::test {
namespace {

using D = CAboutDialog;

std::vector<std::string> Lines(D& d) {
  std::vector<std::string> lines;
  for (const int32_t id : {D::kWeb, D::kTel, D::kEmail, D::kName})
    lines.push_back(d.Line(id).toStdString());
  return lines;
}

// Help > About Velmo..., with the box's lines read while it is open.
std::vector<std::string> OpenAbout(GuiRig& rig) {
  std::vector<std::string> lines;
  WhenModal<D>([&lines](D& d) {
    EXPECT_EQ(d.windowTitle(), "About Velmo");
    lines = Lines(d);
    d.accept();
  });
  for (QAction* top : rig.Window().menuBar()->actions())
    for (QAction* a : top->menu()->actions())
      if (a->data().toUInt() == 57664) a->trigger();
  return lines;
}

struct OemFolder {
  // One folder per test process: ctest runs the tests of this file side by side.
  std::filesystem::path dir =
      std::filesystem::path(testing::TempDir()) / ("velmo-about-" + std::to_string(::getpid()));
  OemFolder() {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  ~OemFolder() { std::filesystem::remove_all(dir); }
  std::string Program() const { return (dir / "velmond").string(); }
  void Write(const std::string& text) const { std::ofstream(dir / "velmond.ini") << text; }
};

TEST(About, WithoutTheOemFileEveryLineIsUnknown) {
  OemFolder folder;
  GuiRigOptions options;
  options.programPath = folder.Program();
  GuiRig rig(options);
  EXPECT_EQ(rig.host->OemFile(), (folder.dir / "velmond.ini").string());
  EXPECT_EQ(OpenAbout(rig), (std::vector<std::string>{"Unknown", "Unknown", "Unknown", "Unknown"}));
}

TEST(About, LinesComeFromTheOemFileReadAfreshEachTime) {
  OemFolder folder;
  GuiRigOptions options;
  options.programPath = folder.Program();
  GuiRig rig(options);
  folder.Write(
      "[oem]\r\nweb=www.korvath.example\r\nTEL=+49 30 1234\r\n"
      "Email=support@korvath.example\r\nNAME=Korvath Boards\r\n[Other]\r\nName=no\r\n");
  EXPECT_EQ(OpenAbout(rig),
            (std::vector<std::string>{"www.korvath.example", "+49 30 1234",
                                      "support@korvath.example", "Korvath Boards"}));
  folder.Write("[OEM]\nName=" + std::string(300, 'n') + "\n");
  EXPECT_EQ(OpenAbout(rig),
            (std::vector<std::string>{"Unknown", "Unknown", "Unknown", std::string(259, 'n')}));
}

TEST(About, TextFromTheFileIsShownAsPlainText) {
  OemFolder folder;
  folder.Write("[OEM]\nName=<b>bold</b> &amp;\n");
  D d((folder.dir / "velmond.ini").string());
  const auto* label = d.Layout().ItemAs<QLabel>(D::kName);
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->text(), "<b>bold</b> &amp;");
}

}  // namespace
}  // namespace velmo::app::gui::test
