// CMonitorPage: what the three monitor pages share: building the controls of a dialog template,
// the one-time dialog initialisation, and the refresh on the host's timer.
#pragma once

#include <QLabel>
#include <QRgb>
#include <QWidget>
#include <cstdint>
#include <map>

#include "monitor/display/DialogTemplate.h"
#include "monitor/display/LedReadout.h"

namespace velmo::display {

// Colours of the pages' readouts.
inline constexpr QRgb kLitGreen = qRgb(0, 250, 0);
inline constexpr QRgb kDarkGreen = qRgb(0, 100, 0);
inline constexpr QRgb kBarBlue = qRgb(0, 0, 150);
inline constexpr QRgb kBlack = qRgb(0, 0, 0);

class CMonitorPage : public QWidget {
  Q_OBJECT

 public:
  CMonitorPage(const DialogTemplate& dialog, QWidget* parent);
  ~CMonitorPage() override;

  // Creates the template's controls and runs the page's own initialisation, once; the first show
  // calls it. Later calls do nothing.
  void InitDialog();
  bool IsInitialised() const { return initialised_; }

  // What the host's timer message does: UpdateColors, then UpdateValues. Nothing happens before
  // the dialog initialisation, which picks up the slots itself.
  void OnTimer();

  const DialogTemplate& Template() const { return dialog_; }
  DialogBaseUnits BaseUnits() const { return units_; }
  // The control with this id, or null (not created yet, or destroyed).
  QWidget* Control(int32_t id) const;
  QLabel* Label(int32_t id) const;
  // The template rectangle of the control with this id, in pixels.
  QRect TemplateRect(int32_t id) const;
  QSize sizeHint() const override;

 protected:
  virtual void OnInitDialog() = 0;
  virtual void UpdateColors() = 0;
  virtual void UpdateValues() = 0;

  void showEvent(QShowEvent* event) override;
  // Creates readout over the placeholder with the given ReadoutStyle bits.
  void PlaceReadout(CLedReadout& readout, int32_t placeholder, uint32_t style);
  void SetLabelText(int32_t id, const QString& text);
  void DestroyControl(int32_t id);

 private:
  void CreateControls();
  QRect PixelRect(const DialogControl& control) const;
  static void FitLabel(QLabel& label, const QRect& templateRect, bool rightAligned);

  const DialogTemplate& dialog_;
  DialogBaseUnits units_;
  std::map<int32_t, QWidget*> controls_;
  bool initialised_ = false;
};

}  // namespace velmo::display
