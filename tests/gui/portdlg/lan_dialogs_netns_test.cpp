// The address search and LAN configuration dialogs on the real SDK against simulated Ethernet
// devices in a private test network (never on the machine's own interfaces).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include "app/ip_addr_suche.h"
#include "app/lan_config_dlg.h"
#include "qt_app.h"
#include "sdk/lf_sdk.h"
#include "tests/netns/lan/lan_netns.h"

namespace tw {
namespace {

using test::LanTestNet;

class LanDialogsNetns : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApp();
    if (std::string why = LanTestNet::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(net_.Create(3)) << net_.Error();
    ASSERT_TRUE(net_.StartDevice(0, {"--lan-static", "--lan-name", "LINE5"})) << net_.Error();
    ASSERT_TRUE(net_.StartDevice(1, {"--lan-dhcp", "--lan-name", "LINE7", "--tcp", "4001",
                                     "--lan-mac", "02:54:57:00:00:02"}))
        << net_.Error();
    ASSERT_TRUE(net_.StartDevice(2, {"--lan-dhcp", "--lan-name", "PRINTER", "--lan-product",
                                     "XPORT-05", "--lan-mac", "02:54:57:00:00:03"}))
        << net_.Error();
    ASSERT_TRUE(net_.EnterHost());
  }
  LanTestNet net_;
};

TEST_F(LanDialogsNetns, SearchListsReadersAndMarksOtherDevices) {
  CIPAddrSuche dlg(SdkPortBackend());
  dlg.askRetry = []() { return false; };
  ASSERT_TRUE(dlg.FillAddressList());
  const auto& found = dlg.Found();
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].text, "10.77.0.10-10001");
  EXPECT_EQ(found[0].kind, 1);
  EXPECT_EQ(found[1].text, "[LINE7]10.77.0.11-4001");
  EXPECT_EQ(found[1].kind, 1);
  EXPECT_EQ(found[2].text, "[PRINTER]10.77.0.12-10001");
  EXPECT_EQ(found[2].kind, 2);
  dlg.deviceList()->setCurrentRow(1);
  dlg.OnClose();
  EXPECT_EQ(dlg.ResultAddress(), "[LINE7]10.77.0.11-4001");
}

TEST_F(LanDialogsNetns, ReaddressesFixedReaderToDhcpName) {
  CLanConfig dlg(SdkPortBackend(), "10.77.0.10-10001");
  std::vector<std::string> messages;
  dlg.showMessage = [&](const QString& t) { messages.push_back(t.toStdString()); };
  ASSERT_TRUE(dlg.fixedRadio()->isChecked());
  EXPECT_EQ(dlg.ipEdit()->text(), "10.77.0.10");
  EXPECT_EQ(dlg.dhcpNameEdit()->text(), "LINE5");
  dlg.dhcpRadio()->click();
  dlg.dhcpNameEdit()->setText("LINE9");
  dlg.OnOK();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.Device(), "[LINE9]-10001");
  EXPECT_EQ(LF_PingLanDevice("[LINE9]"), 1);
}

}  // namespace
}  // namespace tw
