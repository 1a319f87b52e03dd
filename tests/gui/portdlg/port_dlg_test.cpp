#include "app/port_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "fake_port_backend.h"
#include "qt_app.h"
#include "shell/settings_keys.h"
#include "shell/string_table.h"

namespace tw {
namespace {

using test::FakePortBackend;
using test::Spin;
namespace keys = settings;

class PortDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApp();
    SetLanguage(Language::German);
    backend.com = {"\\\\.\\COM1", "\\\\.\\COM4 [Velkor Virtual COM]"};
    backend.usb = {"2010-0815 HID"};
  }
  std::unique_ptr<CPortDlg> Make() {
    auto dlg = std::make_unique<CPortDlg>(store, backend);
    dlg->askYesNo = [this](const QString& t) {
      questions.push_back(t.toStdString());
      return answerYes;
    };
    dlg->showMessage = [this](const QString& t) { messages.push_back(t.toStdString()); };
    dlg->openUrl = [this](const QString& u) { urls.push_back(u.toStdString()); };
    dlg->waitMs = [this](int ms) { waits.push_back(ms); };
    dlg->refreshIntervalMs = 20;
    Spin(30);  // the dialog's own first refresh request
    return dlg;
  }
  void Put(const char* key, const std::string& v) { store.WriteProfileString(keys::kPort, key, v); }
  void Put(const char* key, int v) { store.WriteProfileInt(keys::kPort, key, v); }
  int GetInt(const char* key) { return store.GetProfileInt(keys::kPort, key, -99); }
  std::string GetName() { return store.GetProfileString(keys::kPort, keys::kName, "<none>"); }
  std::vector<std::string> Rows(CPortDlg& d) {
    std::vector<std::string> rows;
    for (int i = 0; i < d.interfaceList()->count(); ++i)
      rows.push_back(d.interfaceList()->item(i)->text().toStdString());
    return rows;
  }

  MemorySettingsStore store;
  FakePortBackend backend;
  bool answerYes = false;
  std::vector<std::string> questions, messages, urls;
  std::vector<int> waits;
};

TEST_F(PortDlgTest, ShowsStoredLineFormatFromParityCode) {
  Put(keys::kBaudrate, 19203);
  auto d = Make();
  EXPECT_EQ(d->baudCombo()->currentText(), "19200");
  EXPECT_EQ(d->parityCombo()->currentText(), "keine");
  EXPECT_EQ(d->stopCombo()->currentText(), "2");
  Put(keys::kBaudrate, 9601);
  d = Make();
  EXPECT_EQ(d->baudCombo()->currentText(), "9600");
  EXPECT_EQ(d->parityCombo()->currentText(), "gerade");
  EXPECT_EQ(d->stopCombo()->currentText(), "1");
}

TEST_F(PortDlgTest, OkStoresChoiceAndEvenParityLosesSecondStopBit) {
  Put(keys::kName, "COM4");
  auto d = Make();
  EXPECT_EQ(d->interfaceList()->currentRow(), 1);
  EXPECT_TRUE(d->baudCombo()->isEnabled());
  d->parityCombo()->setCurrentIndex(1);
  d->stopCombo()->setCurrentIndex(1);
  d->timeoutEdit()->setText("300000");
  d->addressEdit()->setText("255");
  d->ethernetCheck()->setChecked(true);
  d->OnOK();
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(GetName(), "COM4 [Velkor Virtual COM]");
  EXPECT_EQ(GetInt(keys::kBaudrate), 19201);
  EXPECT_EQ(GetInt(keys::kTimeout), 300000);
  EXPECT_EQ(GetInt(keys::kAdresse), 255);
  EXPECT_EQ(GetInt(keys::kEthernetAktiv), 1);
}

