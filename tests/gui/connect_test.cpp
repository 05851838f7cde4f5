// Connecting, identifying, reconnecting, listing and remembering, over the
// scripted ports and the in-memory registry.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "core/text.h"
#include "tests/gui/fakes.h"
#include "ui/controls.h"

namespace tarvex::testing {
namespace {

const Text kKey = u"Software\\Halvik\\Tarvex";
const Text kValue = u"zadnji_izbran_COM_port";

ByteString Identification48() {
  ByteString r = "TX48ABS";
  r += "000123";
  r += "--";
  for (int b : {2, 5, 1, 0x80, 0x00, 0x00, 0x00, 7, 5}) r.push_back(static_cast<char>(b));
  r += "SH0500";
  return r;
}

// Windows with two ports in the map and nothing remembered.
class ConnectTest : public WindowsTest {
 protected:
  void Prepare() override {
    registry.AddPort(u"\\Device\\Serial0", u"COM3");
    registry.AddPort(u"\\Device\\Serial1", u"COM12");
    ports.present = {3, 12};
  }
  int Warnings() const {
    int n = 0;
    for (const auto& m : messages.shown) n += m.kind == RecordedMessageBoxes::Kind::Warning;
    return n;
  }
};

TEST_F(ConnectTest, StartUpListsPortsInMapOrderWithTheLastSelected) {
  ASSERT_EQ(settings->comboCOMport->count(), 2);
  EXPECT_EQ(settings->comboCOMport->itemText(0), u"3  \\Device\\Serial0");
  EXPECT_EQ(settings->comboCOMport->itemText(1), u"12  \\Device\\Serial1");
  EXPECT_EQ(settings->comboCOMport->currentIndex(), 1);
  EXPECT_TRUE(settings->btnComOpen->isEnabled());
  EXPECT_FALSE(settings->btnComClose->isEnabled());
  EXPECT_TRUE(settings->btnComScan->isEnabled());
  EXPECT_TRUE(ports.opens.empty());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ConnectTest, OpenIdentifiesShowsLabelsAndStartsPolling) {
  settings->comboHitrost->setCurrentIndex(4);
  ports.QueueReply('v', Identification48());
  clock.now = 777;
  main->state.StevecPaketov = 55;
  settings->btnComOpenClick();

  ASSERT_EQ(ports.opens.size(), 1u);
  EXPECT_EQ(ports.opens[0].port, 12);
  EXPECT_EQ(ports.opens[0].baud, 500000u);
  EXPECT_EQ(main->state.ComID, ScriptedPorts::HandleFor(12));
  EXPECT_EQ(ports.purgeAborts, 1);
  EXPECT_FALSE(settings->btnComOpen->isEnabled());
  EXPECT_TRUE(settings->btnComClose->isEnabled());
  EXPECT_FALSE(settings->btnComScan->isEnabled());
  EXPECT_FALSE(settings->comboCOMport->isEnabled());
  EXPECT_FALSE(settings->comboHitrost->isEnabled());
  EXPECT_FALSE(W(main->lblCableDisconnected)->isVisibleTo(MainWidget()));
  EXPECT_EQ(main->lblTipEnkoderja->text(), u"Encoder type: TX48ABS");
  EXPECT_EQ(main->lblSerijska_st->text(), u"Serial number: 000123");
  EXPECT_EQ(main->lblFW_verzija->text(), u"Firmware ver.: 2.5.1.2147483648");
  EXPECT_EQ(main->lblOznaka_asica->text(), u"Sensor ver.: 7");
  EXPECT_EQ(main->lblOznaka_PN_kode->text(), u"Shaft code: SH0500");
  EXPECT_EQ(main->lblResolution->text(), u"Resolution: 0.5 \u00B5m");
  EXPECT_EQ(main->state.decimalk, 4);
  EXPECT_EQ(main->state.StevecPaketov, 0);
  EXPECT_EQ(main->state.TimestampPrvegaPaketka, 777u);
  EXPECT_TRUE(main->TimerPosiljaj->isActive());
  EXPECT_EQ(main->TimerPosiljaj->interval(), 100);
  // The open action leaves the readout to the first poll.
  EXPECT_EQ(main->pnlAbsPos->caption(), u"n/c");
}

TEST_F(ConnectTest, EchoOptionDropsTheFirstByteOfTheIdentification) {
  settings->cbRS485echo->setChecked(true);
  ports.QueueReply('v', "\xEE" + Identification48());  // not even the echo of "v"
  settings->btnComOpenClick();
  EXPECT_EQ(main->lblTipEnkoderja->text(), u"Encoder type: TX48ABS");
  EXPECT_EQ(main->lblOznaka_PN_kode->text(), u"Shaft code: SH0500");
}

TEST_F(ConnectTest, FailedIdentificationStillPollsAndKeepsEarlierFields) {
  main->state.resolucija_prebrana = 50;
  main->state.decimalk = 3;
  settings->btnComOpenClick();  // nothing answers "v"
  EXPECT_TRUE(main->TimerPosiljaj->isActive());
  EXPECT_EQ(main->state.resolucija_prebrana, 50);
  EXPECT_EQ(main->state.decimalk, 3);
  EXPECT_EQ(main->lblResolution->text(), u"Resolution: /");
}

TEST_F(ConnectTest, DecimalsFollowTheResolution) {
  struct Case {
    int resolution;
    int decimals;
    const char16_t* label;
  };
  for (const Case c : {Case{9, 4, u"0.9"}, Case{10, 3, u"1.0"}, Case{0, 4, u"0.0"}, Case{255, 3, u"25.5"}}) {
    ByteString reply = Identification48();
    reply[23] = static_cast<char>(c.resolution);
    ports.QueueReply('v', reply);
    settings->btnComOpenClick();
    EXPECT_EQ(main->state.decimalk, c.decimals);
    EXPECT_EQ(main->lblResolution->text(), u"Resolution: " + Text(c.label) + u" \u00B5m");
    settings->btnComCloseClick();
  }
}

TEST_F(ConnectTest, FailedOpenWarnsOncePerPressOnlyWhileNotReconnecting) {
  ports.present.clear();
  settings->btnComOpenClick();
  settings->btnComOpenClick();
  ASSERT_EQ(Warnings(), 2);
  EXPECT_EQ(messages.shown[0].text, u"Can't open port COM12!");
  EXPECT_TRUE(settings->btnComOpen->isEnabled());
  EXPECT_FALSE(main->TimerPosiljaj->isActive());

  settings->RetryPortOpenTimer->start();
  settings->btnComOpenClick();
  settings->RetryPortOpenTimerTimer();
  EXPECT_EQ(Warnings(), 2);
  EXPECT_TRUE(settings->btnComOpen->isEnabled());
}

TEST_F(ConnectTest, PortsAbove255AreRefusedNotReduced) {
  registry.AddPort(u"/dev/ttyX", u"COM300");
  registry.AddPort(u"/dev/ttyY", u"COM256");
  ports.present = {44, 0};  // 300 and 256 reduced to 8 bits
  settings->ComPortScan();
  ASSERT_EQ(settings->comboCOMport->itemText(3), u"256  /dev/ttyY");
  settings->btnComOpenClick();
  settings->comboCOMport->setCurrentIndex(2);
  EXPECT_EQ(settings->comboCOMport->currentText(), u"300  /dev/ttyX");
  settings->btnComOpenClick();
  EXPECT_TRUE(ports.opens.empty()) << "no other port may be opened";
  ASSERT_EQ(Warnings(), 2);
  EXPECT_EQ(messages.shown[0].text, u"Can't open port COM256!");
  EXPECT_EQ(messages.shown[1].text, u"Can't open port COM300!");
}

TEST_F(ConnectTest, PortZeroIsTriedLikeAnyAbsentPort) {
  registry.AddPort(u"/dev/zero-port", u"COM0");
  settings->ComPortScan();
  settings->btnComOpenClick();
  ASSERT_EQ(ports.opens.size(), 1u);
  EXPECT_EQ(ports.opens[0].port, 0);
  ASSERT_EQ(Warnings(), 1);
  EXPECT_EQ(messages.shown[0].text, u"Can't open port COM0!");
}

TEST_F(ConnectTest, OpenWithAnEmptyListWarnsWithoutOpening) {
  registry.localMachine.clear();
  settings->ComPortScan();
  settings->CloseComPort();  // enables "COM Open" with no item
  settings->btnComOpenClick();
  EXPECT_TRUE(ports.opens.empty());
  ASSERT_EQ(Warnings(), 1);
  EXPECT_EQ(messages.shown[0].text, u"Can't open port COM!");
}

TEST_F(ConnectTest, ReconnectTimerPressesOnlyAnEnabledOpenAndStopsOnSuccess) {
  settings->RetryPortOpenTimer->start();
  settings->btnComOpen->setEnabled(false);
  settings->RetryPortOpenTimerTimer();
  EXPECT_TRUE(ports.opens.empty());
  settings->btnComOpen->setEnabled(true);
  settings->RetryPortOpenTimerTimer();
  EXPECT_EQ(ports.opens.size(), 1u);
  EXPECT_FALSE(settings->RetryPortOpenTimer->isActive());
  EXPECT_TRUE(main->TimerPosiljaj->isActive());
}

TEST_F(ConnectTest, CloseOnlyClosesAndLeavesTheReconnectTimer) {
  settings->btnComOpenClick();
  settings->RetryPortOpenTimer->start();
  settings->btnComCloseClick();
  EXPECT_EQ(ports.closes.size(), 1u);
  EXPECT_EQ(main->state.ComID, kInvalidHandleValue);
  EXPECT_TRUE(settings->RetryPortOpenTimer->isActive());
  EXPECT_EQ(main->pnlAbsPos->caption(), u"not connected");
}

TEST_F(ConnectTest, FirmwareTypeChangeReconnectsWithTheNewLayout) {
  ports.QueueReply('v', Identification48());
  settings->btnComOpenClick();
  ASSERT_EQ(main->lblTipEnkoderja->text(), u"Encoder type: TX48ABS");

  ByteString old = "654321--";
  for (int b : {4, 3, 10}) old.push_back(static_cast<char>(b));
  old += "OLDSHA";
  ports.QueueReply('v', old);
  settings->rgTipFW->setItemIndex(0);
  settings->rgTipFWClick();
  EXPECT_EQ(ports.closes.size(), 1u);
  EXPECT_EQ(ports.opens.size(), 2u);
  EXPECT_EQ(ports.opens[1].port, 12);
  EXPECT_EQ(main->lblTipEnkoderja->text(), u"Encoder type: ");
  EXPECT_EQ(main->lblFW_verzija->text(), u"Firmware ver.: 4.0.0.0");
  EXPECT_EQ(main->lblResolution->text(), u"Resolution: 1.0 \u00B5m");
  EXPECT_TRUE(main->TimerPosiljaj->isActive());
}

TEST_F(ConnectTest, FirmwareTypeChangeWithAnEmptyListDoesNothing) {
  registry.localMachine.clear();
  settings->ComPortScan();
  settings->rgTipFW->setItemIndex(1);
  settings->rgTipFWClick();
  EXPECT_TRUE(ports.opens.empty());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ConnectTest, ListingSkipsNonComDataAndReadsOddNumbers) {
  registry.localMachine.clear();
  registry.AddPort(u"a", u"COM");
  registry.AddPort(u"b", u"com5");
  registry.AddPort(u"c", u"COMX");
  registry.localMachine[u"hardware\\devicemap\\serialcomm"].emplace_back(u"d", std::int32_t{7});  // not a string
  registry.AddPort(u"e", u"COM1");
  settings->ComPortScan();
  ASSERT_EQ(settings->comboCOMport->count(), 3);
  EXPECT_EQ(settings->comboCOMport->itemText(0), u"1  a");
  EXPECT_EQ(settings->comboCOMport->itemText(1), u"1  c");
  EXPECT_EQ(settings->comboCOMport->itemText(2), u"1  e");
  EXPECT_TRUE(settings->btnComScan->isEnabled());
}

TEST_F(ConnectTest, NoPortsLeavesOpenDisabled) {
  registry.localMachine.clear();
  settings->ComPortScan();
  EXPECT_EQ(settings->comboCOMport->count(), 0);
  EXPECT_FALSE(settings->btnComOpen->isEnabled());
  EXPECT_FALSE(settings->btnComClose->isEnabled());
  EXPECT_TRUE(settings->btnComScan->isEnabled());
}

TEST_F(ConnectTest, ExitWhileConnectedStoresThePort) {
  settings->btnComOpenClick();
  main->FormClose();
  const auto stored = registry.Get(kKey, kValue);
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(std::get<std::int32_t>(*stored), 12);
  EXPECT_EQ(main->state.ComID, kInvalidHandleValue);
  EXPECT_FALSE(main->TimerPosiljaj->isActive());
}

TEST_F(ConnectTest, ExitWithoutAConnectionWritesNothingButCloses) {
  main->FormClose();  // not connected
  settings->btnComOpenClick();
  main->state.ComID = kInvalidHandleValue;  // as after a lost link
  main->FormClose();
  EXPECT_FALSE(registry.Get(kKey, kValue).has_value());
  EXPECT_EQ(main->pnlAbsPos->caption(), u"not connected");
}

TEST_F(ConnectTest, ExitWhenTheKeyCannotBeWrittenShowsTheMessageAndCloses) {
  settings->btnComOpenClick();
  registry.writesFail = true;
  main->FormClose();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, RecordedMessageBoxes::Kind::Message);
  EXPECT_EQ(messages.shown[0].text, u"Ne morem odpreti poti v registru:\r\n\\Software\\Halvik\\Tarvex");
  EXPECT_EQ(ports.closes.size(), 1u);
  EXPECT_EQ(main->state.ComID, kInvalidHandleValue);
}

TEST_F(ConnectTest, ExitNeverStoresANumberAbove255) {
  // A connection up while the list shows 300 (the list changed under an
  // open port): nothing is stored rather than a reduced number.
  settings->btnComOpenClick();
  settings->comboCOMport->addItem(u"300  /dev/ttyX");
  settings->comboCOMport->setCurrentIndex(settings->comboCOMport->count() - 1);
  main->FormClose();
  EXPECT_FALSE(registry.Get(kKey, kValue).has_value());
  EXPECT_TRUE(messages.shown.empty());
}

// Start-up with a remembered port.
class RememberedTest : public ConnectTest {
 protected:
  std::variant<Text, std::int32_t> remembered = std::int32_t{12};
  void Prepare() override {
    ConnectTest::Prepare();
    registry.currentUser[kKey].emplace_back(kValue, remembered);
    ports.QueueReply('v', Identification48());
  }
};

TEST_F(RememberedTest, ReopensConnectsAndShowsTheBareNumber) {
  ASSERT_EQ(ports.opens.size(), 1u);
  EXPECT_EQ(ports.opens[0].port, 12);
  EXPECT_EQ(ports.opens[0].baud, 230400u);
  ASSERT_EQ(settings->comboCOMport->count(), 1);
  EXPECT_EQ(settings->comboCOMport->itemText(0), u"12");
  EXPECT_EQ(main->lblTipEnkoderja->text(), u"Encoder type: TX48ABS");
  EXPECT_TRUE(main->TimerPosiljaj->isActive());
  EXPECT_FALSE(settings->btnComOpen->isEnabled());
  EXPECT_TRUE(settings->btnComClose->isEnabled());
  EXPECT_TRUE(messages.shown.empty());
}

class RememberedMissingTest : public RememberedTest {
  void Prepare() override {
    RememberedTest::Prepare();
    ports.present.erase(12);
  }
};

TEST_F(RememberedMissingTest, ListsSilently) {
  EXPECT_EQ(settings->comboCOMport->count(), 2);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_FALSE(main->TimerPosiljaj->isActive());
}

class RememberedOddTest : public RememberedTest, public ::testing::WithParamInterface<RegistryStore::Value> {
  void Prepare() override {
    remembered = GetParam();
    RememberedTest::Prepare();
  }
};

TEST_P(RememberedOddTest, IsNoRememberedPort) {
  EXPECT_TRUE(ports.opens.empty());
  EXPECT_EQ(settings->comboCOMport->count(), 2);
  EXPECT_TRUE(messages.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Values, RememberedOddTest,
                         ::testing::Values(RegistryStore::Value{std::int32_t{0}}, RegistryStore::Value{std::int32_t{-1}},
                                           RegistryStore::Value{std::int32_t{300}},
                                           RegistryStore::Value{Text{u"12"}}));

TEST_F(ConnectTest, HundredsOfPortsAreListedInMapOrder) {
  registry.localMachine.clear();
  for (int n = 400; n >= 1; --n) registry.AddPort(u"/dev/ttyUSB" + IntToText(n), u"COM" + IntToText(n));
  settings->ComPortScan();
  ASSERT_EQ(settings->comboCOMport->count(), 400);
  EXPECT_EQ(settings->comboCOMport->itemText(0), u"400  /dev/ttyUSB400");
  EXPECT_EQ(settings->comboCOMport->currentText(), u"1  /dev/ttyUSB1");
  EXPECT_TRUE(settings->btnComOpen->isEnabled());
}

}  // namespace
}  // namespace tarvex::testing
