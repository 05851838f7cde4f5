// The main window: its handlers, the presentation of each poll and the
// INC/ABS button.

#include "forms/main.h"

#include "core/protocol.h"
#include "forms/nastavitve.h"
#include "monitor/presentation.h"
#include "monitor/screen_saver.h"
#include "ui/system_info.h"

namespace tarvex {

namespace {

// The readout, the indicators and the LED tell assistive technology what they
// show; each only when what it shows changes, as polls mostly change nothing.
void NameReadout(forms::Panel& readout, const Text& text) {
  // Its value is the caption itself (the toolkit's panel reports it).
  readout.setAccessibleName(u"Position: " + text);
}

// An indicator is grey while its bit is clear and coloured while it is set;
// the button face it starts with tells neither.
void NameIndicator(forms::Panel& indicator) {
  const TColor c = indicator.color();
  indicator.setAccessibleName(c == clBtnFace ? indicator.caption()
                                             : indicator.caption() + (c == clGray ? u": clear" : u": set"));
}

void ShowIndicator(forms::Panel& indicator, TColor color) {
  if (indicator.color() == color) return;
  indicator.setColor(color);
  NameIndicator(indicator);
}

const char16_t* LedState(TColor color) {
  switch (color) {
    case clLedOk: return u"data valid, performance normal";
    case clLedDegraded: return u"data valid, performance degraded";
    case clRed: return u"data unavailable, performance normal";
    case clBlack: return u"data unavailable, performance degraded";
    default: return u"no data";  // grey: not connected, or the link lost
  }
}

void NameLed(forms::Shape& led) { led.setAccessibleName(Text(u"Status LED: ") + LedState(led.brushColor())); }

void ShowLed(forms::Shape& led, TColor color) {
  if (led.brushColor() == color) return;
  led.setBrushColor(color);
  NameLed(led);
}

}  // namespace

TMainForm::TMainForm(Services& services) : services_(services) {
  form_ = services.toolkit.Realise(forms::MainFormDesign(), *this, nullptr);
  forms::RealisedForm& f = *form_;
  f.bind("shpNicla", shpNicla);
  f.bind("Label1", Label1);
  f.bind("lblCableDisconnected", lblCableDisconnected);
  f.bind("pHead", pHead);
  f.bind("Image1", Image1);
  f.bind("StaticText1", StaticText1);
  f.bind("YPanel", YPanel);
  f.bind("pnlAbsPos", pnlAbsPos);
  f.bind("gbStatus", gbStatus);
  f.bind("shStatusLed", shStatusLed);
  f.bind("Panel1", Panel1);
  f.bind("Panel2", Panel2);
  f.bind("Panel3", Panel3);
  f.bind("Panel4", Panel4);
  f.bind("Panel5", Panel5);
  f.bind("Panel6", Panel6);
  f.bind("Panel7", Panel7);
  f.bind("Panel8", Panel8);
  f.bind("Panel9", Panel9);
  f.bind("Panel0", Panel0);
  f.bind("StaticText2", StaticText2);
  f.bind("gbVersion", gbVersion);
  f.bind("lblResolution", lblResolution);
  f.bind("lblSerijska_st", lblSerijska_st);
  f.bind("lblFW_verzija", lblFW_verzija);
  f.bind("lblOznaka_PN_kode", lblOznaka_PN_kode);
  f.bind("lblOznaka_asica", lblOznaka_asica);
  f.bind("lblTipEnkoderja", lblTipEnkoderja);
  f.bind("Button1", Button1);
  f.bind("btnZeroing", btnZeroing);
  f.bind("TimerPosiljaj", TimerPosiljaj);
  formatSettings = services.toolkit.RegionalFormat();

  FormCreate();
  if (forms::MainFormDesign().visible) window().show();
}

TMainForm::~TMainForm() {
  // The settings window belongs to this one and goes first.
  delete FormNastavitve;
  FormNastavitve = nullptr;
}

void TMainForm::Handle(std::string_view handler) {
  if (handler == "FormCreate") FormCreate();
  else if (handler == "FormClose") FormClose();
  else if (handler == "pHeadClick") pHeadClick();
  else if (handler == "Image1Click") Image1Click();
  else if (handler == "TimerPosiljajTimer") TimerPosiljajTimer();
  else if (handler == "btnZeroingClick") btnZeroingClick();
  else if (handler == "RegionalSettingsChange") formatSettings = services_.toolkit.RegionalFormat();
}

forms::Panel* TMainForm::StatusPanel(int n) const {
  forms::Panel* const panels[] = {Panel0, Panel1, Panel2, Panel3, Panel4, Panel5, Panel6, Panel7, Panel8, Panel9};
  return (n >= 0 && n < 10) ? panels[n] : nullptr;
}

void TMainForm::ShowIdentification(const IdentificationLabels& labels) {
  lblTipEnkoderja->setText(labels.tipEnkoderja);
  lblSerijska_st->setText(labels.serijskaSt);
  lblFW_verzija->setText(labels.fwVerzija);
  lblOznaka_asica->setText(labels.oznakaAsica);
  lblOznaka_PN_kode->setText(labels.oznakaPnKode);
  lblResolution->setText(labels.resolution);
}

void TMainForm::FormCreate() {
  const SystemIdentity& id = services_.identity;
  window().setCaption(BuildCaption(window().caption(), id.version, id.computerName, id.userName));
  state.StevecPaketov = 0;
  state.data_unavailable = true;
  state.Abs_Pozicija_Glavna_old = 0;
  state.Cas_zadnjega_premika = 0;
  state.Nicla = 0;
  NameReadout(*pnlAbsPos, pnlAbsPos->caption());
  for (int n = 0; n < 10; ++n) NameIndicator(*StatusPanel(n));
  NameLed(*shStatusLed);
}

// Compared with what is shown, so a caption the settings window wrote is
// replaced too.
void TMainForm::ShowReadoutText(const Text& text) {
  if (pnlAbsPos->showsCaption(text)) return;
  pnlAbsPos->setCaption(text);
  NameReadout(*pnlAbsPos, text);
}

void TMainForm::pHeadClick() {
  if (FormNastavitve != nullptr) FormNastavitve->ShowAndRaise();
}

void TMainForm::Image1Click() { pHeadClick(); }

void TMainForm::Risi() {
  for (int n = 0; n < 10; ++n) ShowIndicator(*StatusPanel(n), StatusPanelColor(n, state.Enkoder_Status));
  UpdateConditionFlags(state);
  ShowLed(*shStatusLed, state.barva_LED);
  ShowReadoutText(ReadoutText(state, formatSettings));
  // The wake compares with the old reference, so it runs before the update.
  ScreenSaverWake(state, services_.clock, services_.screenSaver);
  UpdateMovementReference(state);
}

void TMainForm::btnZeroingClick() {
  ToggleZero(state);
  shpNicla->setVisible(state.Nicla != 0);
  btnZeroing->setHint(ZeroingHint(state));
}

void TMainForm::TimerPosiljajTimer() {
  TFormNastavitve* settings = FormNastavitve;
  ByteString reply;
  const std::int32_t r = ReadPosition(services_.ports, *settings, state.ComID, reply);
  if (r != kResultOk) {
    // Link lost: disconnect, then show the lost link over the closed look.
    settings->CloseComPort();
    state.ComID = kInvalidHandleValue;
    ShowReadoutText(kTextLinkLost);
    ShowLed(*shStatusLed, clGray);
    ShowIndicator(*Panel9, clRed);
    lblCableDisconnected->setVisible(true);
    if (!settings->RetryPortOpenTimer->isActive()) settings->RetryPortOpenTimer->start();
    state.data_unavailable = true;
    settings->pnlRxPaketek->setColor(clRed);
    return;
  }

  // A packet that fails its check changes nothing in the state.
  if (ApplyPositionPacket(DecodePositionPacket(reply), state) != 0) {
    settings->pnlRxPaketek->setColor(clAccentOrange);
    ShowReadoutText(kTextCommError);
    return;
  }

  Risi();
  settings->pnlRxPaketek->setColor(clLime);
  CountGoodPacket(state, services_.clock.GetTickCount());
  settings->lblFPS->setText(PacketRateText(state, formatSettings));
}

}  // namespace tarvex
