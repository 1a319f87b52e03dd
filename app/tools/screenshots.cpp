// Takes the product screenshots: the main dialog in German and English connected to the simulated
// reader, the lamp panel during a write cycle, the timing and about dialogs, and in both languages
// the interface dialog, the address search, the LAN dialog and a question box (Qt's own button
// texts in the program's language). Run under an X server
// (scripts/screenshots starts one); writes PNG files into the folder given as the only argument.
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <cstdio>

#include "app/about_dlg.h"
#include "app/beep_time_dlg.h"
#include "app/ip_addr_suche.h"
#include "app/lan_config_dlg.h"
#include "app/port_dlg.h"
#include "app/port_settings.h"
#include "app/sim_feeder.h"
#include "app/tagwright_app.h"
#include "app/tagwright_dlg.h"
#include "platform/ui_hooks.h"
#include "shell/settings_store.h"

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

bool Save(QWidget* w, const QString& path) {
  Pump(300);
  const bool ok = w->grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// Readers to show in the interface dialogs, without searching any real network: the simulated
// reader's terminal, a reader in virtual COM mode under its stable name, a HID reader and two
// Ethernet readers beside a device of somebody else.
class ShowcaseBackend : public tw::IPortBackend {
 public:
  explicit ShowcaseBackend(std::string pty) : pty_(std::move(pty)) {}
  std::vector<std::string> EnumSerialPorts() override {
    return {kVcom + " [/dev/ttyACM0, Velkor QZ-243]", "/dev/ttyS0", pty_ + " [tagwright-sim]"};
  }
  std::vector<std::string> EnumUsbPorts() override { return {"2010-0815 HID"}; }
  std::vector<std::string> SearchLanReaders() override { return {"192.168.10.20-10001", "[LINE7]"}; }
  std::vector<std::string> SearchLanDevices() override {
    return {"192.168.10.20-10001", "192.168.10.77-80", "[LINE7]192.168.10.31-10001"};
  }
  bool PingLanDevice(const std::string&) override { return true; }
  int GetMissingUsbDrivers() override { return 0; }
  bool IsVirtualComDriverInstalled() override { return true; }
  bool IsVirtualComDevice(const std::string& path) override { return path == kVcom; }
  int OpenPort(const std::string&, int, int, int) override { return -6; }
  int SetUsbMode(int, int) override { return -1; }
  int SystemCommandF6(int, int, int) override { return -1; }
  int ClosePort(int) override { return 0; }
  bool GetLanDeviceInfo(const std::string&, LanInfo& info) override {
    info = {"[LINE7]-10001", "", "255.255.255.0", "192.168.10.1"};
    return true;
  }
  int SetLanDeviceConfig(const std::string&, const std::string&, const std::string&,
                         const std::string&) override {
    return -1;
  }
  static inline const std::string kVcom = "/dev/serial/by-id/usb-Velkor_QZ-243_2100-0815-if00";

 private:
  std::string pty_;
};

bool ShootInterfaceDialogs(QWidget* parent, const std::string& pty, const QString& out,
                           const QString& suffix) {
  bool ok = true;
  ShowcaseBackend backend(pty);
  tw::MemorySettingsStore store;
  store.WriteProfileString("Port", "Name", ShowcaseBackend::kVcom + " [/dev/ttyACM0, Velkor QZ-243]");
  store.WriteProfileInt("Port", "EthernetAktiv", 1);
  {
    tw::CPortDlg port(store, backend, parent);
    port.show();
    ok &= Save(&port, out + "/interface_" + suffix + ".png");
  }
  {
    tw::CIPAddrSuche search(backend, parent);
    search.FillAddressList();
    search.deviceList()->setCurrentRow(1);
    search.show();
    ok &= Save(&search, out + "/address_search_" + suffix + ".png");
  }
  {
    tw::CLanConfig lan(backend, "[LINE7]192.168.10.31-10001", parent);
    lan.show();
    ok &= Save(&lan, out + "/lan_" + suffix + ".png");
  }
  {
    // A question as the interface dialog asks it: Qt's own buttons speak the program's language.
    tw::ReaderAccessProblem p;
    p.kind = tw::ReaderAccessProblem::NoDeviceAccess;
    p.device = "1-2";
    p.node = "/dev/ttyACM0";
    p.group = "dialout";
    p.product = "QZ-243";
    p.vid = 0x1C40;
    p.pid = 0x05AC;
    QMessageBox box(QMessageBox::Question, tw::portui::Text(16600),
                    tw::portui::ToQt(tw::ReaderAccessQuestionText({p})),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.show();
    ok &= Save(&box, out + "/question_" + suffix + ".png");
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  if (argc < 2) {
    std::fprintf(stderr, "usage: tagwright-screenshots OUTDIR\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  tw::UiHooks hooks;
  hooks.pumpEvents = [] { QCoreApplication::processEvents(); };
  tw::SetUiHooks(hooks);

  const QString dir = QCoreApplication::applicationDirPath();
  tw::SimFeeder feeder;
  if (!feeder.Start(dir)) {
    std::fprintf(stderr, "tagwright-screenshots: the simulator did not start\n");
    return 1;
  }
  const std::string pty = feeder.PtyPath();
  tw::SetInterfaceChooser([pty](QWidget*, tw::ISettingsStore&, bool show, std::string& name) {
    name = pty + ":1";
    return !show;
  });

  const QString logDir = QDir::tempPath() + "/tagwright-shots";
  QDir().mkpath(logDir);
  bool ok = true;
  for (int lang : {0, 1}) {
    tw::MemorySettingsStore store;
    store.WriteProfileInt("Settings", "Sprache", lang);
    store.WriteProfileString("Settings", "Wert", "1000");
    store.WriteProfileInt("Settings", "Startblock", 4);
    store.WriteProfileInt("Protokoll", "LogFileEnableSchreiben", 1);
    store.WriteProfileString("Protokoll", "LogFileNameSchreiben", (logDir + "/Protokoll_S.txt").toStdString());
    store.WriteProfileString("Protokoll", "LogFileNameLesen", (logDir + "/Protokoll_L.txt").toStdString());
    tw::CTagwrightApp app(store, dir);
    app.ChooseLanguage();
    const QString suffix = lang ? "en" : "de";
    tw::CTagwrightDlg dlg(store);
    dlg.quietMessages = true;
    dlg.Initialise();
    dlg.show();
    feeder.PlaceNewTag(dlg.Job().transponderType);
    dlg.c.writeSingle->click();
    Pump(300);
    dlg.c.readSingle->click();
    ok &= Save(&dlg, out + "/main_" + suffix + ".png");
    ok &= ShootInterfaceDialogs(&dlg, pty, out, suffix);
    if (lang == 0) {
      feeder.StartFeeding([&dlg] { return dlg.Job().transponderType; }, 1500);
      dlg.c.writeCyclic->click();
      Pump(2500);
      ok &= Save(&dlg, out + "/lamps_de.png");
      dlg.c.writeCyclic->click();
      feeder.StopFeeding();
      tw::CBeepTimeDlg timing(store, &dlg);
      timing.show();
      ok &= Save(&timing, out + "/timing_de.png");
      // The about dialog with the check pointed at a loopback port where nothing answers.
      store.WriteProfileString("Version", tw::kListAddressKey, "https://127.0.0.1:1/rfid/software/RFIDVersionsLF.txt");
      tw::CUpdateCheck check("RFIDVersionsLF.txt", "Tagwright", &store);
      tw::CAboutDlg about(&dlg, &check, &store);
      about.show();
      Pump(1500);
      ok &= Save(&about, out + "/about_de.png");
      about.reject();
    }
    dlg.quietMessages = true;
    dlg.reject();
  }
  return ok ? 0 : 1;
}
