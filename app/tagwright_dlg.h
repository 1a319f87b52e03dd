// The main dialog: the job's controls, the reader connection, the status box, the traffic-light
// lamp panel and the menu. It is the job engine's view and timer source; the job logic itself
// lives in job/.
#pragma once
#include <QDialog>
#include <QPixmap>
#include <QValidator>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "job/job_engine.h"
#include "job/job_params.h"
#include "job/job_view.h"
#include "shell/settings_store.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;

namespace tw {

// Chooses the reader interface for the connect loop. show = false: the stored choice without asking
// (first pass at start-up). Fills name with the SDK interface name (":address" appended) and returns
// false when the operator cancels. The interface dialog installs itself here.
using InterfaceChooser =
    std::function<bool(QWidget* parent, ISettingsStore& store, bool show, std::string& name)>;
void SetInterfaceChooser(InterfaceChooser chooser);
// The built-in chooser: the stored Port\Name and Port\Adresse, and a simple name entry when shown.
bool DefaultInterfaceChooser(QWidget* parent, ISettingsStore& store, bool show, std::string& name);

// Opens the about dialog (menu command 16); nothing while none is installed.
void SetAboutHandler(std::function<void(QWidget* parent)> handler);

// The value edit's character limit: it restrains typing, never a text the program sets.
class TypingLimit : public QValidator {
 public:
  explicit TypingLimit(QObject* edit) : QValidator(edit) {}
  State validate(QString& input, int& pos) const override;
  int limit = 32767;
};

class CTagwrightDlg : public QDialog, public IJobView, public ICycleTimers {
  Q_OBJECT
 public:
  explicit CTagwrightDlg(ISettingsStore& store, QWidget* parent = nullptr);
  ~CTagwrightDlg() override;

  // The dialog's initialisation: menu, names, connect loop, layout, caret, data file. Run once
  // before the dialog is shown (exec() does it when it was not done yet).
  void Initialise();
  int exec() override;
  void setVisible(bool visible) override;

  bool Connect(const std::string& interfaceName, int portSetting, int timeoutMs);
  // The connect loop; showFirst: show the interface choice already in the first pass.
  void ConnectLoop(bool showFirst);
  void OnSysCommand(int id);
  void AddStatusMessage(int id);
  void AddStatusText(const QString& text);

  // IJobView
  void AddStatusLine(const StatusMessage& msg) override;
  void SetLamps(LampState state) override;
  void ShowLampPanel(bool on) override;
  void EnableJobControls(bool on) override;
  void Beep(int freqHz, int ms) override;
  void ShowValue(const std::string& text) override;
  void SetFocus(JobControl control) override;
  void ShowTypeLayout(const TypeLayout& layout) override;
  void SetCycleButton(CycleButton button, bool checked) override;
  void EnableCycleButton(CycleButton button, bool enabled) override;
  bool LoadControls() override;
  void ShowFields() override;

  // ICycleTimers
  int StartTimer(int id, int periodMs) override;
  void KillTimer(int id) override;

  JobParams& Job() { return job_; }
  JobEngine& Engine() { return *engine_; }
  int PortHandle() const { return engine_->PortHandle(); }
  int Language() const { return language_; }
  QMenu* SystemMenu() const { return sysMenu_; }
  bool LampPanelShown() const { return lampPanelShown_; }
  // Which lamp image each of the three lamps shows: 'R', 'Y', 'G' or 'D' (dark).
  std::string LampText() const;
  int BeepCount() const { return beepCount_; }
  int StatusLineCount() const;
  QString StatusText() const;

  // Message boxes go through here; with quietMessages set they are only recorded (tests).
  void MessageBox(const QString& text);
  // A chosen path the settings can keep (Windows-1252); otherwise a message, and false.
  bool KeepablePath(const QString& path);
  bool quietMessages = false;
  std::vector<QString> messages;
  // File dialogs go through here; tests replace it. Returns an empty path on cancel.
  std::function<QString(const QString& title, const QString& filter, const QString& defExt,
                        const QString& initial, bool save)>
      fileDialog;