TEST_F(PortDlgTest, OkWithoutBaudRateLeavesItAndRefusesBadFields) {
  Put(keys::kBaudrate, 12345);  // not an offered rate: nothing selected
  auto d = Make();
  EXPECT_EQ(d->baudCombo()->currentIndex(), -1);
  for (const char* bad : {"9", "300001", "abc"}) {
    d->timeoutEdit()->setText(bad);
    d->OnOK();
    EXPECT_EQ(d->result(), 0) << bad;
  }
  d->timeoutEdit()->setText("10");
  for (const char* bad : {"0", "256"}) {
    d->addressEdit()->setText(bad);
    d->OnOK();
    EXPECT_EQ(d->result(), 0) << bad;
  }
  EXPECT_EQ(messages.size(), 5u);
  EXPECT_EQ(GetInt(keys::kTimeout), -99);  // nothing stored while a field is wrong
  d->addressEdit()->setText("1");
  d->OnOK();
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(GetInt(keys::kBaudrate), 12345);
  EXPECT_EQ(GetInt(keys::kTimeout), 10);
}

TEST_F(PortDlgTest, SingleEntryIsSelectedForAMissingName) {
  backend.com = {"\\\\.\\COM3"};
  backend.usb.clear();
  Put(keys::kName, "COM9");
  auto d = Make();
  EXPECT_EQ(d->interfaceList()->currentRow(), 0);
  EXPECT_EQ(d->Settings().name, "COM3");
}

TEST_F(PortDlgTest, EmptyListLeavesNameEmptyAndOkKeepsStoredName) {
  backend.com.clear();
  backend.usb.clear();
  Put(keys::kName, "COM9");
  auto d = Make();
  EXPECT_EQ(d->interfaceList()->count(), 0);
  EXPECT_EQ(d->Settings().name, "");
  EXPECT_FALSE(d->hidModeButton()->isEnabled());
  d->OnOK();
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(GetName(), "COM9");
}

TEST_F(PortDlgTest, UsbAndLanEntriesDisableLineSettings) {
  Put(keys::kName, "USB: 2010-0815 HID");
  auto d = Make();
  EXPECT_EQ(Rows(*d), (std::vector<std::string>{"COM1", "COM4 [Velkor Virtual COM]",
                                                "USB: 2010-0815 HID"}));
  EXPECT_EQ(d->interfaceList()->currentRow(), 2);
  EXPECT_FALSE(d->baudCombo()->isEnabled());
  EXPECT_TRUE(d->hidModeButton()->isChecked());
  EXPECT_FALSE(d->virtualComButton()->isChecked());
  EXPECT_FALSE(d->ipSearchButton()->isVisibleTo(d.get()));
  d->interfaceList()->setCurrentRow(0);
  EXPECT_TRUE(d->baudCombo()->isEnabled());
  EXPECT_FALSE(d->hidModeButton()->isEnabled());
  EXPECT_EQ(d->Settings().name, "COM1");
}

TEST_F(PortDlgTest, PlugInRefreshesAtOnceAndFourTimesMore) {
  auto d = Make();
  ASSERT_FALSE(d->RefreshTimerRunning());
  const int before = backend.usbCalls;
  backend.usb.push_back("2011-0001 HID");
  d->OnDeviceChange(DeviceEvent::Arrival);
  EXPECT_EQ(backend.usbCalls, before + 1);
  EXPECT_EQ(d->interfaceList()->count(), 4);
  EXPECT_TRUE(d->RefreshTimerRunning());
  for (int i = 0; i < 100 && d->RefreshTimerRunning(); ++i) Spin(10);
  Spin(60);
  EXPECT_FALSE(d->RefreshTimerRunning());
  EXPECT_EQ(backend.usbCalls, before + 5);
  EXPECT_EQ(d->RefreshCount(), 0);
}

