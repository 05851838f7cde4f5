// The port settings window: its handlers, where it appears, the refresh rate
// and the disconnected state.

#include "forms/nastavitve.h"

#include "connection/identification_labels.h"
#include "forms/main.h"
#include "forms/placement.h"
#include "monitor/presentation.h"
#include "monitor/refresh_rate.h"

namespace tarvex {

TFormNastavitve::TFormNastavitve(TMainForm* mainForm, Services& services)
    : MainForm(mainForm), services_(services) {
  form_ = services.toolkit.Realise(forms::FormNastavitveDesign(), *this, &mainForm->realised());
  forms::RealisedForm& f = *form_;
  f.bind("lblFPS", lblFPS);
  f.bind("btnComOpen", btnComOpen);
  f.bind("btnComClose", btnComClose);
  f.bind("comboCOMport", comboCOMport);
  f.bind("pnlRxPaketek", pnlRxPaketek);
  f.bind("btnComScan", btnComScan);
  f.bind("comboHitrost", comboHitrost);
  f.bind("comboRefresh", comboRefresh);
  f.bind("cbRS485echo", cbRS485echo);
  f.bind("rgTipFW", rgTipFW);
  f.bind("RetryPortOpenTimer", RetryPortOpenTimer);

  MainForm->FormNastavitve = this;
  FormCreate();
}

TFormNastavitve::~TFormNastavitve() {
  if (MainForm->FormNastavitve == this) MainForm->FormNastavitve = nullptr;
}

void TFormNastavitve::Handle(std::string_view handler) {
  if (handler == "FormCreate") FormCreate();
  else if (handler == "btnComOpenClick") btnComOpenClick();
  else if (handler == "btnComCloseClick") btnComCloseClick();
  else if (handler == "btnComScanClick") btnComScanClick();
  else if (handler == "RetryPortOpenTimerTimer") RetryPortOpenTimerTimer();
  else if (handler == "rgTipFWClick") rgTipFWClick();
  else if (handler == "comboRefreshChange") comboRefreshChange();
}

int TFormNastavitve::FirmwareType() const { return rgTipFW->itemIndex(); }

bool TFormNastavitve::Rs485Echo() const { return cbRS485echo->isChecked(); }

void TFormNastavitve::ShowAndRaise() {
  forms::Window& self = window();
  if (shownBefore_) {
    self.show();
    return;
  }
  shownBefore_ = true;
  // Centred with the outer rectangles, kept inside the work area's top left.
  // The window manager may frame the window only once it is shown; then the
  // place is taken again with the real frame.
  forms::Window& main = MainForm->window();
  const forms::Rect guess = self.frameRect();
  self.moveFrameTo(forms::FirstShowingPlace(main.frameRect(), guess, main.workArea()));
  self.show();
  const forms::Rect framed = self.frameRect();
  if (framed.width != guess.width || framed.height != guess.height) {
    self.moveFrameTo(forms::FirstShowingPlace(main.frameRect(), framed, main.workArea()));
  }
}

void TFormNastavitve::comboRefreshChange() {
  const Text item = comboRefresh->currentText();
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

  MainForm->ShowReadoutText(kTextNotConnected);
  MainForm->ShowIdentification(DisconnectedLabels());
  s.data_unavailable = true;
}

}  // namespace tarvex
