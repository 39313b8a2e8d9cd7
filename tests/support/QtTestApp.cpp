// One QApplication for every test of this program (the offscreen platform is set by the test
// registration; it is the default here too so the binary runs on its own).
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

// The offscreen platform's complaints about what it cannot do (raise a window, track a tray) say
// nothing about the code under test.
QtMessageHandler defaultHandler = nullptr;
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("This plugin does not support")) ||
      message.contains(QLatin1String("systemTrayWindowChanged")))
    return;
  if (defaultHandler) defaultHandler(type, context, message);
}

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(QuietOffscreen);
    app_ = std::make_unique<QApplication>(argc_, argv_);
    // Windows and dialogs come and go in the tests; none of them ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "velmo_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