TEST_F(PortDlgTest, EthernetOffEmptiesLanEntries) {
  Put(keys::kEthernetAktiv, 1);
  backend.lanReaders = {"[LINE7]"};
  Put(keys::kName, "LAN: [LINE7]");
  backend.pingAnswers["[LINE7]"] = true;
  auto d = Make();
  EXPECT_EQ(Rows(*d).back(), "LAN: [LINE7]");
  EXPECT_TRUE(d->ipSearchButton()->isVisibleTo(d.get()));
  d->ethernetCheck()->click();
  Spin(30);
  EXPECT_EQ(d->interfaceList()->count(), 3);
  EXPECT_FALSE(d->ipSearchButton()->isVisibleTo(d.get()));
}

// Qt makes row 0 current when the list gets the focus; that is no choice and OK must not store it.
TEST_F(PortDlgTest, OkStoresOnlyASelectedEntryNeverTheFocusRow) {
  Put(keys::kName, "COM9");
  auto d = Make();
  d->show();
  QApplication::setActiveWindow(d.get());
  d->interfaceList()->setFocus(Qt::TabFocusReason);
  Spin(20);
  ASSERT_TRUE(d->interfaceList()->hasFocus());
  EXPECT_TRUE(d->interfaceList()->selectedItems().isEmpty());
  EXPECT_EQ(d->Settings().name, "");
  d->OnOK();
  EXPECT_EQ(GetName(), "COM9");

  auto again = Make();
  again->show();
  again->interfaceList()->setFocus(Qt::TabFocusReason);
  again->interfaceList()->item(1)->setSelected(true);
  again->OnOK();
  EXPECT_EQ(GetName(), "COM4 [Velkor Virtual COM]");
}

// The reader picked in the address search is the selection, also when the LAN list stays as it
// was and when discovery does not list it at all.
TEST_F(PortDlgTest, AddressSearchResultBecomesTheSelectedEntry) {
  Put(keys::kEthernetAktiv, 1);
  Put(keys::kName, "COM1");
  backend.lanReaders = {"10.0.0.5-10001", "[LINE7]"};
  for (const char* found : {"[LINE7]10.0.0.9-10001", "[LINE8]10.0.0.10-10001"}) {
    auto d = Make();
    ASSERT_EQ(d->interfaceList()->selectedItems().size(), 1);
    ASSERT_TRUE(d->baudCombo()->isEnabled());
    d->runAddressSearch = [found]() { return std::string(found); };
    d->ipSearchButton()->click();
    Spin(30);
    const std::string name = NameFromSearchResult(found);
    EXPECT_EQ(d->Settings().name, name);
    ASSERT_EQ(d->interfaceList()->selectedItems().size(), 1);
    EXPECT_EQ(d->interfaceList()->selectedItems()[0]->text().toStdString(), name);
    EXPECT_FALSE(d->baudCombo()->isEnabled());
    EXPECT_FALSE(d->parityCombo()->isEnabled());
    d->OnOK();
    EXPECT_EQ(GetName(), name);
    Put(keys::kName, "COM1");
  }
}

TEST_F(PortDlgTest, HidModeSwitchesVirtualComReader) {
  Put(keys::kName, "COM4 [Velkor Virtual COM]");
  auto d = Make();
  EXPECT_TRUE(d->virtualComButton()->isChecked());
  backend.openResult = -15;  // nothing answers: nothing sent, choice kept
  d->hidModeButton()->click();
  EXPECT_EQ(backend.calls, (std::vector<std::string>{"open COM4 19200 0 100"}));
  EXPECT_EQ(d->Settings().name, "COM4 [Velkor Virtual COM]");
  backend.calls.clear();
  backend.openResult = 3;
  d->hidModeButton()->click();
  EXPECT_EQ(backend.calls,
            (std::vector<std::string>{"open COM4 19200 0 100", "mode 1", "f6 0 0", "close"}));
  EXPECT_EQ(d->Settings().name, "");
  EXPECT_EQ(waits, (std::vector<int>{1000}));
  EXPECT_FALSE(d->hidModeButton()->isEnabled());
}

