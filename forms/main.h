#pragma once
// The main window: readout, identification, status indicators, INC/ABS.

#include <memory>
#include <string_view>

#include "connection/identification_labels.h"
#include "core/encoder_state.h"
#include "core/number_format.h"
#include "forms/controls.h"
#include "forms/services.h"

namespace tarvex {

class TFormNastavitve;

inline constexpr char16_t kMainDesignCaption[] = u"Tarvex\u2122 & Qorin Demo (Serial / USB)";

class TMainForm : public forms::EventSink {
 public:
  // Creates the window from its layout and runs its create handler; the
  // window is shown right after, as its layout marks it visible.
  explicit TMainForm(Services& services);
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Controls, in creation order.
  forms::Shape* shpNicla = nullptr;
  forms::Label* Label1 = nullptr;
  forms::Label* lblCableDisconnected = nullptr;
  forms::Panel* pHead = nullptr;
  forms::Image* Image1 = nullptr;
  forms::Label* StaticText1 = nullptr;
  forms::Panel* YPanel = nullptr;
  forms::Panel* pnlAbsPos = nullptr;
  forms::GroupBox* gbStatus = nullptr;
  forms::Shape* shStatusLed = nullptr;
  forms::Panel* Panel1 = nullptr;
  forms::Panel* Panel2 = nullptr;
  forms::Panel* Panel3 = nullptr;
  forms::Panel* Panel4 = nullptr;
  forms::Panel* Panel5 = nullptr;
  forms::Panel* Panel6 = nullptr;
  forms::Panel* Panel7 = nullptr;
  forms::Panel* Panel8 = nullptr;
  forms::Panel* Panel9 = nullptr;
  forms::Panel* Panel0 = nullptr;
  forms::Label* StaticText2 = nullptr;
  forms::GroupBox* gbVersion = nullptr;
  forms::Label* lblResolution = nullptr;
  forms::Label* lblSerijska_st = nullptr;
  forms::Label* lblFW_verzija = nullptr;
  forms::Label* lblOznaka_PN_kode = nullptr;
  forms::Label* lblOznaka_asica = nullptr;
  forms::Label* lblTipEnkoderja = nullptr;
  forms::Button* Button1 = nullptr;
  forms::Button* btnZeroing = nullptr;
  forms::Timer* TimerPosiljaj = nullptr;

  // Status indicator of bit n (Panel0..Panel9).
  forms::Panel* StatusPanel(int n) const;

  // Writes the six identification labels, in the order they are always written.
  void ShowIdentification(const IdentificationLabels& labels);
  // The readout's text, and what it tells assistive technology.
  void ShowReadoutText(const Text& text);

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

  forms::Window& window() { return form_->window(); }
  forms::RealisedForm& realised() { return *form_; }
  Services& services() { return services_; }

  void Handle(std::string_view handler) override;

 private:
  Services& services_;
  std::unique_ptr<forms::RealisedForm> form_;
};

}  // namespace tarvex
