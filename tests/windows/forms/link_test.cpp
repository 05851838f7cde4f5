// Both windows over tarvex-encoder-sim on the COM ports that
// scripts/test_windows.sh links, read back from the native controls.

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "forms_fixture.h"
#include "monitor/presentation.h"

namespace tarvex::wintest {
namespace {

Text Number(unsigned n) {
  const std::string s = std::to_string(n);
  return Text(s.begin(), s.end());
}

class Link : public FormsTest {
 protected:
  void Connect(unsigned port) {
    settings->comboCOMport->clear();
    settings->comboCOMport->addItem(Number(port));
    settings->comboCOMport->setCurrentIndex(0);
    settings->btnComOpen->setEnabled(true);
    SendMessageW(H(settings->btnComOpen), BM_CLICK, 0, 0);
  }
  HWND MainWindow() { return win32ui::HandleOf(&main->window()); }
};

TEST_F(Link, StartUpReconnectsTheRememberedPort) {
  const unsigned port = PortFromEnvironment("TARVEX_COM_FORMS");
  ASSERT_NE(port, 0u);
  Remember(port);
  StartWindows();

  EXPECT_NE(NativeText(MainWindow()).find(u" (Ver: 46.1.0.8; PC: "), Text::npos);
  const HWND list = H(settings->comboCOMport);
  ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(NativeText(list), Number(port));
  const std::pair<forms::Label*, Text> labels[] = {
      {main->lblTipEnkoderja, u"Encoder type: QR46ABS"},   {main->lblSerijska_st, u"Serial number: A1B2C3"},
      {main->lblFW_verzija, u"Firmware ver.: 4.8.2.16909060"}, {main->lblOznaka_asica, u"Sensor ver.: 7"},
      {main->lblOznaka_PN_kode, u"Shaft code: SH0750"},    {main->lblResolution, u"Resolution: 1.0 \u00B5m"},
  };
  for (const auto& [label, text] : labels) EXPECT_EQ(NativeText(H(label)), text);
  ASSERT_TRUE(WaitFor([&] { return Reading(); }));
  EXPECT_EQ(Readout(), u"123.456 mm");  // 123456 counts of 1.0 um
  EXPECT_EQ(settings->pnlRxPaketek->color(), clLime);
  EXPECT_FALSE(StyleHas(H(main->lblCableDisconnected), WS_VISIBLE));
}

TEST_F(Link, LostLinkThenReadingAgainWithinOneRetry) {
  const unsigned port = PortFromEnvironment("TARVEX_COM_FORMS_LOST");
  ASSERT_NE(port, 0u);
  Remember(port);
  StartWindows();
  ASSERT_TRUE(WaitFor([&] { return Reading(); }));

  ASSERT_TRUE(SimulatorControl("stop"));
  ASSERT_TRUE(WaitFor([&] { return Readout() == kTextLinkLost; }));
  EXPECT_EQ(settings->pnlRxPaketek->color(), clRed);
  EXPECT_EQ(main->Panel9->color(), clRed);
  EXPECT_TRUE(StyleHas(H(main->lblCableDisconnected), WS_VISIBLE));
  EXPECT_EQ(NativeText(H(main->lblCableDisconnected)), u"Encoder Cable Disconnected");
  EXPECT_TRUE(settings->RetryPortOpenTimer->isActive());

  ASSERT_TRUE(SimulatorControl("cont"));
  gCountTimersOf = win32ui::HandleOf(&settings->window());  // its only timer is the retry
  gTimerCount = 0;
  ASSERT_TRUE(WaitFor([&] { return Reading(); }));
  EXPECT_LE(gTimerCount, 1);
  EXPECT_EQ(settings->pnlRxPaketek->color(), clLime);
  EXPECT_FALSE(StyleHas(H(main->lblCableDisconnected), WS_VISIBLE));
}

TEST_F(Link, ClosingTheMainWindowRemembersOnlyAConnectedPort) {
  const unsigned port = PortFromEnvironment("TARVEX_COM_FORMS");
  for (const bool connected : {false, true}) {
    SCOPED_TRACE(connected);
    StartWindows();
    if (connected) {
      Connect(port);
      ASSERT_TRUE(WaitFor([&] { return Reading(); }));
    }
    SendMessageW(MainWindow(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(MainWindow()));
    EXPECT_EQ(Remembered(), connected ? port : 0u);
    EXPECT_EQ(main->state.ComID, kInvalidHandleValue);
    TearDown();
  }
}

// Closes the warning boxes of this process as they come, noting their texts.
class BoxCloser {
 public:
  BoxCloser() : thread_([this] { Run(); }) {}
  std::vector<Text> Finish() {
    done_ = true;
    thread_.join();
    return texts_;
  }

 private:
  void Run() {
    while (!done_) {
      EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
      Sleep(20);
    }
  }
  // Reads texts without sending messages: GetWindowText would send
  // WM_GETTEXT to the test's thread, which never answers while it waits in
  // Finish().
  static Text TextOf(HWND w) {
    wchar_t text[256] = {};
    InternalGetWindowText(w, text, 256);
    return FromWide(text);
  }
  static BOOL CALLBACK Visit(HWND w, LPARAM self) {
    auto* closer = reinterpret_cast<BoxCloser*>(self);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(w) || TextOf(w) != u"Warning") return TRUE;
    if (closer->seen_.insert(w).second) closer->texts_.push_back(TextOf(GetDlgItem(w, 0xFFFF)));  // the box's text
    // Again on every round while it is shown: a press posted before the box
    // runs its own loop can be lost.
    PostMessageW(w, WM_COMMAND, IDOK, 0);
    return TRUE;
  }

  std::atomic<bool> done_{false};
  std::set<HWND> seen_;
  std::vector<Text> texts_;
  std::thread thread_;
};

TEST_F(Link, FailedOpenWarnsOnceAndNotWhileTheRetryTimerRuns) {
  StartWindows();
  settings->ShowAndRaise();
  BoxCloser closer;
  Connect(PortFromEnvironment("TARVEX_COM_ABSENT"));  // returns once the box is closed
  settings->RetryPortOpenTimer->start();
  Connect(PortFromEnvironment("TARVEX_COM_ABSENT"));  // a box here would wait for the closer too
  Pump();
  EXPECT_EQ(closer.Finish(), std::vector<Text>{u"Can't open port COM98!"});
  EXPECT_TRUE(settings->btnComOpen->isEnabled());
}

}  // namespace
}  // namespace tarvex::wintest
