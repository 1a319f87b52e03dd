#include "app/port_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "app/device_monitor.h"
#include "app/ip_addr_suche.h"
#include "platform/install_dirs.h"
#include "platform/cp1252.h"
#include "platform/tick.h"
#include "platform/trace.h"
#include "shell/settings_keys.h"
#include "shell/string_table.h"

namespace tw {

namespace portui {
QString ToQt(const std::string& cp1252) { return QString::fromStdString(Cp1252ToUtf8(cp1252)); }
std::string FromQt(const QString& text) { return Utf8ToCp1252(text.toStdString()); }
QString Text(int id) { return ToQt(LoadString(id)); }
}  // namespace portui

using portui::FromQt;
using portui::Text;
using portui::ToQt;

namespace {

const QEvent::Type kRefreshEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Device change messages arriving while one is handled (e.g. while the driver question is open)
// are dropped; this holds for every interface dialog of the process.
bool gHandlingDeviceChange = false;

void WaitPumping(int ms) {
  const uint32_t start = TickCount();
  while (TicksSince(start) < static_cast<uint32_t>(ms)) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    SleepMs(10);
  }
}

}  // namespace

CPortDlg::CPortDlg(ISettingsStore& store, IPortBackend& backend, QWidget* parent)
    : QDialog(parent), store_(store), backend_(backend) {
  askYesNo = [this](const QString& text) {
    return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  };
  showMessage = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };
  openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
  waitMs = &WaitPumping;
  runAddressSearch = [this]() {
    CIPAddrSuche dlg(backend_, this);
    dlg.exec();
    return dlg.ResultAddress();
  };

  settings_ = LoadAndRepairPortSettings(store_, backend_, lists_);
  BuildControls();
  OnInitDialog();

  monitor_ = std::make_unique<DeviceMonitor>();
  if (monitor_->Start()) {
    notifier_ = new QSocketNotifier(monitor_->Fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this,
            [this]() { OnDeviceChange(monitor_->ReadEvent()); });
  }
}

CPortDlg::~CPortDlg() {
  if (notifier_) notifier_->setEnabled(false);
}

