#pragma once
// The port settings tool window: port, baud rate, refresh rate, echo option,
// firmware type, the port buttons, the RX indicator and the packet rate.

#include <cstdint>
#include <memory>
#include <string_view>

#include "core/transactions.h"
#include "forms/controls.h"
#include "forms/services.h"

namespace tarvex {

class TMainForm;

inline constexpr char16_t kRegistryKeyPath[] = u"\\Software\\Halvik\\Tarvex";
inline constexpr char16_t kRegistryValueName[] = u"zadnji_izbran_COM_port";

class TFormNastavitve : public forms::EventSink, public TransactionSettings {
 public:
  // Creates the window hidden and runs its create handler.
  TFormNastavitve(TMainForm* mainForm, Services& services);
  ~TFormNastavitve() override;
  TFormNastavitve(const TFormNastavitve&) = delete;
  TFormNastavitve& operator=(const TFormNastavitve&) = delete;

  forms::Label* lblFPS = nullptr;
  forms::Button* btnComOpen = nullptr;
  forms::Button* btnComClose = nullptr;
  forms::DropDownList* comboCOMport = nullptr;
  forms::Panel* pnlRxPaketek = nullptr;
  forms::Button* btnComScan = nullptr;
  forms::DropDownList* comboHitrost = nullptr;
  forms::DropDownList* comboRefresh = nullptr;
  forms::CheckBox* cbRS485echo = nullptr;
  forms::RadioGroup* rgTipFW = nullptr;
  forms::Timer* RetryPortOpenTimer = nullptr;

  // Port operations.
  bool OpenComPort(std::uint8_t PortNum);
  void CloseComPort();
  void ComPortScan();

  // Handlers.
  void FormCreate();
  void btnComOpenClick();
  void btnComCloseClick();
  void btnComScanClick();
  void RetryPortOpenTimerTimer();
  void rgTipFWClick();
  void comboRefreshChange();

  // Show: visible and to the front; centred over the main window the first
  // time, afterwards where it was left.
  void ShowAndRaise();

  // TransactionSettings: read live from the controls.
  int FirmwareType() const override;
  bool Rs485Echo() const override;

  forms::Window& window() { return form_->window(); }
  forms::RealisedForm& realised() { return *form_; }

  void Handle(std::string_view handler) override;

 private:
  TMainForm* MainForm;
  Services& services_;
  std::unique_ptr<forms::RealisedForm> form_;
  bool shownBefore_ = false;
};

}  // namespace tarvex
