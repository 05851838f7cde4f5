#pragma once
// The main window: readout, identification, status indicators, INC/ABS.

#include <QWidget>

#include "connection/identification_labels.h"
#include "core/encoder_state.h"
#include "core/number_format.h"
#include "ui/services.h"

class QLabel;
class QGroupBox;
class QPushButton;
class QTimer;

namespace tarvex {

class Panel;
class Shape;
class TFormNastavitve;

inline constexpr char16_t kApplicationTitle[] = u"Tarvex\u2122 & Qorin Absolute Linear Encoder Demo";
inline constexpr char16_t kMainDesignCaption[] = u"Tarvex\u2122 & Qorin Demo (Serial / USB)";

class TMainForm : public QWidget {
  Q_OBJECT

 public:
  explicit TMainForm(Services& services);
  ~TMainForm() override;

  // Controls, in creation order.
  Shape* shpNicla = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* lblCableDisconnected = nullptr;
  Panel* pHead = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* StaticText1 = nullptr;
  Panel* YPanel = nullptr;
  Panel* pnlAbsPos = nullptr;
  QGroupBox* gbStatus = nullptr;
  Shape* shStatusLed = nullptr;
  Panel* Panel1 = nullptr;
  Panel* Panel2 = nullptr;
  Panel* Panel3 = nullptr;
  Panel* Panel4 = nullptr;
  Panel* Panel5 = nullptr;
  Panel* Panel6 = nullptr;
  Panel* Panel7 = nullptr;
  Panel* Panel8 = nullptr;
  Panel* Panel9 = nullptr;
  Panel* Panel0 = nullptr;
  QLabel* StaticText2 = nullptr;
  QGroupBox* gbVersion = nullptr;
  QLabel* lblResolution = nullptr;
  QLabel* lblSerijska_st = nullptr;
  QLabel* lblFW_verzija = nullptr;
  QLabel* lblOznaka_PN_kode = nullptr;
  QLabel* lblOznaka_asica = nullptr;
  QLabel* lblTipEnkoderja = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* btnZeroing = nullptr;
  QTimer* TimerPosiljaj = nullptr;

  // Status indicator of bit n (Panel0..Panel9).
  Panel* StatusPanel(int n) const;

  // Writes the six identification labels, in the order they are always written.
  void ShowIdentification(const IdentificationLabels& labels);

  // The settings window, set when it is created.
  TFormNastavitve* FormNastavitve = nullptr;

  EncoderState state;
  // Separators of the user's regional settings, re-read when they change.
  FormatSettings formatSettings;

  // Handlers.
  void FormCreate();
  void FormClose();
  void pHeadClick();
  void Image1Click();
  void TimerPosiljajTimer();
  void btnZeroingClick();
  void Risi();

  Services& services() { return services_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Edges dragged within 10 pixels of the work area's edges snap onto them.
  void moveEvent(QMoveEvent* event) override;

 private:
  Services& services_;
  bool snapping_ = false;
};

}  // namespace tarvex