// A reader in virtual COM mode on Linux is known by the USB identity behind its device, whatever
// its name and description say.
TEST_F(PortDlgTest, DevicePathReachesBothModeSwitchesByUsbIdentity) {
  backend.com = {"/dev/serial/by-id/usb-Velkor_QZ-243_2100-0815-if00 [/dev/ttyACM0, Velkor QZ-243]",
                 "/dev/ttyACM1 [Velkor Virtual COM]"};
  backend.vcomDevices = {"/dev/serial/by-id/usb-Velkor_QZ-243_2100-0815-if00"};
  Put(keys::kName, backend.com[0]);
  auto d = Make();
  EXPECT_TRUE(d->virtualComButton()->isChecked());
  EXPECT_TRUE(d->hidModeButton()->isEnabled());
  backend.openResult = 3;
  d->hidModeButton()->click();
  EXPECT_EQ(backend.calls,
            (std::vector<std::string>{"open /dev/serial/by-id/usb-Velkor_QZ-243_2100-0815-if00 19200 0 100",
                                      "mode 1", "f6 0 0", "close"}));
  // The text alone makes no virtual COM reader of a device path.
  d->interfaceList()->item(1)->setSelected(true);
  EXPECT_FALSE(d->hidModeButton()->isEnabled());
}

TEST_F(PortDlgTest, VirtualComNeedsDriverOrOffersDownload) {
  Put(keys::kName, "USB: 2010-0815 HID");
  auto d = Make();
  backend.vcomDriver = false;
  answerYes = true;
  d->virtualComButton()->click();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], (portui::Text(10172) + "\n" + portui::Text(10173)).toStdString());
  EXPECT_EQ(urls, (std::vector<std::string>{portui::Text(10170).toStdString()}));
  EXPECT_TRUE(backend.calls.empty());
  backend.vcomDriver = true;
  d->virtualComButton()->click();
  EXPECT_EQ(backend.calls, (std::vector<std::string>{"open 2010-0815 HID 19200 0 100", "mode 2",
                                                     "f6 0 0", "close"}));
}

// A reader nothing installed can open is asked about once per plug-in, with what is missing in
// this system's terms; unrelated device events never ask again.
TEST_F(PortDlgTest, ReaderAccessQuestionOncePerPlugIn) {
  auto d = Make();
  ReaderAccessProblem p;
  p.kind = ReaderAccessProblem::NoD2xxLibrary;
  p.device = "1-2";
  p.plugKey = "1-2#7";
  p.vid = 0x0403;
  p.pid = 0xE130;
  backend.problems = {p};
  const int before = backend.comCalls;
  d->OnDeviceChange(DeviceEvent::Arrival);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], portui::ToQt(ReaderAccessQuestionText({p})).toStdString());
  EXPECT_NE(questions[0].find("libftd2xx"), std::string::npos);
  EXPECT_EQ(backend.comCalls, before + 2);  // scanned again once after the question
  for (int i = 0; i < 30; ++i) d->OnDeviceChange(i % 2 ? DeviceEvent::NodesChanged : DeviceEvent::Other);
  EXPECT_EQ(questions.size(), 1u);
  // Plugged in again: a new device number, a new question.
  backend.problems[0].plugKey = "1-2#8";
  backend.problems[0].kind = ReaderAccessProblem::NoDeviceAccess;
  backend.problems[0].node = "/dev/bus/usb/001/008";
  backend.problems[0].group = "plugdev";
  // A change reported while the question is open is dropped.
  d->askYesNo = [&](const QString& t) {
    questions.push_back(t.toStdString());
    d->OnDeviceChange(DeviceEvent::Arrival);
    return false;
  };
  d->OnDeviceChange(DeviceEvent::Arrival);
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_NE(questions[1].find("/dev/bus/usb/001/008"), std::string::npos);
  EXPECT_NE(questions[1].find("plugdev"), std::string::npos);
  EXPECT_TRUE(urls.empty());
}

}  // namespace
}  // namespace tw
