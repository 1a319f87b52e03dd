#include <gtest/gtest.h>

#include <QValidator>

#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "app/ip_addr_suche.h"
#include "app/lan_config_dlg.h"
#include "app/port_dlg.h"
#include "fake_port_backend.h"
#include "qt_app.h"
#include "shell/string_table.h"

namespace tw {
namespace {

using test::FakePortBackend;

class AddrSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApp();
    SetLanguage(Language::German);
  }
  std::unique_ptr<CIPAddrSuche> Make() {
    auto d = std::make_unique<CIPAddrSuche>(backend);
    d->askRetry = [this]() { return ++retries < retryAnswers; };
    d->runLanConfig = [this](const std::string& dev) {
      configured.push_back(dev);
      return true;
    };
    d->waitMs = [](int) {};
    return d;
  }
  FakePortBackend backend;
  int retries = 0, retryAnswers = 0;
  std::vector<std::string> configured;
};

TEST_F(AddrSearchTest, MergedDhcpReaderAndRedItalicOtherDevice) {
  backend.lanReaders = {"[LINE7]"};
  backend.lanDevices = {"10.0.0.40-80", "[LINE7]10.0.0.9-10001"};
  auto d = Make();
  ASSERT_TRUE(d->FillAddressList());
  QListWidget* list = d->deviceList();
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "[LINE7]10.0.0.9-10001");
  EXPECT_FALSE(list->item(0)->font().italic());
  EXPECT_EQ(list->item(1)->text(), "10.0.0.40-80");
  EXPECT_TRUE(list->item(1)->font().italic());
  EXPECT_EQ(list->item(1)->foreground().color(), QColor(Qt::red));
  EXPECT_FALSE(d->changeButton()->isEnabled());

  // The other device cannot be handed back; the reader can.
  list->setCurrentRow(1);
  EXPECT_TRUE(d->changeButton()->isEnabled());
  d->closeButton()->click();
  EXPECT_EQ(d->ResultAddress(), "");
  list->setCurrentRow(0);
  d->closeButton()->click();
  EXPECT_EQ(d->ResultAddress(), "[LINE7]10.0.0.9-10001");
}

TEST_F(AddrSearchTest, ChangeOpensConfigurationAndSearchesAgain) {
  backend.lanReaders = {"10.0.0.12-10001"};
  auto d = Make();
  ASSERT_TRUE(d->FillAddressList());
  const int searches = backend.lanCalls;
  d->deviceList()->setCurrentRow(0);
  d->changeButton()->click();
  EXPECT_EQ(configured, (std::vector<std::string>{"10.0.0.12-10001"}));
  EXPECT_EQ(backend.lanCalls, searches + 1);
}

TEST_F(AddrSearchTest, EmptyResultAsksRetryThenCancels) {
  retryAnswers = 3;  // Retry twice, then Cancel
  auto d = Make();
  EXPECT_FALSE(d->FillAddressList());
  EXPECT_EQ(retries, 3);
  EXPECT_EQ(backend.lanCalls, 3);
  EXPECT_TRUE(d->isEnabled());
  EXPECT_EQ(d->exec(), QDialog::Rejected);
  EXPECT_EQ(d->ResultAddress(), "");
}

class LanConfigDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApp();
    SetLanguage(Language::German);
    backend.info = {"[LINE7]-10001", "10.0.0.9-10001", "255.255.255.0", "10.0.0.1"};
  }
  std::unique_ptr<CLanConfig> Make(const std::string& dev = "10.0.0.9-10001") {
    auto d = std::make_unique<CLanConfig>(backend, dev);
    d->showMessage = [this](const QString& t) { messages.push_back(t.toStdString()); };
    d->waitMs = [](int) {};
    return d;
  }
  FakePortBackend backend;
  std::vector<std::string> messages;
};

TEST_F(LanConfigDlgTest, LoadsFixedDeviceAndEnablesItsFields) {
  auto d = Make();
  EXPECT_TRUE(d->fixedRadio()->isChecked());
  EXPECT_EQ(d->ipEdit()->text(), "10.0.0.9");
  EXPECT_EQ(d->fixedPortEdit()->text(), "10001");
  EXPECT_EQ(d->dhcpNameEdit()->text(), "LINE7");
  EXPECT_TRUE(d->ipEdit()->isEnabled());
  EXPECT_FALSE(d->dhcpNameEdit()->isEnabled());
  EXPECT_TRUE(d->maskEdit()->isEnabled());
  EXPECT_FALSE(d->progressBar()->isVisibleTo(d.get()));
  d->dhcpRadio()->click();
  EXPECT_TRUE(d->dhcpNameEdit()->isEnabled());
  EXPECT_FALSE(d->ipEdit()->isEnabled());
}

