// The application object: the start-up loop that runs the main dialog until it ends the program,
// the language choice with the English resource library loaded beside the program, and the manual
// opened on F1.
#pragma once
#include <QString>
#include <functional>
#include <memory>

#include "shell/settings_store.h"

class QWidget;

namespace tw {

class CTagwrightDlg;
class DynamicLibrary;

class CTagwrightApp {
 public:
  // programDir: the folder of the program file. The English library lies beside it in a build
  // folder and in the private folder of an installed tree (platform/install_dirs.h).
  CTagwrightApp(ISettingsStore& store, QString programDir);
  ~CTagwrightApp();

  // Runs the start-up loop; returns when a dialog ended with code 2 (or an unknown code).
  void Run();
  // The language step of the loop: reads Settings\Sprache and loads or frees the English library.
  void ChooseLanguage();
  bool EnglishActive() const;
  // How often the English library has been loaded (tests: switching back loads it again).
  int EnglishLoads() const { return englishLoads_; }

  // Called with each new main dialog before it runs (the simulated reader, tests).
  std::function<void(CTagwrightDlg&)> onDialog;
  // Called after each dialog ended, with its end code.
  std::function<void(int)> onDialogEnded;

  // The manual: the first PDF in programDir (else in the installed documentation folder) opened by
  // the desktop. Message 10001 when no program
  // opens it; nothing when there is no manual. Returns the file opened, or empty.
  static QString OpenManual(QWidget* owner, const QString& programDir, bool quiet = false);

  static const char* EnglishLibraryName();

 private:
  ISettingsStore& store_;
  QString programDir_;
  std::unique_ptr<DynamicLibrary> english_;
  int englishLoads_ = 0;
};

}  // namespace tw
