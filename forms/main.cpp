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

template <class T>
void Bind(forms::RealisedForm& form, std::string_view name, T*& field) {
  field = form.get<T>(name);
}

}  // namespace

TMainForm::TMainForm(Services& services) : services_(services) {
  form_ = services.toolkit.Realise(forms::MainFormDesign(), *this, nullptr);
  forms::RealisedForm& f = *form_;
  Bind(f, "shpNicla", shpNicla);
  Bind(f, "Label1", Label1);
  Bind(f, "lblCableDisconnected", lblCableDisconnected);
  Bind(f, "pHead", pHead);
  Bind(f, "Image1", Image1);
  Bind(f, "StaticText1", StaticText1);
  Bind(f, "YPanel", YPanel);
  Bind(f, "pnlAbsPos", pnlAbsPos);
  Bind(f, "gbStatus", gbStatus);
  Bind(f, "shStatusLed", shStatusLed);
  Bind(f, "Panel1", Panel1);
  Bind(f, "Panel2", Panel2);
  Bind(f, "Panel3", Panel3);
  Bind(f, "Panel4", Panel4);
  Bind(f, "Panel5", Panel5);
  Bind(f, "Panel6", Panel6);
  Bind(f, "Panel7", Panel7);
  Bind(f, "Panel8", Panel8);
  Bind(f, "Panel9", Panel9);
  Bind(f, "Panel0", Panel0);
  Bind(f, "StaticText2", StaticText2);
  Bind(f, "gbVersion", gbVersion);
  Bind(f, "lblResolution", lblResolution);
  Bind(f, "lblSerijska_st", lblSerijska_st);
  Bind(f, "lblFW_verzija", lblFW_verzija);
  Bind(f, "lblOznaka_PN_kode", lblOznaka_PN_kode);
  Bind(f, "lblOznaka_asica", lblOznaka_asica);
  Bind(f, "lblTipEnkoderja", lblTipEnkoderja);
  Bind(f, "Button1", Button1);
  Bind(f, "btnZeroing", btnZeroing);
  Bind(f, "TimerPosiljaj", TimerPosiljaj);
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
}

void TMainForm::pHeadClick() {
  if (FormNastavitve != nullptr) FormNastavitve->ShowAndRaise();
}

void TMainForm::Image1Click() { pHeadClick(); }

void TMainForm::Risi() {
  for (int n = 0; n < 10; ++n) StatusPanel(n)->setColor(StatusPanelColor(n, state.Enkoder_Status));
  UpdateConditionFlags(state);
  shStatusLed->setBrushColor(state.barva_LED);
  pnlAbsPos->setCaption(ReadoutText(state, formatSettings));
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
    pnlAbsPos->setCaption(kTextLinkLost);
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
    pnlAbsPos->setCaption(kTextCommError);
    return;
  }

  Risi();
  settings->pnlRxPaketek->setColor(clLime);
  CountGoodPacket(state, services_.clock.GetTickCount());
  settings->lblFPS->setText(PacketRateText(state, formatSettings));
}

}  // namespace tarvex
