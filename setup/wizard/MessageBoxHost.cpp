#include "setup/wizard/MessageBoxHost.h"

#include <QApplication>
#include <QMessageBox>

namespace velmo::setup {

namespace {

void Show(QMessageBox::Icon icon, const std::string& text) {
  QMessageBox box(icon, QString::fromUtf8(kSetupTitle), QString::fromStdString(text),
                  QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

}  // namespace

void MessageBoxHost::ShowMessage(const std::string& text) {
  Show(QMessageBox::NoIcon, text);
}

void MessageBoxHost::ShowNotice(const std::string& text) {
  Show(QMessageBox::Information, text);
}

}  // namespace velmo::setup
