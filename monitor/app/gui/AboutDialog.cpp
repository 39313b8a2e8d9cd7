#include "monitor/app/gui/AboutDialog.h"

#include <QLabel>

#include "monitor/core/OemInfo.h"
#include "monitor/core/Resources.h"

namespace velmo::app::gui {
namespace {

using K = ItemKind;
using display::kStaticId;

constexpr int32_t kWidth = 210;
constexpr int32_t kHeight = 124;

// Template 100. The contact lines reach to the box's right margin, so that long values show as
// far as they can.
constexpr DialogItem kTemplate[] = {
    {kStaticId, K::kText, "Velmo Version 3.10", 0, 64, 7, 73, 8},
    {kStaticId, K::kIcon, "", core::kIconWeb, 29, 25, 20, 20},
    {1055, K::kText, "", 0, 64, 31, kWidth - 7 - 64, 9},
    {kStaticId, K::kIcon, "", core::kIconTelephone, 27, 43, 20, 20},
    {1056, K::kText, "", 0, 63, 50, kWidth - 7 - 63, 9},
    {kStaticId, K::kIcon, "", core::kIconMail, 27, 62, 20, 20},
    {1057, K::kText, "", 0, 64, 68, kWidth - 7 - 64, 10},
    {kStaticId, K::kIcon, "", core::kIconNormal, 27, 85, 20, 20},
    {1058, K::kText, "", 0, 64, 90, kWidth - 7 - 64, 8},
    {kIdOk, K::kDefaultButton, "OK", 0, 87, 103, 50, 14},
};

}  // namespace

CAboutDialog::CAboutDialog(const std::string& oemFile, QWidget* parent)
    : QDialog(parent), layout_(*this, kWidth, kHeight) {
  setWindowTitle(QStringLiteral("About Velmo"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  layout_.Create(kTemplate);
  const core::OemInfo info = core::ReadOemInfo(oemFile);
  const struct {
    int32_t id;
    const std::string& text;
  } lines[] = {{kWeb, info.web}, {kTel, info.tel}, {kEmail, info.email}, {kName, info.name}};
  for (const auto& line : lines) {
    auto* label = layout_.ItemAs<QLabel>(line.id);
    label->setWordWrap(false);  // one line each, cut at the box's edge
    label->setText(QString::fromStdString(line.text));
  }
  connect(layout_.ItemAs<QPushButton>(kIdOk), &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDialog::~CAboutDialog() = default;

QString CAboutDialog::Line(int32_t id) const {
  const QLabel* label = layout_.ItemAs<QLabel>(id);
  return label ? label->text() : QString();
}

}  // namespace velmo::app::gui
