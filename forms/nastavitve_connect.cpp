// Connecting, identifying, reconnecting, listing ports and remembering the
// last one.

#include "connection/baud_rate.h"
#include "connection/identification_labels.h"
#include "connection/port_list.h"
#include "core/protocol.h"
#include "core/text.h"
#include "forms/main.h"
#include "forms/nastavitve.h"
#include "monitor/presentation.h"

namespace tarvex {

bool TFormNastavitve::OpenComPort(std::uint8_t PortNum) {
  EncoderState& s = MainForm->state;
  s.ComID = kInvalidHandleValue;
  s.ComID = services_.ports.Open(PortNum, BaudRateForIndex(comboHitrost->currentIndex()));
  return s.ComID != kInvalidHandleValue;
}

void TFormNastavitve::btnComOpenClick() {
  EncoderState& s = MainForm->state;
  const Text itemText = comboCOMport->currentText();
  const std::optional<std::int64_t> number = PortNumberOfItem(itemText);

  btnComOpen->setEnabled(false);
  btnComOpen->repaint();

  bool open = s.ComID != kInvalidHandleValue;  // start-up: the port is already open
  // Only a number that names exactly one port is opened; anything else
  // (not a number, or above 255) fails like an absent port.
  if (!open && number && *number >= 0 && *number <= kHighestPortNumber) {
    open = OpenComPort(static_cast<std::uint8_t>(*number));
  }

  if (open) {
    RetryPortOpenTimer->stop();
    btnComOpen->setEnabled(false);
    btnComClose->setEnabled(true);
    btnComScan->setEnabled(false);
    comboCOMport->setEnabled(false);
    comboHitrost->setEnabled(false);
    MainForm->lblCableDisconnected->setVisible(false);
    services_.ports.PurgeReceiveAbort(s.ComID);

    ByteString reply;
    if (ReadIdentification(services_.ports, *this, s.ComID, reply) == kResultOk) {
      if (Rs485Echo() && !reply.empty()) reply.erase(0, 1);
      DecodeIdentification(reply, FirmwareType(), s);
      MainForm->ShowIdentification(LabelsFor(s, MainForm->formatSettings));
      s.decimalk = DecimalsForResolution(s.resolucija_prebrana);
    }
    RestartPacketCount(s, services_.clock.GetTickCount());
    MainForm->TimerPosiljaj->start();
    return;
  }

  if (!RetryPortOpenTimer->isActive()) {
    // The warning names the port as the list gives it, so a refused number
    // above 255 is shown as it is.
    const Text shown = number ? IntToText(*number) : (itemText.substr(0, itemText.find(u' ')));
    forms::Window* parent = window().isVisible() ? &window() : &MainForm->window();
    services_.messages.Warning(parent, u"Can't open port COM" + shown + u"!");
  }
  btnComOpen->setEnabled(true);
}

void TFormNastavitve::btnComCloseClick() { CloseComPort(); }

void TFormNastavitve::RetryPortOpenTimerTimer() {
  if (btnComOpen->isEnabled()) btnComOpenClick();
}

void TFormNastavitve::rgTipFWClick() {
  if (btnComClose->isEnabled()) btnComCloseClick();
  if (btnComOpen->isEnabled()) btnComOpenClick();
}

void TFormNastavitve::btnComScanClick() { ComPortScan(); }

void TFormNastavitve::ComPortScan() {
  btnComScan->setEnabled(false);
  btnComOpen->setEnabled(false);
  btnComClose->setEnabled(false);
  comboCOMport->clear();
  comboCOMport->repaint();

  std::unique_ptr<Registry> reg = services_.openRegistry(RootKey::LocalMachine, kKeyRead);
  reg->OpenKeyReadOnly(u"hardware\\devicemap\\serialcomm");
  for (const Text& name : reg->GetValueNames()) {
    Text data;
    if (!reg->ReadString(name, data)) continue;  // not a string: not a port
    const std::optional<std::int64_t> number = PortNumberOfMapData(data);
    if (!number) continue;
    comboCOMport->addItem(IntToText(*number) + u"  " + name);
  }
  reg->CloseKey();

  if (comboCOMport->count() > 0) {
    comboCOMport->setCurrentIndex(comboCOMport->count() - 1);
    comboCOMport->repaint();
    btnComOpen->setEnabled(true);
  }
  btnComScan->setEnabled(true);
}

void TFormNastavitve::FormCreate() {
  std::int32_t remembered = 0;
  {
    std::unique_ptr<Registry> reg = services_.openRegistry(RootKey::CurrentUser, kKeyRead);
    if (reg->OpenKey(kRegistryKeyPath, false)) {
      std::int32_t value = 0;
      if (reg->ValueExists(kRegistryValueName) && reg->ReadInteger(kRegistryValueName, value)) remembered = value;
      reg->CloseKey();
    }
  }

  if (remembered >= 1 && remembered <= kHighestPortNumber) {
    if (OpenComPort(static_cast<std::uint8_t>(remembered))) {
      comboCOMport->clear();
      comboCOMport->addItem(IntToText(remembered));
      comboCOMport->setCurrentIndex(0);
      services_.toolkit.ProcessMessages();
      btnComOpenClick();  // pressed although disabled: it finds the port open
      return;
    }
  }
  ComPortScan();
}

void TMainForm::FormClose() {
  TFormNastavitve* settings = FormNastavitve;
  if (settings->comboCOMport->count() >= 1 && state.ComID != kInvalidHandleValue) {
    const std::optional<std::int64_t> number = PortNumberOfItem(settings->comboCOMport->currentText());
    // Only a port that can have been opened is remembered; never a number above 255.
    if (number && *number >= 1 && *number <= kHighestPortNumber) {
      std::unique_ptr<Registry> reg = services_.openRegistry(RootKey::CurrentUser, kKeyAllAccess);
      bool saved = false;
      if (reg->OpenKey(kRegistryKeyPath, true)) {
        saved = reg->WriteInteger(kRegistryValueName, static_cast<std::int32_t>(*number));
        reg->CloseKey();
      }
      if (!saved) {
        services_.messages.Message(&window(), Text(u"Ne morem odpreti poti v registru:") + u"\r\n" + kRegistryKeyPath);
      }
    }
  }
  settings->CloseComPort();
}

}  // namespace tarvex
