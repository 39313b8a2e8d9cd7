#include "monitor/app/gui/MainWindow.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QStatusBar>

#include "monitor/core/Resources.h"
#include "monitor/display/DialogTemplate.h"
#include "monitor/display/Icons.h"

namespace velmo::app::gui {

CMainWindow::CMainWindow() : sheet_(new CMonitorSheet(this)) {
  // A fixed frame: caption, system menu and close box; no maximize or minimize box, no sizing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromLatin1(core::kFrameCaption));
  setWindowIcon(display::IconOf(core::kIconNormal));
  // The menu bar, the tabs and the status line in the pages' font, so that four tabs fit.
  setFont(display::DialogFont());
  sheet_->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(sheet_);
  BuildMenu();
  FixSize();
}

CMainWindow::~CMainWindow() = default;

void CMainWindow::BuildMenu() {
  for (const core::MenuItem& top : core::MenuResource(core::kMenuFrame)) {
    QMenu* menu = menuBar()->addMenu(QString::fromLatin1(top.text));
    menu->setFont(font());  // a popup is a window of its own and takes no font from the bar
    // The menus keep their separators as the resource has them, leading ones included.
    menu->setSeparatorsCollapsible(false);
    for (const core::MenuItem& item : top.popup) {
      if (item.IsSeparator()) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(QString::fromLatin1(item.text));
      action->setData(item.id);
      const uint32_t id = item.id;
      connect(action, &QAction::triggered, this, [this, id] {
        if (onCommand) onCommand(id);
      });
    }
  }
}

void CMainWindow::FixSize() {
  adjustSize();
  setFixedSize(sizeHint());
}

void CMainWindow::ShowStatusLine(const QString& text) {
  if (!status_) {
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(status_, 1);
  }
  status_->setText(text);
  FixSize();
}

QString CMainWindow::StatusLine() const {
  return status_ ? status_->text() : QString();
}

void CMainWindow::closeEvent(QCloseEvent* event) {
  // The frame decides: it hides the window, or ends the program and lets it go.
  event->ignore();
  if (onClose) onClose();
}

void CMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  sheet_->CatchUp();
}

}  // namespace velmo::app::gui
