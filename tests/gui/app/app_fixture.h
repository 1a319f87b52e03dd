// Shared set-up of the GUI tests: a simulated reader, an in-memory settings store and a main dialog
// connected to the reader, with message boxes recorded instead of shown.
#pragma once
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <memory>

#include "app/app_text.h"
#include "app/tagwright_dlg.h"
#include "shell/settings_store.h"
#include "shell/string_table.h"
#include "tests/support/sim_process.h"

namespace tw::test {

inline void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  } while (t.elapsed() < ms);
}

// Pumps events until pred holds or timeoutMs passed; returns pred's last value.
inline bool PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!pred() && t.elapsed() < timeoutMs) Pump(10);
  return pred();
}

inline int CountOf(const QString& hay, const QString& needle) { return hay.count(needle); }

// The chooser handed to the dialogs: counts passes and answers with a fixed name (cancel once the
// shown passes run out).
struct ScriptedChooser {
  std::vector<std::string> names;  // one per pass; past the end: cancel
  std::vector<bool> shown;
  InterfaceChooser Make() {
    return [this](QWidget*, ISettingsStore&, bool show, std::string& name) {
      shown.push_back(show);
      if (shown.size() > names.size()) return false;
      name = names[shown.size() - 1];
      return true;
    };
  }
};

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override { SetLanguage(Language::German); }
  void TearDown() override {
    dlg.reset();
    SetInterfaceChooser(DefaultInterfaceChooser);
  }

  // Starts the simulator (extra args) and makes a connected dialog for a Hitag S job.
  void StartConnected(const std::vector<std::string>& simArgs = {}) {
    ASSERT_TRUE(sim.Start(simArgs));
    chooser.names = {sim.PtyPath() + ":1"};
    SetInterfaceChooser(chooser.Make());
    store.WriteProfileInt("Port", "Baudrate", 115200);
    store.WriteProfileString("Settings", "Transpondertyp", "Hitag S");
    store.WriteProfileInt("Settings", "Startblock", 4);
    store.WriteProfileInt("Settings", "Byteanzahl", 4);
    store.WriteProfileString("Settings", "Wert", "1000");
    store.WriteProfileInt("Settings", "AutoIncrement", 1);
    store.WriteProfileInt("Protokoll", "LogFileEnableSchreiben", 1);
    store.WriteProfileString("Protokoll", "LogFileNameSchreiben", WriteLog());
    store.WriteProfileInt("Settings", "BeepTime", 0);
    MakeDialog();
  }
  void MakeDialog() {
    dlg = std::make_unique<CTagwrightDlg>(store);
    dlg->quietMessages = true;
    dlg->Initialise();
    dlg->show();
  }
  std::string WriteLog() const { return (tmp.path() + "/Protokoll_S.txt").toStdString(); }
  bool AddTag(const std::string& uid) { return sim.Control("tag add hitags " + uid).rfind("ok", 0) == 0; }
  void RemoveTag() { sim.Control("tag remove"); }

  QTemporaryDir tmp;
  SimProcess sim;
  MemorySettingsStore store;
  ScriptedChooser chooser;
  std::unique_ptr<CTagwrightDlg> dlg;
};

}  // namespace tw::test