TEST_F(LanConfigDlgTest, UnreadableDeviceShowsEmptyDhcpFields) {
  backend.infoOk = false;
  auto d = Make();
  EXPECT_TRUE(d->dhcpRadio()->isChecked());
  EXPECT_EQ(d->ipEdit()->text(), "");
  EXPECT_EQ(d->dhcpPortEdit()->text(), "10001");
}

TEST_F(LanConfigDlgTest, RefusesZeroOrBlankFixedAddress) {
  auto d = Make();
  for (const char* bad : {"0.0.0.0", "", "..."}) {
    d->ipEdit()->setText(bad);
    d->OnOK();
    EXPECT_EQ(d->result(), 0) << bad;
  }
  EXPECT_EQ(messages, std::vector<std::string>(3, portui::Text(10128).toStdString()));
  EXPECT_TRUE(backend.calls.empty());
}

TEST_F(LanConfigDlgTest, AddressFieldsRefuseWhatIsNoAddress) {
  auto d = Make();
  auto state = [](QLineEdit* e, const char* text) {
    QString t = text;
    int pos = 0;
    return e->validator()->validate(t, pos);
  };
  for (QLineEdit* e : {d->ipEdit(), d->maskEdit(), d->gatewayEdit()}) {
    for (const char* bad : {"10.9.0.300", "a.b.c.d", "1.2.3.4.5", "10.9.0.3-1"})
      EXPECT_EQ(state(e, bad), QValidator::Invalid) << bad;
    EXPECT_EQ(state(e, "255.255.255"), QValidator::Intermediate) << "still being typed";
    EXPECT_EQ(state(e, "255.255.255.0"), QValidator::Acceptable);
  }
  // Texts that reach the fields anyway are refused before anything is sent.
  for (QLineEdit* e : {d->maskEdit(), d->gatewayEdit()}) {
    for (const char* bad : {"255.255.255", "10.9.0.300"}) {
      const QString before = e->text();
      e->setText(bad);
      d->OnOK();
      EXPECT_EQ(d->result(), 0) << bad;
      e->setText(before);
    }
  }
  EXPECT_EQ(messages, std::vector<std::string>(4, portui::Text(10128).toStdString()));
  EXPECT_TRUE(backend.calls.empty());
}

TEST_F(LanConfigDlgTest, SwitchToDhcpSendsBracketedName) {
  auto d = Make();
  d->dhcpRadio()->click();
  d->dhcpNameEdit()->setText("LINE7");
  d->dhcpPortEdit()->setText("10001");
  backend.pingAnswers["[LINE7]-10001"] = true;
  d->OnOK();
  EXPECT_EQ(d->result(), QDialog::Accepted);
  ASSERT_FALSE(backend.calls.empty());
  EXPECT_EQ(backend.calls[0], "set 10.0.0.9-10001 [LINE7]-10001 255.255.255.0 10.0.0.1");
  EXPECT_EQ(d->Device(), "[LINE7]-10001");
  EXPECT_EQ(d->progressBar()->maximum(), CLanConfig::kComeBackMs);
  EXPECT_FALSE(d->progressBar()->isVisibleTo(d.get()));
}

TEST_F(LanConfigDlgTest, RefusedChangeReportsAndReloads) {
  auto d = Make();
  backend.setConfigResult = -1;
  d->ipEdit()->setText("10.0.0.20");
  d->OnOK();
  EXPECT_EQ(d->result(), 0);
  EXPECT_EQ(messages, (std::vector<std::string>{portui::Text(10132).toStdString()}));
  EXPECT_EQ(d->ipEdit()->text(), "10.0.0.9");  // the device's settings again
  EXPECT_EQ(d->Device(), "10.0.0.9-10001");
  EXPECT_TRUE(d->ipEdit()->isEnabled());
}

}  // namespace
}  // namespace tw
