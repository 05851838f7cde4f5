#pragma once
// The port settings tool window: port, baud rate, refresh rate, echo option,
// firmware type, the port buttons, the RX indicator and the packet rate.

#include <cstdint>

#include <QWidget>

#include "core/transactions.h"
#include "ui/services.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace tarvex {

class Panel;
class RadioGroup;
class TMainForm;

inline constexpr char16_t kRegistryKeyPath[] = u"\\Software\\Halvik\\Tarvex";
inline constexpr char16_t kRegistryValueName[] = u"zadnji_izbran_COM_port";

class TFormNastavitve : public QWidget, public TransactionSettings {
  Q_OBJECT

 public:
  // Creates the window hidden and runs its create handler.
  TFormNastavitve(TMainForm* mainForm, Services& services);
  ~TFormNastavitve() override;

  QLabel* lblFPS = nullptr;
  QPushButton* btnComOpen = nullptr;
  QPushButton* btnComClose = nullptr;
  QComboBox* comboCOMport = nullptr;
  Panel* pnlRxPaketek = nullptr;
  QPushButton* btnComScan = nullptr;
  QComboBox* comboHitrost = nullptr;
  QComboBox* comboRefresh = nullptr;
  QCheckBox* cbRS485echo = nullptr;
  RadioGroup* rgTipFW = nullptr;
  QTimer* RetryPortOpenTimer = nullptr;

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

  // Shows the window (centred over the main window the first time) and
  // brings it to the front.
  void ShowAndRaise();

  // TransactionSettings: read live from the controls.
  int FirmwareType() const override;
  bool Rs485Echo() const override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  TMainForm* MainForm;
  Services& services_;
  bool shownBefore_ = false;
};

}  // namespace tarvex