void CPortDlg::BuildControls() {
  setWindowTitle(Text(16600));
  auto* top = new QVBoxLayout(this);

  list_ = new QListWidget(this);
  list_->setObjectName("1055");
  list_->setMinimumSize(320, 140);
  top->addWidget(list_, 1);

  auto* row = new QHBoxLayout;
  ethernet_ = new QCheckBox(Text(16601), this);
  ethernet_->setObjectName("1114");
  ipSearch_ = new QPushButton(Text(16602), this);
  ipSearch_->setObjectName("1118");
  row->addWidget(ethernet_);
  row->addWidget(ipSearch_);
  row->addStretch(1);
  top->addLayout(row);

  auto* modeBox = new QGroupBox(Text(16616), this);
  auto* modeRow = new QHBoxLayout(modeBox);
  hidMode_ = new QPushButton(Text(16603), modeBox);
  hidMode_->setObjectName("1088");
  virtualCom_ = new QPushButton(Text(16604), modeBox);
  virtualCom_->setObjectName("1090");
  for (QPushButton* b : {hidMode_, virtualCom_}) {
    b->setCheckable(true);
    modeRow->addWidget(b);
  }
  top->addWidget(modeBox);

  auto* grid = new QGridLayout;
  baud_ = new QComboBox(this);
  baud_->setObjectName("1053");
  for (int b : kBaudRates) baud_->addItem(QString::number(b));
  parity_ = new QComboBox(this);
  parity_->setObjectName("1059");
  parity_->addItems({Text(16610), Text(16611), Text(16612)});
  stop_ = new QComboBox(this);
  stop_->setObjectName("1061");
  stop_->addItems({"1", "2"});
  timeout_ = new QLineEdit(this);
  timeout_->setObjectName("1050");
  address_ = new QLineEdit(this);
  address_->setObjectName("1051");
  int r = 0;
  for (auto [label, w] : {std::pair<int, QWidget*>{16605, baud_}, {16606, parity_}, {16607, stop_},
                          {16608, timeout_}, {16609, address_}}) {
    grid->addWidget(new QLabel(Text(label), this), r, 0);
    grid->addWidget(w, r++, 1);
  }
  top->addLayout(grid);

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(Text(16613), QDialogButtonBox::AcceptRole);
  buttons->addButton(Text(16614), QDialogButtonBox::RejectRole);
  ok_->setDefault(true);
  top->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, [this]() { OnOK(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // The selection, not the current row: Qt makes row 0 current when the list merely gets the
  // focus, without the operator choosing it.
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(list_, &QListWidget::itemSelectionChanged, this, [this]() { OnSelectionChanged(); });
  connect(ethernet_, &QCheckBox::clicked, this, [this](bool) { OnEthernetClicked(); });
  connect(ipSearch_, &QPushButton::clicked, this, [this]() { OnIpSearchClicked(); });
  connect(hidMode_, &QPushButton::clicked, this, [this]() { OnHidModeClicked(); });
  connect(virtualCom_, &QPushButton::clicked, this, [this]() { OnVirtualComClicked(); });
}

void CPortDlg::OnInitDialog() {
  const LineFormat f = DecodeBaudrate(settings_.baudrate);
  baud_->setCurrentIndex(baud_->findText(QString::number(f.baud), Qt::MatchExactly));
  parity_->setCurrentIndex(f.parity);
  stop_->setCurrentIndex(f.stop);
  timeout_->setText(QString::number(settings_.timeout));
  address_->setText(QString::number(settings_.address));
  ethernet_->setChecked(settings_.ethernet);

  if (!settings_.ethernet)
    lists_.lan.clear();
  else if (lists_.lan.empty())
    UpdateInterfaceList(PortKind::Lan);
  if (lists_.usb.empty()) UpdateInterfaceList(PortKind::Usb);
  if (lists_.com.empty()) UpdateInterfaceList(PortKind::Com);

  FillListBox();
  // A stored kernel name that another device has taken over is no choice any more.
  int row = settings_.anotherDevice ? -1 : FindEntryByPrefix(entries_, settings_.name);
  if (row < 0 && !settings_.anotherDevice) {
    if (entries_.size() == 1) {
      row = 0;
      settings_.name = entries_[0];
    } else {
      settings_.name.clear();
    }
  }
  SelectRow(row);
  settings_.SetKindFromName();
  EnableLineSettings(KindOfName(settings_.name) == PortKind::Com);
  UpdateModeButtons(settings_.name);
  ipSearch_->setVisible(settings_.ethernet);

  adjustSize();
  setMinimumSize(sizeHint());
  PostRefresh();
}

void CPortDlg::FillListBox() {
  entries_ = BuildEntries(lists_);
  const QSignalBlocker block(list_);
  list_->clear();
  int widest = 0;
  for (const auto& e : entries_) {
    list_->addItem(ToQt(e));
    widest = std::max(widest, list_->fontMetrics().horizontalAdvance(ToQt(e)));
  }
  // Stable device names are long: the list grows with them (within reason) rather than cut them.
  const int chrome = 2 * list_->frameWidth() + list_->verticalScrollBar()->sizeHint().width() + 12;
  list_->setMinimumWidth(std::clamp(widest + chrome, 320, 760));
}

void CPortDlg::SelectRow(int row) {
  const QSignalBlocker block(list_);
  list_->clearSelection();
  if (row >= 0) {
    list_->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
  } else {
    list_->setCurrentRow(-1);
  }
}

void CPortDlg::SelectStoredName() {
  SelectRow(settings_.anotherDevice ? -1 : FindEntryByPrefix(entries_, settings_.name));
}

bool CPortDlg::UpdateInterfaceList(PortKind kind) {
  return RefreshInterfaceList(kind, lists_, backend_);
}

void CPortDlg::EnableLineSettings(bool on) {
  for (QWidget* w : {static_cast<QWidget*>(baud_), static_cast<QWidget*>(parity_),
                     static_cast<QWidget*>(stop_)})
    w->setEnabled(on);
}

ModeButtons CPortDlg::ModesOf(const std::string& name) {
  const bool devicePath = !name.empty() && name[0] == '/';
  return ModeButtonsFor(name, devicePath && backend_.IsVirtualComDevice(DevicePathOfEntry(name)));
}

void CPortDlg::UpdateModeButtons(const std::string& name) {
  const ModeButtons m = ModesOf(name);
  hidMode_->setEnabled(m != ModeButtons::Disabled);
  virtualCom_->setEnabled(m != ModeButtons::Disabled);
  hidMode_->setChecked(m == ModeButtons::HidChecked);
  virtualCom_->setChecked(m == ModeButtons::VirtualComChecked);
}

void CPortDlg::PostRefresh() { QCoreApplication::postEvent(this, new QEvent(kRefreshEvent)); }

bool CPortDlg::event(QEvent* e) {
  if (e->type() == kRefreshEvent) {
    OnDeviceChange(DeviceEvent::Refresh);
    return true;
  }
  return QDialog::event(e);
}

void CPortDlg::timerEvent(QTimerEvent* e) {
  if (e->timerId() != refreshTimer_) {
    QDialog::timerEvent(e);
    return;
  }
  killTimer(refreshTimer_);
  refreshTimer_ = 0;
  PostRefresh();
}

void CPortDlg::RescanLists() {
  bool changed = false;
  if (settings_.ethernet) {
    changed |= UpdateInterfaceList(PortKind::Lan);
  } else if (!lists_.lan.empty()) {
    lists_.lan.clear();
    changed = true;
  }
  changed |= UpdateInterfaceList(PortKind::Usb);
  changed |= UpdateInterfaceList(PortKind::Com);
  changed |= KeepChosenLanEntry();
  if (changed) {
    FillListBox();
    SelectStoredName();
  }
}

void CPortDlg::RunDriverQuestion(bool* missing) {
  // Asked once per plug-in of a reader that nothing installed can open: a device number that
  // was asked about stays quiet for the life of the program, whatever events follow.
  static std::set<std::string> asked;
  std::vector<ReaderAccessProblem> fresh;
  for (ReaderAccessProblem& p : backend_.ReaderAccessProblems())
    if (asked.insert(p.plugKey).second) fresh.push_back(std::move(p));
  *missing = !fresh.empty();
  if (!*missing) return;
  const QString notes = InstallNotesUrl();
  if (askYesNo(ToQt(ReaderAccessQuestionText(fresh))) && !notes.isEmpty()) openUrl(notes);
}

QString CPortDlg::InstallNotesUrl() {
  // The installed README, or the one of the source tree a build folder sits in; empty without.
  const std::string dir = QCoreApplication::applicationDirPath().toStdString();
  std::vector<std::string> candidates;
  if (const std::string doc = DocDir(dir); !doc.empty()) candidates.push_back(doc + "/README.md");
  candidates.push_back(dir + "/../../README.md");
  for (const std::string& path : candidates) {
    const QFileInfo info(QString::fromStdString(path));
    if (info.isFile()) return QUrl::fromLocalFile(info.canonicalFilePath()).toString();
  }
  return QString();
}

void CPortDlg::OnDeviceChange(DeviceEvent event) {
  if (gHandlingDeviceChange) return;
  gHandlingDeviceChange = true;
  if (EventRescans(event)) RescanLists();
  bool missing = false;
  RunDriverQuestion(&missing);
  if (missing && EventRescans(event)) RescanLists();
  UpdateModeButtons(settings_.name);
  if (rescan_.Next(event)) {
    if (refreshTimer_) killTimer(refreshTimer_);
    refreshTimer_ = startTimer(refreshIntervalMs);
  }
  gHandlingDeviceChange = false;
}

int CPortDlg::SelectedRow() const {
  const QList<QListWidgetItem*> items = list_->selectedItems();
  if (items.isEmpty()) return -1;
  const int row = list_->row(items.front());
  return row < static_cast<int>(entries_.size()) ? row : -1;
}

std::string CPortDlg::SelectedEntry() const {
  const int row = SelectedRow();
  return row >= 0 ? entries_[row] : std::string();
}

void CPortDlg::OnSelectionChanged() {
  if (SelectedRow() < 0) {
    UpdateModeButtons(std::string());
    return;
  }
  settings_.name = SelectedEntry();
  settings_.anotherDevice = false;
  settings_.SetKindFromName();
  EnableLineSettings(KindOfName(settings_.name) == PortKind::Com);
  UpdateModeButtons(settings_.name);
}

void CPortDlg::OnEthernetClicked() {
  settings_.ethernet = ethernet_->isChecked();
  PostRefresh();
  ipSearch_->setVisible(settings_.ethernet);
}

void CPortDlg::OnIpSearchClicked() {
  if (!settings_.ethernet) return;
  const std::string address = runAddressSearch();
  if (!address.empty()) {
    settings_.name = NameFromSearchResult(address);
    settings_.anotherDevice = false;
    settings_.SetKindFromName();
    chosenLan_ = settings_.name.substr(std::string(kLanPrefix).size());
    // The chosen reader becomes the selection at once, whether or not the list changes.
    if (KeepChosenLanEntry()) FillListBox();
    SelectStoredName();
    EnableLineSettings(false);
    UpdateModeButtons(settings_.name);
  }
  PostRefresh();
}

bool CPortDlg::KeepChosenLanEntry() {
  // A reader the operator picked in the address search stays offered while this dialog is open,
  // even when the discovery list does not name it the same way.
  if (chosenLan_.empty() || !settings_.ethernet) return false;
  const std::string entry = kLanPrefix + chosenLan_;
  if (FindEntryByPrefix(BuildEntries(lists_), entry) >= 0) return false;
  lists_.lan.push_back(chosenLan_);
  return true;
}

void CPortDlg::SwitchUsbMode(const std::string& openName, int mode) {
  const int h = backend_.OpenPort(openName, 19200, 0, 100);
  // Without an open link nothing is sent and the choice stays as it is.
  if (h <= 0) return;
  backend_.SetUsbMode(h, mode);
  backend_.SystemCommandF6(h, 0, 0);
  backend_.ClosePort(h);
  settings_.name.clear();
  waitMs(1000);
}

void CPortDlg::OnHidModeClicked() {
  const std::string entry = SelectedEntry();
  if (SelectedRow() >= 0 && ModesOf(entry) == ModeButtons::VirtualComChecked)
    SwitchUsbMode(OpenNameOfEntry(entry), 1);
  UpdateModeButtons(settings_.name);
}

void CPortDlg::OnVirtualComClicked() {
  const std::string entry = SelectedEntry();
  if (SelectedRow() >= 0 && IsSwitchableHidEntry(entry)) {
    if (backend_.IsVirtualComDriverInstalled()) {
      SwitchUsbMode(OpenNameOfEntry(entry), 2);
    } else if (askYesNo(Text(10172) + "\n" + Text(10173))) {
      openUrl(Text(10170));
      waitMs(2000);
    }
  }
  UpdateModeButtons(settings_.name);
}

bool CPortDlg::ReadField(QLineEdit* edit, int min, int max, int* value) {
  bool ok = false;
  const int v = edit->text().trimmed().toInt(&ok);
  if (ok && v >= min && v <= max) {
    *value = v;
    return true;
  }
  showMessage(ToQt(FormatString(16615, min, max)));
  edit->setFocus();
  edit->selectAll();
  return false;
}

void CPortDlg::OnOK() {
  int timeout = 0, address = 0;
  if (!ReadField(timeout_, kTimeoutMin, kTimeoutMax, &timeout)) return;
  if (!ReadField(address_, kAddressMin, kAddressMax, &address)) return;
  settings_.timeout = timeout;
  settings_.address = address;
  settings_.ethernet = ethernet_->isChecked();
  using namespace settings;
  const bool stored = store_.Transaction([&](ISettingsView& v) {
    // Only an entry the operator selected is stored; a focus frame on a row is no choice.
    if (SelectedRow() >= 0) {
      settings_.name = SelectedEntry();
      settings_.SetKindFromName();
      v.WriteProfileString(kPort, kName, settings_.name);
    }
    if (baud_->currentIndex() >= 0) {
      settings_.baudrate = EncodeBaudrate(kBaudRates[baud_->currentIndex()],
                                          parity_->currentIndex(), stop_->currentIndex());
      v.WriteProfileInt(kPort, kBaudrate, settings_.baudrate);
    }
    v.WriteProfileInt(kPort, kTimeout, timeout);
    v.WriteProfileInt(kPort, kAdresse, address);
    v.WriteProfileInt(kPort, kEthernetAktiv, settings_.ethernet ? 1 : 0);
  });
  if (!stored) Trace("interface settings could not be stored");
  accept();
}

}  // namespace tw
