// Takes the product screenshots: the main dialog in German and English connected to the simulated
// reader, the lamp panel during a write cycle and the timing dialog. Run under an X server
// (scripts/screenshots starts one); writes PNG files into the folder given as the only argument.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <cstdio>

#include "app/about_dlg.h"
#include "app/beep_time_dlg.h"
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
