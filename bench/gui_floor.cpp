// The toolkit's floor for bench/gui_footprint.py: the least a Qt 6 program of the window host's
// kind does: one icon in the notification area with a menu, and a hidden main window holding a
// tab widget with three pages, built as the window host builds its own. No timer, no hardware.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTabWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("velmo_gui_floor"));

  QMainWindow window;
  auto* tabs = new QTabWidget;
  for (const char* name : {"One", "Two", "Three"})
    tabs->addTab(new QLabel(QString::fromLatin1(name)), QString::fromLatin1(name));
  tabs->setFixedSize(470, 370);
  window.setCentralWidget(tabs);

  QPixmap pixmap(22, 22);
  pixmap.fill(Qt::darkGreen);
  QMenu menu;
  menu.addAction(QStringLiteral("Open"));
  menu.addAction(QStringLiteral("Quit"), &app, &QApplication::quit);
  QSystemTrayIcon tray{QIcon(pixmap)};
  tray.setContextMenu(&menu);
  tray.show();
  return QApplication::exec();
}
