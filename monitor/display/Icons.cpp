#include "monitor/display/Icons.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

// The resource is compiled into a static library, so it is registered explicitly (outside any
// namespace, as Q_INIT_RESOURCE requires).
static void InitDisplayResources() {
  Q_INIT_RESOURCE(velmo_display);
}

namespace velmo::display {

QString IconPath(int32_t id) {
  return QStringLiteral(":/velmo/icons/%1.svg").arg(id);
}

QPixmap IconPixmap(int32_t id, int size) {
  static const bool registered = [] {
    InitDisplayResources();
    return true;
  }();
  (void)registered;
  if (size <= 0 || !QFile::exists(IconPath(id))) return QPixmap();
  QSvgRenderer renderer(IconPath(id));
  if (!renderer.isValid()) return QPixmap();
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  return pixmap;
}

QIcon IconOf(int32_t id) {
  QIcon icon;
  for (const int size : {16, 32}) {
    const QPixmap pixmap = IconPixmap(id, size);
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace velmo::display