  // The controls, named as the operator sees them.
  struct Controls {
    QComboBox* type = nullptr;
    QLineEdit *startBlock = nullptr, *byteCount = nullptr;
    QRadioButton *fmtNone = nullptr, *fmtDec = nullptr, *fmtHex = nullptr;
    QRadioButton *dispBinary = nullptr, *dispAscii = nullptr;
    QRadioButton *orientNormal = nullptr, *orientRotated = nullptr;
    QCheckBox *passwordActive = nullptr, *authMode = nullptr, *readWithPassword = nullptr;
    QCheckBox *readAfterWrite = nullptr, *lockUsedBlocks = nullptr;
    QLabel *passwordLabel = nullptr, *keyLabel = nullptr, *tagPasswordLabel = nullptr;
    QLineEdit *password = nullptr, *authKey = nullptr, *tagPassword = nullptr;
    QLabel* modulationLabel = nullptr;
    QComboBox* modulation = nullptr;
    QLineEdit* ranges[6] = {};
    std::vector<QWidget*> rangeDecor;  // labels and dashes of the range edits
    QLineEdit* value = nullptr;
    QCheckBox *autoIncrement = nullptr, *leadingZeros = nullptr, *allowExtraText = nullptr;
    QCheckBox* importData = nullptr;
    QPushButton* importBrowse = nullptr;
    QLabel *importFile = nullptr, *importCounter = nullptr;
    QPushButton *readSingle = nullptr, *readCyclic = nullptr, *writeSingle = nullptr,
                *writeCyclic = nullptr;
    QCheckBox *logWrites = nullptr, *logReads = nullptr;
    QPushButton *writeLogBrowse = nullptr, *readLogBrowse = nullptr;
    QLabel *writeLogName = nullptr, *readLogName = nullptr;
    QPlainTextEdit* status = nullptr;
    QPushButton *resetStatus = nullptr, *loadConfig = nullptr, *saveConfig = nullptr,
                *closeButton = nullptr;
    QLabel* hint = nullptr;
  } c;

  // Handlers of the controls (public so the tests can drive them as the operator would).
  void OnTypeOrLayoutChanged();
  void OnNumberFormat();
  void OnSwitchDisplay();
  void OnLeadingZeros();
  void OnAllowExtraText();
  void OnAutoIncrement();
  void OnImportData();
  void OnImportBrowse();
  void OnChooseLog(bool write);
  void OnLoadConfig();
  void OnSaveConfig();
  void OnByteCountKillFocus();
  void OnValueKillFocus();

 protected:
  bool eventFilter(QObject* obj, QEvent* ev) override;
  void keyPressEvent(QKeyEvent* ev) override;
  void done(int r) override;

 private:
  void BuildUi();
  void BuildMenu();
  void Destroy();
  void SetCaption(const QString& tail);
  QString ProgramVersion() const;
  QString FileDialog(const QString& title, const QString& filter, const QString& defExt,
                     const QString& initial, bool save);
  void ShowLogNames();
  void ShowImportFields();
  // Runs a step (a button's or a cycle tick's) and stops with a message when it met no tag because
  // the reader has gone.
  void RunStep(const std::function<void()>& step);
  int DisplayFromButtons() const;

  ISettingsStore& store_;
  std::unique_ptr<CReservationStore> reservations_;
  JobParams loaded_;
  // A job shared by several stations (JobStore and JobName in section "Settings"): its name and
  // the store as shown in the caption; empty for the station's own job.
  std::string sharedJob_;
  std::string sharedStore_;
  std::string sharedError_;  // why the shared store could not be reached at start
  // Takes the job from the shared store when the settings name one. False when they do not.
  bool OpenSharedJob();
  TypingLimit* valueLimit_ = nullptr;  // the job as loaded: the close saves only what differs from it
  JobParams job_;
  std::unique_ptr<JobEngine> engine_;
  int language_ = 0;
  QString titleBase_;
  bool initialised_ = false;
  bool destroyed_ = false;

  QWidget* content_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  QMenu* sysMenu_ = nullptr;
  QLabel* lamps_[3] = {};
  QWidget* lampBack_ = nullptr;
  QPixmap lampImages_[4];
  char lampState_[3] = {'R', 'D', 'D'};
  bool lampPanelShown_ = false;
  int normalWidth_ = 0, normalHeight_ = 0;
  int beepCount_ = 0;
  std::map<int, QTimer*> timers_;
  int lastDisplay_ = kDisplayBinary;
};

}  // namespace tw
