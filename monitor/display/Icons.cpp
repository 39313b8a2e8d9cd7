#include "monitor/display/Icons.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>
#include <map>

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

namespace {

// Draws the artwork at each size asked for, the first time it is asked for: a program that
// never shows a size never pays for drawing it.
class ArtworkIconEngine : public QIconEngine {
 public:
  explicit ArtworkIconEngine(int32_t id) : id_(id) {}
  QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    auto it = drawn_.find(side);
    if (it == drawn_.end()) it = drawn_.emplace(side, IconPixmap(id_, side)).first;
    return it->second;
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
  }
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return QSize(side, side);
  }
  QIconEngine* clone() const override { return new ArtworkIconEngine(*this); }
  bool isNull() override { return !QFile::exists(IconPath(id_)); }

 private:
  int32_t id_;
  std::map<int, QPixmap> drawn_;
};

}  // namespace

QIcon IconOf(int32_t id) {
  IconPixmap(id, 0);  // registers the resources before the first look-up
  return QIcon(new ArtworkIconEngine(id));
}

}  // namespace velmo::display
