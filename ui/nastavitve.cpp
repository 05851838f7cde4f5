// The port settings window: its layout, where it appears, the refresh rate
// and the disconnected state.

#include "ui/nastavitve.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "connection/identification_labels.h"
#include "monitor/presentation.h"
#include "monitor/refresh_rate.h"
#include "ui/controls.h"
#include "ui/main.h"

namespace tarvex {

namespace {

QString Q(const Text& t) { return QString::fromStdU16String(t); }

QPushButton* MakeButton(QWidget* parent, int left, int top, int width, int height, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(left, top, width, height);
  return button;
}

}  // namespace

TFormNastavitve::TFormNastavitve(TMainForm* mainForm, Services& services)
    : QWidget(mainForm, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint),
      MainForm(mainForm),
      services_(services) {
  setWindowTitle(QStringLiteral("Port Setings"));
  setFont(MakeFont(QStringLiteral("Tahoma"), 11));
  SetBackgroundColor(this, clBtnFace);
  setFixedSize(169, 239);
  // Closing it only hides it; it never ends the program.
  setAttribute(Qt::WA_QuitOnClose, false);
  new LabelFitLayout(this);

  lblFPS = new QLabel(QStringLiteral("FPS"), this);
  lblFPS->setGeometry(15, 133, 18, 13);
  MarkAutoSize(lblFPS);

  btnComOpen = MakeButton(this, 90, 57, 71, 21, QStringLiteral("COM Open"));
  btnComOpen->setEnabled(false);
  SetHint(btnComOpen, QStringLiteral("Open selected communication port"), true);
  connect(btnComOpen, &QPushButton::clicked, this, &TFormNastavitve::btnComOpenClick);

  btnComClose = MakeButton(this, 90, 82, 71, 21, QStringLiteral("COM Close"));
  btnComClose->setEnabled(false);
  SetHint(btnComClose, QStringLiteral("Close selected communication port"), true);
  connect(btnComClose, &QPushButton::clicked, this, &TFormNastavitve::btnComCloseClick);

  comboCOMport = MakeDropDownList(this, 7, 32, 154, 21, {}, -1);
  SetHint(comboCOMport, QStringLiteral("Select port where Tarvex is connected."), true);

  pnlRxPaketek = new Panel(this);
  pnlRxPaketek->setGeometry(90, 107, 71, 21);
  pnlRxPaketek->setCaption(QStringLiteral("RX packet"));
  pnlRxPaketek->setColor(clBtnFace);
  pnlRxPaketek->setBevel(Bevel::Lowered);

  btnComScan = MakeButton(this, 7, 7, 80, 21, QStringLiteral("List ports"));
  connect(btnComScan, &QPushButton::clicked, this, &TFormNastavitve::btnComScanClick);

  comboHitrost = MakeDropDownList(this, 7, 57, 80, 21,
                                  {QStringLiteral("A - 115200"), QStringLiteral("B - 128000"),
                                   QStringLiteral("C - 230400"), QStringLiteral("D - 256000"),
                                   QStringLiteral("E - 500000"), QStringLiteral("F - 1000000")},
                                  2);
  SetHint(comboHitrost, QStringLiteral("Baud rate. Don't care is direct USB connection is used."), true);

  comboRefresh = MakeDropDownList(this, 7, 108, 80, 21,
                                  {QStringLiteral("05 FPS"), QStringLiteral("10 FPS"), QStringLiteral("20 FPS"),
                                   QStringLiteral("50 FPS")},
                                  1);
  // The user's pick only; selecting in code reports nothing.
  connect(comboRefresh, &QComboBox::activated, this, &TFormNastavitve::comboRefreshChange);

  cbRS485echo = new QCheckBox(QStringLiteral("RS485 echo"), this);
  cbRS485echo->setGeometry(87, 133, 81, 17);
  cbRS485echo->setChecked(false);

  rgTipFW = new RadioGroup(QStringLiteral("Firmware type"),
                           {QStringLiteral("Old"), QStringLiteral("46 or lower"), QStringLiteral("48 and newer")},
                           this);
  rgTipFW->setGeometry(8, 158, 153, 75);
  rgTipFW->setItemIndex(2);
  connect(rgTipFW, &RadioGroup::clicked, this, &TFormNastavitve::rgTipFWClick);

  RetryPortOpenTimer = new QTimer(this);
  RetryPortOpenTimer->setInterval(2000);
  connect(RetryPortOpenTimer, &QTimer::timeout, this, &TFormNastavitve::RetryPortOpenTimerTimer);

  setTabOrder(btnComOpen, btnComClose);
  setTabOrder(btnComClose, comboCOMport);
  setTabOrder(comboCOMport, btnComScan);
  setTabOrder(btnComScan, comboHitrost);
  setTabOrder(comboHitrost, comboRefresh);
  setTabOrder(comboRefresh, cbRS485echo);
  setTabOrder(cbRS485echo, rgTipFW);

  MainForm->FormNastavitve = this;
  FormCreate();
}

TFormNastavitve::~TFormNastavitve() = default;

int TFormNastavitve::FirmwareType() const { return rgTipFW->itemIndex(); }

bool TFormNastavitve::Rs485Echo() const { return cbRS485echo->isChecked(); }

void TFormNastavitve::ShowAndRaise() {
  if (!shownBefore_) {
    shownBefore_ = true;
    // Centred over the main window's outer rectangle, kept inside the top
    // left of the work area; afterwards it shows where it was left. The
    // native window is made first so its frame is known where the platform
    // can tell it before the window is mapped.
    winId();
    const QRect main = MainForm->frameGeometry();
    const QRect self = frameGeometry();
    int left = main.left() + (main.width() - self.width()) / 2;
    int top = main.top() + (main.height() - self.height()) / 2;
    if (const QScreen* screen = MainForm->screen()) {
      const QRect work = screen->availableGeometry();
      left = std::max(left, work.left());
      top = std::max(top, work.top());
    }
    move(left, top);
  }
  show();
  raise();
  activateWindow();
}

void TFormNastavitve::closeEvent(QCloseEvent* event) {
  hide();
  event->ignore();
}

void TFormNastavitve::comboRefreshChange() {
  const Text item = comboRefresh->currentText().toStdU16String();
  if (item.size() < 2) return;
  // A running poll goes on at the new period; a stopped one keeps it for later.
  MainForm->TimerPosiljaj->setInterval(RefreshIntervalForItem(item));
  RestartPacketCount(MainForm->state, services_.clock.GetTickCount());
}

void TFormNastavitve::CloseComPort() {
  EncoderState& s = MainForm->state;
  MainForm->TimerPosiljaj->stop();
  if (s.ComID != kInvalidHandleValue) services_.ports.Close(s.ComID);
  s.ComID = kInvalidHandleValue;

  btnComOpen->setEnabled(true);
  btnComClose->setEnabled(false);
  btnComScan->setEnabled(true);
  comboCOMport->setEnabled(true);
  comboHitrost->setEnabled(true);
  pnlRxPaketek->setColor(clWhite);

  MainForm->pnlAbsPos->setCaption(Q(kTextNotConnected));
  MainForm->ShowIdentification(DisconnectedLabels());
  s.data_unavailable = true;
}

}  // namespace tarvex
