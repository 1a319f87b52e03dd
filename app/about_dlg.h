// The about dialog: program name, version and build date, the maker's contact links, the result
// of the update check (a link that installs a newer release) and the box that switches the
// automatic check on or off. Also the Qt side of the update check's notifications.
#pragma once
#include <QDialog>
#include <QEvent>
#include <functional>

#include "shell/update_check.h"

class QCheckBox;
class QLabel;

namespace tw {

class CBitmapStatic;
class CLabel;
class ISettingsView;

// One of the two notifications of an ended fetch: the command (id) or the window message
// (first parameter id, second 0). A window acts on the kind it is meant for and ignores the other.
class CUpdateEvent : public QEvent {
 public:
  enum Kind { Command, Message };
  CUpdateEvent(Kind kind, int wParam, int lParam) : QEvent(EventType()), kind(kind), wParam(wParam), lParam(lParam) {}
  static QEvent::Type EventType();
  const Kind kind;
  const int wParam;
  const int lParam;
};

// Queues the notifications to a receiver through the event loop. The owner keeps it as a member
// so that it takes itself out of the check before the receiver goes away.
class CUpdateNotifyTarget : public IUpdateNotify {
 public:
  CUpdateNotifyTarget(QObject* receiver, CUpdateCheck& check) : receiver_(receiver), check_(check) {}
  ~CUpdateNotifyTarget() override { check_.DropNotifyWindow(this); }
  void PostUpdateNotify(int id) override;

 private:
  QObject* receiver_;
  CUpdateCheck& check_;
};

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  enum { IDD = 100 };
  explicit CAboutDlg(QWidget* parent = nullptr, CUpdateCheck* check = nullptr, ISettingsView* settings = nullptr);
  ~CAboutDlg() override;

  int autoUpdateCheck = 1;

  QLabel* VersionLine() const { return version_; }
  CLabel* UpdateLabel() const { return updateLabel_; }
  CLabel* WebLabel() const { return webLabel_; }
  CLabel* MailLabel() const { return mailLabel_; }
  QCheckBox* AutoCheckBox() const { return autoBox_; }
  CBitmapStatic* Picture() const { return picture_; }

  // Ends the program after the installer was started; by default asks the application to quit.
  std::function<void()> exitProgram;
  // Where the installer goes; empty: a private folder in the temporary folder.
  QString installFolder;
  // Message boxes are skipped when set (tests read LastMessage).
  bool quietMessages = false;
  const QString& LastMessage() const { return lastMessage_; }

  // Window message 1034: shows the update check's result in the update label.
  void OnUpdateResult();
  // Click on the update label while it offers a version: download, start, end the program.
  void OnInstall();

 public slots:
  void done(int result) override;

 protected:
  bool event(QEvent* e) override;

 private:
  void BuildControls();
  void OnInitDialog();
  void FitControlsToText();
  void StoreAutoCheck();

  CUpdateCheck& check_;
  ISettingsView& settings_;
  CUpdateNotifyTarget notify_;
  QLabel* version_ = nullptr;
  CLabel* updateLabel_ = nullptr;
  CLabel* webLabel_ = nullptr;
  CLabel* mailLabel_ = nullptr;
  QCheckBox* autoBox_ = nullptr;
  CBitmapStatic* picture_ = nullptr;
  bool offersUpdate_ = false;
  QString lastMessage_;
};

// Opens the about dialog modally over parent (menu command 16).
void OpenAboutDialog(QWidget* parent);

// The main dialog's share of the update check: starts it when Version\Update is not 0 and, when
// the result names a newer version, opens the about dialog. Lives as a child of the main dialog.
class CUpdateWatch : public QObject {
  Q_OBJECT
 public:
  CUpdateWatch(QWidget* mainDlg, ISettingsView& settings, CUpdateCheck* check = nullptr);
  // Who opens the about dialog; OpenAboutDialog unless a test counts instead.
  std::function<void(QWidget*)> openAbout = OpenAboutDialog;

 protected:
  bool event(QEvent* e) override;

 private:
  QWidget* mainDlg_;
  CUpdateCheck& check_;
  CUpdateNotifyTarget notify_;
};

// The picture of the maker's logo: drawn on white, which the about dialog shows as transparent.
QPixmap MakerLogo();

}  // namespace tw
