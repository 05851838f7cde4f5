// The real windows over the encoder simulator on real pseudo-terminals, with
// the real port folder and user.reg in a temporary configuration folder.

#include <sys/stat.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "e2e/sim_process.h"
#include "e2e/temp_config_home.h"
#include "core/text.h"
#include "tests/gui/fakes.h"
#include "ui/controls.h"

namespace tarvex::testing {
namespace {

using test::SimProcess;
using test::TempConfigHome;

template <typename Pred>
bool WaitFor(Pred done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class EndToEndTest : public ::testing::Test {
 protected:
  TempConfigHome home;
  std::unique_ptr<SerialPorts> ports = MakeSystemSerialPorts();
  FakeScreenSaver screenSaver;
  RecordedMessageBoxes messages;
  qtui::QtToolkit toolkit;
  std::unique_ptr<Services> services;
  std::unique_ptr<TMainForm> main;
  TFormNastavitve* settings = nullptr;

  std::string userReg() const { return home.path() + "/Halvik/Tarvex/user.reg"; }

  void Remember(std::int32_t port) {
    std::unique_ptr<Registry> reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
    ASSERT_TRUE(reg->OpenKey(kRegistryKeyPath, true));
    ASSERT_TRUE(reg->WriteInteger(kRegistryValueName, port));
    reg->CloseKey();
  }

  void StartWindows() {
    services = std::make_unique<Services>(
        Services{*ports, *ports, screenSaver, messages, &MakeSystemRegistry, {u"46.1.0.8", u"PC", u"me"}, toolkit});
    main = std::make_unique<TMainForm>(*services);  // shows itself
    main->formatSettings = FormatSettings{u",", u"."};
    settings = new TFormNastavitve(main.get(), *services);
  }

  void TearDown() override {
    if (main) main->FormClose();
    main.reset();
  }

  // Lists the ports and selects the simulator's.
  void Select(const SimProcess& sim) {
    settings->ComPortScan();
    const Text prefix = UIntToText(sim.port()) + u"  ";
    for (int i = 0; i < settings->comboCOMport->count(); ++i) {
      if (settings->comboCOMport->itemText(i).starts_with(prefix)) settings->comboCOMport->setCurrentIndex(i);
    }
    ASSERT_TRUE(settings->comboCOMport->currentText().starts_with(prefix)) << U8(settings->comboCOMport->currentText());
  }

  bool WaitForReadout() {
    return WaitFor([&] { return main->pnlAbsPos->caption().ends_with(u" mm"); });
  }
};

TEST_F(EndToEndTest, StartUpReconnectsTheRememberedPort) {
  SimProcess sim({"--start", "123456", "--resolution", "5"}, home.path());
  ASSERT_TRUE(sim.started());
  Remember(static_cast<std::int32_t>(sim.port()));
  StartWindows();

  ASSERT_EQ(settings->comboCOMport->count(), 1);
  EXPECT_EQ(settings->comboCOMport->itemText(0), UIntToText(sim.port()));
  EXPECT_EQ(main->lblTipEnkoderja->text(), u"Encoder type: TX48ABS");
  EXPECT_EQ(main->lblSerijska_st->text(), u"Serial number: 000123");
  EXPECT_EQ(main->lblFW_verzija->text(), u"Firmware ver.: 4.8.1.1234");
  EXPECT_EQ(main->lblOznaka_asica->text(), u"Sensor ver.: 3");
  EXPECT_EQ(main->lblOznaka_PN_kode->text(), u"Shaft code: SH0500");
  EXPECT_EQ(main->lblResolution->text(), u"Resolution: 0.5 \u00B5m");
  EXPECT_TRUE(main->TimerPosiljaj->isActive());
  ASSERT_TRUE(WaitForReadout());
  EXPECT_EQ(main->pnlAbsPos->caption(), u"61.7280 mm");  // 123456 counts of 0.5 um
  EXPECT_EQ(settings->pnlRxPaketek->color(), clLime);
  EXPECT_EQ(main->shStatusLed->brushColor(), clLedOk);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(EndToEndTest, StartUpWithTheRememberedSimulatorGoneListsSilently) {
  Remember(200);
  StartWindows();
  EXPECT_FALSE(main->TimerPosiljaj->isActive());
  EXPECT_EQ(main->state.ComID, kInvalidHandleValue);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(settings->btnComScan->isEnabled());
}

struct LayoutCase {
  const char* layout;
  int index;
  bool echo;
  const char* firmware;
  const char16_t* typeLabel;
  const char16_t* firmwareLabel;
};

class LayoutEndToEndTest : public EndToEndTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(LayoutEndToEndTest, LabelsAndPolling) {
  const LayoutCase& c = GetParam();
  std::vector<std::string> args = {"--layout", c.layout, "--firmware", c.firmware, "--resolution", "50",
                                   "--start", "-5000"};
  if (c.echo) args.push_back("--echo");
  SimProcess sim(args, home.path());
  ASSERT_TRUE(sim.started());
  StartWindows();
  settings->rgTipFW->setItemIndex(c.index);
  settings->cbRS485echo->setChecked(c.echo);
  Select(sim);
  settings->btnComOpenClick();

  EXPECT_EQ(main->lblTipEnkoderja->text(), c.typeLabel);
  EXPECT_EQ(main->lblSerijska_st->text(), u"Serial number: 000123");
  EXPECT_EQ(main->lblFW_verzija->text(), c.firmwareLabel);
  EXPECT_EQ(main->lblResolution->text(), u"Resolution: 5.0 \u00B5m");
  EXPECT_EQ(main->lblOznaka_PN_kode->text().substr(0, 16), u"Shaft code: SH05");  // shortest reply holds 4 of 6
  ASSERT_TRUE(WaitForReadout());
  EXPECT_EQ(main->pnlAbsPos->caption(), u"-25.000 mm");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutEndToEndTest,
    ::testing::Values(LayoutCase{"48", 2, false, "2.5.1.812", u"Encoder type: TX48ABS", u"Firmware ver.: 2.5.1.812"},
                      LayoutCase{"48", 2, true, "1.2.3.2147483648", u"Encoder type: TX48ABS",
                                 u"Firmware ver.: 1.2.3.2147483648"},
                      LayoutCase{"46", 1, false, "2.5.1.812", u"Encoder type: TX48ABS", u"Firmware ver.: 2.0.0.0"},
                      LayoutCase{"46", 1, true, "7", u"Encoder type: TX48ABS", u"Firmware ver.: 7.0.0.0"},
                      LayoutCase{"old", 0, false, "3.1", u"Encoder type: ", u"Firmware ver.: 3.0.0.0"},
                      LayoutCase{"old", 0, true, "3.1", u"Encoder type: ", u"Firmware ver.: 3.0.0.0"}));

TEST_F(EndToEndTest, LostLinkThenReconnectWithinOneRetryPeriod) {
  SimProcess sim({"--motion", "ramp"}, home.path());
  ASSERT_TRUE(sim.started());
  const unsigned port = sim.port();
  StartWindows();
  Select(sim);
  settings->btnComOpenClick();
  ASSERT_TRUE(WaitForReadout());

  sim.kill9();
  ASSERT_TRUE(WaitFor([&] { return main->pnlAbsPos->caption() == u"- - - - -"; }));
  EXPECT_EQ(main->state.ComID, kInvalidHandleValue);
  EXPECT_TRUE(W(main->lblCableDisconnected)->isVisibleTo(qtui::WidgetOf(&main->window())));
  EXPECT_TRUE(settings->RetryPortOpenTimer->isActive());
  EXPECT_EQ(settings->pnlRxPaketek->color(), clRed);
  EXPECT_FALSE(main->TimerPosiljaj->isActive());

  // Back on the same number with another identification.
  int retries = 0;
  QObject::connect(qtui::TimerOf(settings->RetryPortOpenTimer), &QTimer::timeout, [&] { ++retries; });
  SimProcess again({"--port", std::to_string(port), "--firmware", "9.8.7.6"}, home.path());
  ASSERT_TRUE(again.started());
  ASSERT_EQ(again.port(), port);
  ASSERT_TRUE(WaitFor([&] { return main->TimerPosiljaj->isActive(); }, 10000));
  EXPECT_EQ(retries, 1);
  EXPECT_FALSE(settings->RetryPortOpenTimer->isActive());
  EXPECT_EQ(main->lblFW_verzija->text(), u"Firmware ver.: 9.8.7.6");
  EXPECT_FALSE(W(main->lblCableDisconnected)->isVisibleTo(qtui::WidgetOf(&main->window())));
  ASSERT_TRUE(WaitForReadout());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(EndToEndTest, FailedOpenWarnsPerPressOnlyWhileTheRetryTimerIsStopped) {
  StartWindows();
  settings->comboCOMport->clear();
  settings->comboCOMport->addItem(u"250");
  settings->btnComOpenClick();
  settings->btnComOpenClick();
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[1].text, u"Can't open port COM250!");
  settings->RetryPortOpenTimer->start();
  settings->btnComOpenClick();
  EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(EndToEndTest, FirmwareTypeChangeRereadsUnderTheNewLayout) {
  SimProcess sim({"--layout", "46", "--firmware", "6"}, home.path());
  ASSERT_TRUE(sim.started());
  StartWindows();
  Select(sim);
  settings->btnComOpenClick();  // "48 and newer" waits for 30 bytes of a 24-byte reply
  EXPECT_EQ(main->lblFW_verzija->text(), u"FW ver");
  EXPECT_TRUE(main->TimerPosiljaj->isActive());

  settings->rgTipFW->setItemIndex(1);
  settings->rgTipFWClick();
  EXPECT_EQ(main->lblFW_verzija->text(), u"Firmware ver.: 6.0.0.0");
  EXPECT_TRUE(main->TimerPosiljaj->isActive());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(EndToEndTest, ListPortsShowsSimulatorsInNumberOrderWithTheLastSelected) {
  SimProcess first({}, home.path());
  SimProcess second({}, home.path());
  ASSERT_TRUE(first.started() && second.started());
  StartWindows();  // nothing remembered: the listing ran
  settings->btnComScanClick();
  const int n = settings->comboCOMport->count();
  ASSERT_GE(n, 2);
  int firstAt = -1, secondAt = -1;
  for (int i = 0; i < n; ++i) {
    const Text item = settings->comboCOMport->itemText(i);
    if (item == UIntToText(first.port()) + u"  " + U16(first.ptsPath())) firstAt = i;
    if (item == UIntToText(second.port()) + u"  " + U16(second.ptsPath())) secondAt = i;
  }
  EXPECT_GE(firstAt, 0);
  EXPECT_GT(secondAt, firstAt);
  EXPECT_EQ(settings->comboCOMport->currentIndex(), n - 1);
  EXPECT_TRUE(settings->btnComOpen->isEnabled());
}

TEST_F(EndToEndTest, ExitWhileConnectedStoresThePortInUserReg) {
  SimProcess sim({}, home.path());
  ASSERT_TRUE(sim.started());
  StartWindows();
  Select(sim);
  settings->btnComOpenClick();
  main->FormClose();
  char expected[64];
  std::snprintf(expected, sizeof expected, "\"zadnji_izbran_COM_port\"=dword:%08x", sim.port());
  EXPECT_NE(ReadFile(userReg()).find(expected), std::string::npos) << ReadFile(userReg());
  EXPECT_EQ(main->state.ComID, kInvalidHandleValue);

  // The next start comes up on it.
  main.reset();
  StartWindows();
  EXPECT_EQ(settings->comboCOMport->itemText(0), UIntToText(sim.port()));
  EXPECT_TRUE(main->TimerPosiljaj->isActive());
}

TEST_F(EndToEndTest, ExitNotConnectedOrWithTheLinkLostWritesNothing) {
  SimProcess sim({}, home.path());
  ASSERT_TRUE(sim.started());
  StartWindows();
  main->FormClose();
  EXPECT_NE(access(userReg().c_str(), F_OK), 0);

  Select(sim);
  settings->btnComOpenClick();
  ASSERT_TRUE(WaitForReadout());
  sim.kill9();
  ASSERT_TRUE(WaitFor([&] { return settings->RetryPortOpenTimer->isActive(); }));
  main->FormClose();
  EXPECT_NE(access(userReg().c_str(), F_OK), 0);
}

TEST_F(EndToEndTest, UnwritableConfigurationShowsTheMessageAndStillCloses) {
  SimProcess sim({}, home.path());
  ASSERT_TRUE(sim.started());
  StartWindows();
  Select(sim);
  settings->btnComOpenClick();
  // A folder where the file should be: no write can replace it, even as root.
  ASSERT_EQ(mkdir(userReg().c_str(), 0755), 0);
  main->FormClose();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, RecordedMessageBoxes::Kind::Message);
  EXPECT_EQ(messages.shown[0].text, u"Ne morem odpreti poti v registru:\r\n\\Software\\Halvik\\Tarvex");
  EXPECT_EQ(main->state.ComID, kInvalidHandleValue);
  EXPECT_FALSE(main->TimerPosiljaj->isActive());
  EXPECT_EQ(main->pnlAbsPos->caption(), u"not connected");
}

class DamagedUserRegTest : public EndToEndTest, public ::testing::WithParamInterface<std::string> {};

// Whatever user.reg holds, start-up lists the ports and the next exit writes
// the port where it reads back, keeping everything else in the file.
TEST_P(DamagedUserRegTest, ListingRunsAndExitRewritesAGoodFile) {
  SimProcess sim({}, home.path());
  ASSERT_TRUE(sim.started());
  {
    std::ofstream out(userReg(), std::ios::binary);
    out << GetParam();
  }
  StartWindows();
  EXPECT_FALSE(main->TimerPosiljaj->isActive());
  EXPECT_TRUE(messages.shown.empty());
  Select(sim);
  settings->btnComOpenClick();
  main->FormClose();

  const std::string written = ReadFile(userReg());
  char expected[64];
  std::snprintf(expected, sizeof expected, "\"zadnji_izbran_COM_port\"=dword:%08x", sim.port());
  const std::string& before = GetParam();
  if (before.empty() || before.rfind("Windows Registry Editor Version 5.00", 0) == 0) {
    EXPECT_EQ(written.rfind("Windows Registry Editor Version 5.00", 0), 0u) << written;
  } else {
    EXPECT_EQ(written.rfind(before, 0), 0u) << "what could not be read stays as it was: " << written;
  }
  EXPECT_NE(written.find(expected), std::string::npos) << written;
  if (GetParam().find("[HKEY_CURRENT_USER\\Software\\Other]") != std::string::npos) {
    EXPECT_NE(written.find("\"kept\"=\"yes\""), std::string::npos) << written;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Contents, DamagedUserRegTest,
    ::testing::Values(std::string(), std::string("\x00\xFF\xFE garbage \x01\x02", 15),
                      std::string("Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"kept\"=\"yes\"\r\n\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex]\r\n"
                                  "\"zadnji_izbran_COM_port\"=\"7\"\r\n"),  // another type
                      std::string("Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"kept\"=\"yes\"\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex\r\n"  // broken header
                                  "\"zadnji_izbran_COM_port\"=dword:zz\r\nnonsense line\r\n")));

}  // namespace
}  // namespace tarvex::testing
