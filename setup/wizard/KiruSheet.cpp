#include "setup/wizard/KiruSheet.h"

#include <QFrame>
#include <QPointer>
#include <QTimer>
#include <algorithm>

#include "monitor/display/DialogTemplate.h"
#include "setup/wizard/Page1.h"
#include "setup/wizard/Page2.h"
#include "setup/wizard/Page3.h"

namespace velmo::setup {

namespace {

// The sheet's frame around the pages, in dialog units.
constexpr int32_t kMargin = 7;
constexpr int32_t kButtonWidth = 50;
constexpr int32_t kButtonHeight = 14;

}  // namespace

CKiruSheet::CKiruSheet(WizardServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setFont(display::DialogFont());
  const display::DialogBaseUnits units = display::BaseUnitsOf(font());
  auto map = [&](int32_t x, int32_t y, int32_t cx, int32_t cy) {
    return display::MapDialogRect(units, x, y, cx, cy);
  };

  page1_ = new CPage1(this);
  page2_ = new CPage2(this);
  page3_ = new CPage3(this);
  pages_[0] = page1_;
  pages_[1] = page2_;
  pages_[2] = page3_;

  // The page area is as large as the largest page.
  const QPoint origin = map(kMargin, kMargin, 0, 0).topLeft();
  QSize area;
  for (CWizardPage* page : pages_) {
    area = area.expandedTo(page->PageSize());
    page->move(origin);
    page->hide();
  }
  const int32_t lineY = origin.y() + area.height() + map(0, 4, 0, 0).top();
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(origin.x(), lineY, area.width(), 2);

  const QRect button = map(0, 0, kButtonWidth, kButtonHeight);
  const int32_t buttonsY = lineY + map(0, 7, 0, 0).top();
  const int32_t gap = map(kMargin, 0, 0, 0).left();
  const int32_t right = origin.x() + area.width();
  back_ = new QPushButton(QStringLiteral("< &Back"), this);
  next_ = new QPushButton(QStringLiteral("&Next >"), this);
  finish_ = new QPushButton(QStringLiteral("Finish"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  back_->setObjectName(QStringLiteral("back"));
  next_->setObjectName(QStringLiteral("next"));
  finish_->setObjectName(QStringLiteral("finish"));
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->setGeometry(right - button.width(), buttonsY, button.width(), button.height());
  next_->setGeometry(cancel_->x() - gap - button.width(), buttonsY, button.width(),
                     button.height());
  finish_->setGeometry(next_->geometry());
  back_->setGeometry(next_->x() - button.width(), buttonsY, button.width(), button.height());
  finish_->hide();
  for (QPushButton* b : {back_, next_, finish_, cancel_})
    b->setAutoDefault(false);

  connect(back_, &QPushButton::clicked, this, [this] { Back(); });
  connect(next_, &QPushButton::clicked, this, [this] { Next(); });
  connect(finish_, &QPushButton::clicked, this, [this] { Finish(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });

  setFixedSize(right + origin.x(), buttonsY + button.height() + origin.y());
  SetActivePage(0);
}

CKiruSheet::~CKiruSheet() = default;

CWizardPage* CKiruSheet::ActivePage() const {
  return active_ < 0 ? nullptr : pages_[active_];
}

void CKiruSheet::SetWizardButtons(CWizardPage* page, uint32_t flags) {
  // Posted, so a page's handler finishes first; a page that is no longer active (a timer still
  // running after Back) does not change the buttons of another.
  QPointer<CWizardPage> sender(page);
  QTimer::singleShot(0, this, [this, sender, flags] {
    if (sender && sender == ActivePage()) ApplyButtons(flags);
  });
}

void CKiruSheet::ApplyButtons(uint32_t flags) {
  back_->setEnabled((flags & kWizBack) != 0);
  const bool finish = (flags & (kWizFinish | kWizDisabledFinish)) != 0;
  next_->setVisible(!finish);
  finish_->setVisible(finish);
  next_->setEnabled((flags & kWizNext) != 0);
  finish_->setEnabled(finish && !(flags & kWizDisabledFinish));
}

void CKiruSheet::SetActivePage(int index) {
  if (index < 0 || index > 2) return;
  CWizardPage* old = ActivePage();
  CWizardPage* page = pages_[index];
  active_ = index;
  if (!page->Initialised()) {
    page->MarkInitialised();
    page->OnInitDialog();
  }
  page->OnSetActive();
  if (old && old != page) old->hide();
  page->show();
  setWindowTitle(QString::fromUtf8(page->Caption()));
}

void CKiruSheet::Back() {
  if (back_->isEnabled()) SetActivePage(active_ - 1);
}

void CKiruSheet::Next() {
  if (next_->isEnabled() && next_->isVisible()) SetActivePage(active_ + 1);
}

void CKiruSheet::Finish() {
  if (!finish_->isEnabled() || !finish_->isVisible()) return;
  if (ActivePage()->OnWizardFinish()) accept();
}

}  // namespace velmo::setup
