// The interface dialog: the operator picks the reader's link (COM port, USB reader, Ethernet
// reader), its line settings, answer timeout and bus address; the lists follow devices as they
// come and go, and switchable USB readers can be put into HID or virtual COM mode.
#pragma once
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "app/port_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSocketNotifier;

namespace tw {

class DeviceMonitor;

class CPortDlg : public QDialog {
 public:
  // Runs the construction rules against store (writing back a repaired name) before the window
  // is built, then OnInitDialog.
  explicit CPortDlg(ISettingsStore& store, IPortBackend& backend, QWidget* parent = nullptr);
  ~CPortDlg() override;

  // Seams for message boxes, the desktop's "open", waiting and the address search, so the
  // dialog can run unattended in tests. Defaults show real boxes and dialogs.
  std::function<bool(const QString& text)> askYesNo;
  std::function<void(const QString& text)> showMessage;
  std::function<void(const QString& url)> openUrl;
  std::function<void(int ms)> waitMs;
  std::function<std::string()> runAddressSearch;

  // Milliseconds between the rescans that follow a device event.
  int refreshIntervalMs = 1000;

  bool UpdateInterfaceList(PortKind kind);
  void UpdateModeButtons(const std::string& name);
  // A device change as the system reports it (udev, or the dialog's own refresh request).
  void OnDeviceChange(DeviceEvent event);
  // Posts a refresh request to the dialog itself.
  void PostRefresh();

  const PortSettings& Settings() const { return settings_; }
  const InterfaceLists& Lists() const { return lists_; }
  int RefreshCount() const { return rescan_.Count(); }
  bool RefreshTimerRunning() const { return refreshTimer_ != 0; }

  QListWidget* interfaceList() const { return list_; }
  QCheckBox* ethernetCheck() const { return ethernet_; }
  QPushButton* ipSearchButton() const { return ipSearch_; }
  QPushButton* hidModeButton() const { return hidMode_; }
  QPushButton* virtualComButton() const { return virtualCom_; }
  QComboBox* baudCombo() const { return baud_; }
  QComboBox* parityCombo() const { return parity_; }
  QComboBox* stopCombo() const { return stop_; }
  QLineEdit* timeoutEdit() const { return timeout_; }
  QLineEdit* addressEdit() const { return address_; }
  QPushButton* okButton() const { return ok_; }

  void OnOK();

 protected:
  bool event(QEvent* e) override;
  void timerEvent(QTimerEvent* e) override;

 private:
  void BuildControls();
  void OnInitDialog();
  void FillListBox();
  void SelectStoredName();
  void RescanLists();
  void RunDriverQuestion(bool* missing);
  static QString InstallNotesUrl();
  void EnableLineSettings(bool on);
  void OnSelectionChanged();
  void OnEthernetClicked();
  void OnIpSearchClicked();
  void OnHidModeClicked();
  void OnVirtualComClicked();
  void SwitchUsbMode(const std::string& openName, int mode);
  void SelectRow(int row);
  ModeButtons ModesOf(const std::string& name);
  int SelectedRow() const;
  std::string SelectedEntry() const;
  bool KeepChosenLanEntry();
  bool ReadField(QLineEdit* edit, int min, int max, int* value);

  ISettingsStore& store_;
  IPortBackend& backend_;
  PortSettings settings_;
  InterfaceLists lists_;
  std::vector<std::string> entries_;
  std::string chosenLan_;  // target picked in the address search, kept offered
  RescanCounter rescan_;
  int refreshTimer_ = 0;
  std::unique_ptr<DeviceMonitor> monitor_;
  QSocketNotifier* notifier_ = nullptr;

  QListWidget* list_ = nullptr;
  QCheckBox* ethernet_ = nullptr;
  QPushButton* ipSearch_ = nullptr;
  QPushButton* hidMode_ = nullptr;
  QPushButton* virtualCom_ = nullptr;
  QComboBox* baud_ = nullptr;
  QComboBox* parity_ = nullptr;
  QComboBox* stop_ = nullptr;
  QLineEdit* timeout_ = nullptr;
  QLineEdit* address_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// The connect loop's interface chooser: shows the dialog when asked to and builds the SDK name
// from the stored choice (list prefix removed, ":address" appended). False on Cancel.
bool PortDlgInterfaceChooser(QWidget* parent, ISettingsStore& store, bool show, std::string& name);

// Text helpers shared by the port dialogs: the core's Windows-1252 text to Qt and back.
namespace portui {
QString ToQt(const std::string& cp1252);
std::string FromQt(const QString& text);
QString Text(int id);
}  // namespace portui

}  // namespace tw
