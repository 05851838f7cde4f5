// The main window: its layout, the presentation of each poll and the INC/ABS
// button.

#include "ui/main.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "core/protocol.h"
#include "monitor/presentation.h"
#include "monitor/screen_saver.h"
#include "ui/controls.h"
#include "ui/nastavitve.h"
#include "ui/pictures.h"
#include "ui/system_info.h"

namespace tarvex {

namespace {

QString Q(const Text& t) { return QString::fromStdU16String(t); }

const QString kArial = QStringLiteral("Arial");
const QString kMsSansSerif = QStringLiteral("MS Sans Serif");
const QString kHeaderHint = QStringLiteral("Click to change COM port settings");
const QString kFirmwareHint = QStringLiteral("Firmware revision");

QLabel* MakeLabel(QWidget* parent, int left, int top, int width, int height, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(left, top, width, height);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

Panel* MakePanel(QWidget* parent, int left, int top, int width, int height, const QString& caption, TColor color,
                 Bevel bevel) {
  auto* panel = new Panel(parent);
  panel->setGeometry(left, top, width, height);
  panel->setCaption(caption);
  panel->setColor(color);
  panel->setBevel(bevel);
  return panel;
}

// The separators of the user's regional settings.
FormatSettings SystemFormatSettings() {
  const QLocale locale = QLocale::system();
  FormatSettings fs;
  fs.thousandSeparator = locale.groupSeparator().toStdU16String();
  fs.decimalSeparator = locale.decimalPoint().toStdU16String();
  return fs;
}

}  // namespace

TMainForm::TMainForm(Services& services) : QWidget(nullptr), services_(services) {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(Q(kMainDesignCaption));
  setWindowIcon(ApplicationIcon());
  setFont(MakeFont(kMsSansSerif, 11));
  SetBackgroundColor(this, clBtnFace);
  setFixedSize(654, 501);
  move(10, 10);
  formatSettings = SystemFormatSettings();

  // Children stack in creation order, so the yellow frame lies behind the
  // INC/ABS button and Label1 under the header.
  shpNicla = new Shape(ShapeKind::RoundRect, this);
  shpNicla->setGeometry(307, 281, 91, 64);
  shpNicla->setBrushColor(clYellow);
  shpNicla->setVisible(false);

  Label1 = MakeLabel(this, 19, 11, 200, 27, QStringLiteral("Absolute Position"));
  Label1->setFont(MakeFont(kArial, 23, true));
  MarkAutoSize(Label1);

  lblCableDisconnected = MakeLabel(this, 182, 231, 324, 27, QStringLiteral("Encoder Cable Disconnected"));
  lblCableDisconnected->setFont(MakeFont(kArial, 23, true));
  SetTextColor(lblCableDisconnected, clRed);
  MarkAutoSize(lblCableDisconnected);

  pHead = MakePanel(this, 0, 0, 660, 60, QString(), clWhite, Bevel::None);
  SetHint(pHead, kHeaderHint, false);
  connect(pHead, &Panel::clicked, this, &TMainForm::pHeadClick);

  auto* image = new ClickableLabel(pHead);
  Image1 = image;
  Image1->setGeometry(461, 10, 181, 44);
  const QImage logo = LogoImage();
  if (!logo.isNull()) {
    Image1->setPixmap(QPixmap::fromImage(logo));
    Image1->resize(logo.size());  // sized to its picture
  }
  connect(image, &ClickableLabel::clicked, this, &TMainForm::Image1Click);

  auto* staticText1 = new ClickableLabel(QStringLiteral("Tarvex\u2122 absolute linear encoder"), pHead);
  StaticText1 = staticText1;
  StaticText1->setGeometry(23, 16, 405, 34);
  StaticText1->setFont(MakeFont(kArial, 25, true));
  SetHint(StaticText1, kHeaderHint, false);
  connect(staticText1, &ClickableLabel::clicked, this, &TMainForm::pHeadClick);

  YPanel = MakePanel(this, 0, 60, 660, 16, QString(), clAccentOrange, Bevel::None);

  pnlAbsPos = MakePanel(this, 8, 82, 641, 143, QStringLiteral("n/c"), clWhite, Bevel::Lowered);
  pnlAbsPos->setFont(MakeFont(kArial, 67, true));

  gbStatus = new GroupBox(QStringLiteral("Encoder status"), this);
  gbStatus->setGeometry(403, 281, 246, 208);
  gbStatus->setFont(MakeFont(kArial, 13, true));

  shStatusLed = new Shape(ShapeKind::Circle, gbStatus);
  shStatusLed->setGeometry(45, 87, 44, 42);
  shStatusLed->setBrushColor(clGray);
  SetHint(shStatusLed, QStringLiteral("System status LED"), true);

  struct IndicatorDesign {
    Panel** field;
    int left, top;
    const char* caption;
    TColor color;
  };
  const IndicatorDesign indicators[] = {
      {&Panel1, 123, 42, "1-Invalid code", clBtnFace},  {&Panel2, 123, 64, "2-System error", clBtnFace},
      {&Panel3, 123, 87, "3-Power supply", clBtnFace},  {&Panel4, 123, 109, "4-temperature", clBtnFace},
      {&Panel5, 123, 132, "5-signal lost", clBtnFace},  {&Panel6, 123, 154, "6-signal low", clBtnFace},
      {&Panel7, 123, 177, "7-signal high", clBtnFace},  {&Panel8, 13, 154, "8-warning", clStatusOrange},
      {&Panel9, 13, 177, "9-error", clStatusRed},       {&Panel0, 123, 20, "0-Acceleration", clBtnFace},
  };
  for (const IndicatorDesign& d : indicators) {
    *d.field = MakePanel(gbStatus, d.left, d.top, 104, 20, QString::fromLatin1(d.caption), d.color, Bevel::Lowered);
    (*d.field)->setFont(MakeFont(kArial, 13));
  }

  StaticText2 = MakeLabel(gbStatus, 26, 47, 71, 20, QStringLiteral("Status LED"));
  StaticText2->setFont(MakeFont(kArial, 13));
  StaticText2->setAlignment(Qt::AlignRight | Qt::AlignTop);

  gbVersion = new GroupBox(QStringLiteral("Encoder data"), this);
  gbVersion->setGeometry(12, 281, 286, 197);
  gbVersion->setFont(MakeFont(kArial, 13, true));
  new LabelFitLayout(gbVersion);

  lblResolution = MakeLabel(gbVersion, 15, 27, 142, 27, QStringLiteral("Resolution: /"));
  lblResolution->setFont(MakeFont(kArial, 23, true));
  MarkAutoSize(lblResolution);

  struct IdentificationDesign {
    QLabel** field;
    int top, width;
    const char* text;
    bool hasHint;
  };
  const IdentificationDesign identification[] = {
      {&lblSerijska_st, 113, 74, "Serial num.", false},      {&lblFW_verzija, 87, 45, "FW ver", true},
      {&lblOznaka_PN_kode, 138, 68, "Shaft code", false},    {&lblOznaka_asica, 164, 98, "Sensor revision", false},
      {&lblTipEnkoderja, 62, 83, "Encoder type", true},
  };
  for (const IdentificationDesign& d : identification) {
    QLabel* label = MakeLabel(gbVersion, 15, d.top, d.width, 16, QString::fromLatin1(d.text));
    SetBackgroundColor(label, clBtnFace);
    if (d.hasHint) SetHint(label, kFirmwareHint, true);
    MarkAutoSize(label);
    *d.field = label;
  }

  Button1 = new QPushButton(QStringLiteral("Comm setup"), gbVersion);
  Button1->setGeometry(197, 169, 86, 25);
  Button1->setFont(MakeFont(kArial, 13));
  connect(Button1, &QPushButton::clicked, this, &TMainForm::pHeadClick);

  btnZeroing = new QPushButton(QStringLiteral("INC/ABS"), this);
  btnZeroing->setGeometry(313, 287, 78, 51);
  btnZeroing->setFont(MakeFont(kMsSansSerif, 11, true));
  SetHint(btnZeroing, QStringLiteral("Currently in ABSOLUTE mode."), true);
  connect(btnZeroing, &QPushButton::clicked, this, &TMainForm::btnZeroingClick);

  TimerPosiljaj = new QTimer(this);
  TimerPosiljaj->setInterval(100);
  connect(TimerPosiljaj, &QTimer::timeout, this, &TMainForm::TimerPosiljajTimer);

  // Only the two buttons take the focus; Tab moves between them.
  Button1->setFocusPolicy(Qt::StrongFocus);
  btnZeroing->setFocusPolicy(Qt::StrongFocus);
  setTabOrder(Button1, btnZeroing);

  FormCreate();
}

TMainForm::~TMainForm() = default;

Panel* TMainForm::StatusPanel(int n) const {
  Panel* const panels[] = {Panel0, Panel1, Panel2, Panel3, Panel4, Panel5, Panel6, Panel7, Panel8, Panel9};
  return (n >= 0 && n < 10) ? panels[n] : nullptr;
}

void TMainForm::ShowIdentification(const IdentificationLabels& labels) {
  lblTipEnkoderja->setText(Q(labels.tipEnkoderja));
  lblSerijska_st->setText(Q(labels.serijskaSt));
  lblFW_verzija->setText(Q(labels.fwVerzija));
  lblOznaka_asica->setText(Q(labels.oznakaAsica));
  lblOznaka_PN_kode->setText(Q(labels.oznakaPnKode));
  lblResolution->setText(Q(labels.resolution));
}

void TMainForm::FormCreate() {
  const SystemIdentity& id = services_.identity;
  setWindowTitle(Q(BuildCaption(windowTitle().toStdU16String(), id.version, id.computerName, id.userName)));
  state.StevecPaketov = 0;
  state.data_unavailable = true;
  state.Abs_Pozicija_Glavna_old = 0;
  state.Cas_zadnjega_premika = 0;
  state.Nicla = 0;
}

void TMainForm::pHeadClick() {
  if (FormNastavitve != nullptr) FormNastavitve->ShowAndRaise();
}

void TMainForm::Image1Click() { pHeadClick(); }

void TMainForm::Risi() {
  for (int n = 0; n < 10; ++n) StatusPanel(n)->setColor(StatusPanelColor(n, state.Enkoder_Status));
  UpdateConditionFlags(state);
  shStatusLed->setBrushColor(state.barva_LED);
  pnlAbsPos->setCaption(Q(ReadoutText(state, formatSettings)));
  // The wake compares with the old reference, so it runs before the update.
  ScreenSaverWake(state, services_.clock.GetTickCount(), services_.screenSaver);
  UpdateMovementReference(state);
}

void TMainForm::btnZeroingClick() {
  ToggleZero(state);
  shpNicla->setVisible(state.Nicla != 0);
  SetHint(btnZeroing, Q(ZeroingHint(state)), true);
}

void TMainForm::TimerPosiljajTimer() {
  TFormNastavitve* settings = FormNastavitve;
  ByteString reply;
  const std::int32_t r = ReadPosition(services_.ports, *settings, state.ComID, reply);
  if (r != kResultOk) {
    // Link lost: disconnect, then show the lost link over the closed look.
    settings->CloseComPort();
    state.ComID = kInvalidHandleValue;
    pnlAbsPos->setCaption(Q(kTextLinkLost));
    shStatusLed->setBrushColor(clGray);
    Panel9->setColor(clRed);
    lblCableDisconnected->setVisible(true);
    if (!settings->RetryPortOpenTimer->isActive()) settings->RetryPortOpenTimer->start();
    state.data_unavailable = true;
    settings->pnlRxPaketek->setColor(clRed);
    return;
  }

  // A packet that fails its check changes nothing in the state.
  if (ApplyPositionPacket(DecodePositionPacket(reply), state) != 0) {
    settings->pnlRxPaketek->setColor(clAccentOrange);
    pnlAbsPos->setCaption(Q(kTextCommError));
    return;
  }

  Risi();
  settings->pnlRxPaketek->setColor(clLime);
  CountGoodPacket(state, services_.clock.GetTickCount());
  settings->lblFPS->setText(Q(PacketRateText(state, formatSettings)));
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (FormNastavitve != nullptr) FormClose();
  event->accept();
}

void TMainForm::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (snapping_ || screen() == nullptr) return;
  const QRect frame = frameGeometry();
  const QPoint snapped = SnappedPosition(frame, screen()->availableGeometry(), 10);
  if (snapped != frame.topLeft()) {
    snapping_ = true;
    move(snapped);
    snapping_ = false;
  }
}

void TMainForm::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) formatSettings = SystemFormatSettings();
  QWidget::changeEvent(event);
}

}  // namespace tarvex
