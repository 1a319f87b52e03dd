#include "app/tagwright_dlg.h"

#include <unistd.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "app/app_ids.h"
#include "app/app_text.h"
#include "app/beep_alsa.h"
#include "app/beep_time_dlg.h"
#include "app/lamp_images.h"
#include "job/job_engine_sdk.h"
#include "job/job_settings.h"
#include "platform/cp1252.h"
#include "shell/settings_keys.h"
#ifdef TW_HAVE_TW_STORE
#include "store/pg_reservation_store.h"
#endif
#include "job/type_layout.h"
#include "job/value_encoding.h"
#include "sdk/error_texts.h"
#include "sdk/lf_sdk.h"
#include "shell/import_file.h"
#include "shell/protocol_file.h"
#include "shell/string_table.h"
#include "shell/timing_settings.h"
#include "tw_version.h"

namespace tw {
namespace {

InterfaceChooser& Chooser() {
  static InterfaceChooser chooser = DefaultInterfaceChooser;
  return chooser;
}
std::function<void(QWidget*)>& AboutHandler() {
  static std::function<void(QWidget*)> handler;
  return handler;
}

// The reader models the job can work with (device code from the version answer).
constexpr int kUsableDevices[] = {0x052, 0x053, 0x054, 0x242, 0x243, 0x244, 0x252,
                                  0x253, 0x254, 0x292, 0x293, 0x294, 0x552, 0x553,
                                  0x554, 0x562, 0x563, 0x572, 0x573};

int Base62Digit(unsigned char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'Z') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'z') return ch - 'a' + 36;
  return 255;
}

const char* kSettingsFilter = "Data Files (*.QZLF_Set)|*.QZLF_Set| All Files (*.*)|*.*||";
constexpr int kPathChars = 46;

QString ErrorMessage(int code) {
  return FromCp1252(ErrorText(code, CurrentLanguage() == Language::English));
}

// Reads a whole decimal number from an edit; false for anything else.
bool ReadInt(QLineEdit* e, long long min, long long max, long long& out) {
  bool ok = false;
  const long long v = e->text().trimmed().toLongLong(&ok);
  if (!ok || v < min || v > max) return false;
  out = v;
  return true;
}

}  // namespace

void SetInterfaceChooser(InterfaceChooser chooser) { Chooser() = std::move(chooser); }
void SetAboutHandler(std::function<void(QWidget*)> handler) { AboutHandler() = std::move(handler); }

bool DefaultInterfaceChooser(QWidget* parent, ISettingsStore& store, bool show, std::string& name) {
  std::string port = store.GetProfileString("Port", "Name", "");
  if (port.empty()) port = "COM1";
  if (show) {
    bool ok = false;
    const QString typed = QInputDialog::getText(parent, Tr(IDS_DLG_INTERFACE), Tr(IDS_LBL_INTERFACE_NAME),
                                                QLineEdit::Normal, FromCp1252(port), &ok);
    if (!ok) return false;
    port = ToCp1252(typed.trimmed());
    store.WriteProfileString("Port", "Name", port);
  }
  // A "USB: " or "LAN: " prefix names the list the entry came from, not the device.
  if (port.rfind("USB: ", 0) == 0 || port.rfind("LAN: ", 0) == 0) port = port.substr(5);
  char addr[16];
  std::snprintf(addr, sizeof addr, ":%d", store.GetProfileInt("Port", "Adresse", 1));
  name = port + addr;
  return true;
}

TypingLimit::State TypingLimit::validate(QString& input, int&) const {
  // Only a change that makes the text longer than the limit is refused: shortening a longer text
  // that the program put there stays possible.
  const auto* edit = qobject_cast<const QLineEdit*>(parent());
  const qsizetype before = edit != nullptr ? edit->text().size() : 0;
  return input.size() <= limit || input.size() <= before ? Acceptable : Invalid;
}

CTagwrightDlg::CTagwrightDlg(ISettingsStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  language_ = store_.GetProfileInt("Settings", "Sprache", 0);
  CBeepTimeDlg timing(store_);  // also fills in missing stored timings
  job_.cycleTime = static_cast<int>(timing.cycleTime);
  job_.beepTime = static_cast<int>(timing.beepTime);
  LoadSettings(job_, store_);
  // The job's progress and reservations: the journal beside a settings file. (A store in memory
  // has none: then the progress is saved with the other fields when the window closes.)
  if (!OpenSharedJob()) {
    if (auto* file = dynamic_cast<FileSettingsStore*>(&store_)) {
      reservations_ = std::make_unique<CLocalReservationStore>(store_, JournalPathFor(file->Path()));
      JobProgress progress;
      std::string why;
      if (reservations_->ReadProgress(progress, why)) ApplyProgress(job_, progress);
    }
  }
  loaded_ = job_;
  engine_ = std::make_unique<JobEngine>(job_, *this, *this);
  engine_->SetReservationStore(reservations_.get(), "tagwright");
  lastDisplay_ = job_.display;
  lampImages_[0] = DrawLamp(LampImage::Red);
  lampImages_[1] = DrawLamp(LampImage::Yellow);
  lampImages_[2] = DrawLamp(LampImage::Green);
  lampImages_[3] = DrawLamp(LampImage::Dark);
  fileDialog = [this](const QString& t, const QString& f, const QString& d, const QString& i, bool s) {
    return FileDialog(t, f, d, i, s);
  };
  setObjectName("CTagwrightDlg");
  setWindowTitle(Tr(IDS_DLG_TITLE));
  setWindowIcon(QIcon(DrawLamp(LampImage::Green, 64)));
  setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
  BuildUi();
  ShowFields();
}

CTagwrightDlg::~CTagwrightDlg() { Destroy(); }

void CTagwrightDlg::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // The cycles end first: their progress is then in the store, and only what the operator changed
  // in this window is written back, never an older value over one another program stored.
  engine_->StopCycles();
  if (!sharedJob_.empty()) {
    // The job's fields are the shared store's: only the station's own choices are kept here.
    (void)LoadControls();
    JobParams station = loaded_;
    station.logWrites = job_.logWrites;
    station.logReads = job_.logReads;
    station.writeLogFile = job_.writeLogFile;
    station.readLogFile = job_.readLogFile;
    SaveChangedSettings(station, loaded_, store_);
    engine_->StoreChangedProgress();
  } else if (reservations_) {
    (void)LoadControls();
    SaveChangedSettings(job_, loaded_, store_);
    engine_->StoreChangedProgress();
  } else {
    SaveSettings(job_, *this, store_);
  }
  const int h = engine_->PortHandle();
  if (h > 0 && LF_ClosePort(h) == -1) MessageBox(ErrorMessage(LF_GetLastError(h)));
  engine_->SetPortHandle(0);
}

// ---- layout -------------------------------------------------------------------------------------

void CTagwrightDlg::BuildUi() {
  content_ = new QWidget(this);
  content_->setStyleSheet(QStringLiteral("QGroupBox { font-weight: bold; }"
                                         "QGroupBox * { font-weight: normal; }"));
  auto* root = new QVBoxLayout(content_);
  root->setContentsMargins(8, 4, 8, 8);
  root->setSpacing(6);

  menuBar_ = new QMenuBar(content_);
  menuBar_->setNativeMenuBar(false);
  sysMenu_ = menuBar_->addMenu(QStringLiteral("&Tagwright"));
  root->setMenuBar(menuBar_);

  auto radio = [](int id, QButtonGroup* g) {
    auto* r = new QRadioButton(Tr(id));
    g->addButton(r);
    return r;
  };
  auto edit = [](int width, int maxLen) {
    auto* e = new QLineEdit;
    e->setFixedWidth(width);
    if (maxLen > 0) e->setMaxLength(maxLen);
    return e;
  };

  // Row 1: Parameter, Zahlenformat, Darstellung, Ausrichtung.
  auto* row1 = new QHBoxLayout;
  auto* param = new QGroupBox(Tr(IDS_GRP_PARAMETER));
  auto* pg = new QGridLayout(param);
  c.type = new QComboBox;
  for (int i = 0; i < kTransponderTypeCount; ++i) c.type->addItem(FromCp1252(TransponderTypes()[i].name), TransponderTypes()[i].code);
  c.startBlock = edit(60, 5);
  c.byteCount = edit(60, 5);
  pg->addWidget(new QLabel(Tr(IDS_LBL_TYPE)), 0, 0);
  pg->addWidget(c.type, 0, 1);
  pg->addWidget(new QLabel(Tr(IDS_LBL_START)), 1, 0);
  pg->addWidget(c.startBlock, 1, 1, Qt::AlignLeft);
  pg->addWidget(new QLabel(Tr(IDS_LBL_BYTES)), 2, 0);
  pg->addWidget(c.byteCount, 2, 1, Qt::AlignLeft);
  row1->addWidget(param, 2);

  auto makeGroup = [&](int title, std::initializer_list<QRadioButton*> buttons) {
    auto* g = new QGroupBox(Tr(title));
    auto* v = new QVBoxLayout(g);
    for (auto* b : buttons) v->addWidget(b);
    v->addStretch(1);
    return g;
  };
  auto* fmtGroup = new QButtonGroup(this);
  c.fmtNone = radio(IDS_RB_NONE, fmtGroup);
  c.fmtDec = radio(IDS_RB_DEC, fmtGroup);
  c.fmtHex = radio(IDS_RB_HEX, fmtGroup);
  row1->addWidget(makeGroup(IDS_GRP_FORMAT, {c.fmtNone, c.fmtDec, c.fmtHex}), 1);
  auto* dispGroup = new QButtonGroup(this);
  c.dispBinary = radio(IDS_RB_BINARY, dispGroup);
  c.dispAscii = radio(IDS_RB_ASCII, dispGroup);
  row1->addWidget(makeGroup(IDS_GRP_DISPLAY, {c.dispBinary, c.dispAscii}), 1);
  auto* orGroup = new QButtonGroup(this);
  c.orientNormal = radio(IDS_RB_NORMAL, orGroup);
  c.orientRotated = radio(IDS_RB_ROTATED, orGroup);
  row1->addWidget(makeGroup(IDS_GRP_ORIENT, {c.orientNormal, c.orientRotated}), 1);
  root->addLayout(row1);

  // Konfiguration. The pairs that share a position share a grid cell; the type layout never
  // shows both controls of a pair.
  auto* config = new QGroupBox(Tr(IDS_GRP_CONFIG));
  auto* cg = new QGridLayout(config);
  c.passwordActive = new QCheckBox(Tr(IDS_CB_PW_ACTIVE));
  c.authMode = new QCheckBox(Tr(IDS_CB_AUTH));
  c.readWithPassword = new QCheckBox(Tr(IDS_CB_READ_PW));
  c.readAfterWrite = new QCheckBox(Tr(IDS_CB_READ_AFTER_WRITE));
  c.lockUsedBlocks = new QCheckBox(Tr(IDS_CB_LOCK));
  c.passwordLabel = new QLabel(LoadString(245).empty() ? QString() : Tr(245));
  c.keyLabel = new QLabel(Tr(IDS_LBL_KEY));
  c.tagPasswordLabel = new QLabel(Tr(244));
  c.password = edit(110, kPasswordMaxChars);
  c.authKey = edit(110, kAuthKeyMaxChars);
  c.tagPassword = edit(110, kTagPasswordMaxChars);
  c.modulationLabel = new QLabel(Tr(IDS_LBL_MODULATION));
  c.modulation = new QComboBox;
  for (int i = 0; i < kModulationCount; ++i) c.modulation->addItem(FromCp1252(ModulationName(i)));
  cg->addWidget(c.passwordActive, 0, 0);
  cg->addWidget(c.authMode, 0, 0);
  cg->addWidget(c.readWithPassword, 1, 0);
  cg->addWidget(c.readAfterWrite, 1, 0);
  cg->addWidget(c.lockUsedBlocks, 2, 0);
  cg->addWidget(c.passwordLabel, 0, 1);
  cg->addWidget(c.keyLabel, 0, 1);
  cg->addWidget(c.password, 0, 2);
  cg->addWidget(c.authKey, 0, 2);
  cg->addWidget(c.tagPasswordLabel, 1, 1);
  cg->addWidget(c.tagPassword, 1, 2);
  cg->addWidget(c.modulationLabel, 2, 1);
  cg->addWidget(c.modulation, 2, 2);
  const int rangeLabels[3] = {IDS_LBL_READ_PROTECT, IDS_LBL_WRITE_PROTECT, IDS_LBL_AUTOREAD};
  for (int r = 0; r < 3; ++r) {
    auto* lbl = new QLabel(Tr(rangeLabels[r]));
    auto* dash = new QLabel(QStringLiteral("-"));
    c.ranges[2 * r] = edit(44, 3);
    c.ranges[2 * r + 1] = edit(44, 3);
    c.rangeDecor.push_back(lbl);
    c.rangeDecor.push_back(dash);
    cg->addWidget(lbl, r, 3);
    auto* h = new QHBoxLayout;
    h->addWidget(c.ranges[2 * r]);
    h->addWidget(dash);
    h->addWidget(c.ranges[2 * r + 1]);
    h->addStretch(1);
    cg->addLayout(h, r, 4);
  }
  cg->setColumnStretch(2, 1);
  cg->setColumnStretch(4, 1);
  cg->setColumnMinimumWidth(0, 190);
  cg->setColumnMinimumWidth(3, 100);
  root->addWidget(config);

  // Daten with Lesen and Schreiben.
  auto* data = new QGroupBox(Tr(IDS_GRP_DATA));
  auto* dg = new QGridLayout(data);
  c.value = new QLineEdit;
  valueLimit_ = new TypingLimit(c.value);
  c.value->setValidator(valueLimit_);
  c.value->setMinimumWidth(280);
  QFont mono = c.value->font();
  mono.setFamily(QStringLiteral("monospace"));
  mono.setStyleHint(QFont::Monospace);
  mono.setPointSizeF(mono.pointSizeF() * 1.15);
  c.value->setFont(mono);
  c.autoIncrement = new QCheckBox(Tr(IDS_CB_AUTOINC));
  c.leadingZeros = new QCheckBox(Tr(IDS_CB_LEADING_ZEROS));
  c.allowExtraText = new QCheckBox(Tr(IDS_CB_EXTRA_TEXT));
  c.importData = new QCheckBox(Tr(IDS_CB_IMPORT));
  c.importBrowse = new QPushButton(QStringLiteral("..."));
  c.importBrowse->setFixedWidth(32);
  c.importFile = new QLabel;
  c.importCounter = new QLabel;
  c.importFile->setMinimumWidth(200);
  dg->addWidget(new QLabel(Tr(IDS_LBL_VALUE)), 0, 0);
  dg->addWidget(c.value, 0, 1, 1, 3);
  dg->addWidget(c.autoIncrement, 1, 0, 1, 2);
  dg->addWidget(c.leadingZeros, 1, 2);
  dg->addWidget(c.allowExtraText, 1, 3);
  dg->addWidget(c.importData, 2, 0, 1, 2);
  auto* imp = new QHBoxLayout;
  imp->addWidget(c.importBrowse);
  imp->addWidget(c.importFile, 1);
  imp->addWidget(c.importCounter);
  dg->addLayout(imp, 2, 2, 1, 2);
  auto jobGroup = [&](int title, QPushButton*& single, QPushButton*& cyclic) {
    auto* g = new QGroupBox(Tr(title));
    auto* v = new QVBoxLayout(g);
    single = new QPushButton(Tr(IDS_BTN_SINGLE));
    cyclic = new QPushButton(Tr(IDS_BTN_CYCLIC));
    cyclic->setCheckable(true);
    for (auto* b : {single, cyclic}) {
      b->setMinimumHeight(30);
      b->setAutoDefault(false);
      v->addWidget(b);
    }
    return g;
  };
  auto* jobs = new QHBoxLayout;
  jobs->addWidget(jobGroup(IDS_GRP_READ, c.readSingle, c.readCyclic));
  jobs->addWidget(jobGroup(IDS_GRP_WRITE, c.writeSingle, c.writeCyclic));
  dg->addLayout(jobs, 0, 4, 3, 1);
  dg->setColumnStretch(3, 1);
  root->addWidget(data);

  // Logdateien.
  auto* logs = new QGroupBox(Tr(IDS_GRP_LOGS));
  auto* lg = new QGridLayout(logs);
  c.logWrites = new QCheckBox(Tr(IDS_CB_LOG_WRITES));
  c.logReads = new QCheckBox(Tr(IDS_CB_LOG_READS));
  c.writeLogBrowse = new QPushButton(QStringLiteral("..."));
  c.readLogBrowse = new QPushButton(QStringLiteral("..."));
  c.writeLogName = new QLabel;
  c.readLogName = new QLabel;
  for (auto* b : {c.writeLogBrowse, c.readLogBrowse}) b->setFixedWidth(32);
  for (auto* l : {c.writeLogName, c.readLogName}) {
    l->setEnabled(false);
    l->setMinimumWidth(260);
  }
  lg->addWidget(c.logWrites, 0, 0);
  lg->addWidget(c.writeLogBrowse, 0, 1);
  lg->addWidget(c.writeLogName, 1, 0, 1, 2);
  lg->addWidget(c.logReads, 0, 2);
  lg->addWidget(c.readLogBrowse, 0, 3);
  lg->addWidget(c.readLogName, 1, 2, 1, 2);
  lg->setColumnStretch(0, 1);
  lg->setColumnStretch(2, 1);
  root->addWidget(logs);

  // Status box and the buttons beside it.
  auto* statusRow = new QHBoxLayout;
  auto* sv = new QVBoxLayout;
  sv->addWidget(new QLabel(Tr(IDS_LBL_STATUS)));
  c.status = new QPlainTextEdit;
  c.status->setReadOnly(true);
  c.status->setMinimumHeight(120);
  c.status->setLineWrapMode(QPlainTextEdit::NoWrap);
  sv->addWidget(c.status);
  statusRow->addLayout(sv, 1);
  auto* bv = new QVBoxLayout;
  bv->addSpacing(20);
  c.resetStatus = new QPushButton(Tr(IDS_BTN_RESET_STATUS));
  c.loadConfig = new QPushButton(Tr(IDS_BTN_LOAD_CONFIG));
  c.saveConfig = new QPushButton(Tr(IDS_BTN_SAVE_CONFIG));
  c.closeButton = new QPushButton(Tr(IDS_BTN_CLOSE));
  for (auto* b : {c.resetStatus, c.loadConfig, c.saveConfig, c.closeButton}) {
    b->setAutoDefault(false);
    b->setMinimumWidth(170);
    bv->addWidget(b);
  }
  bv->addStretch(1);
  statusRow->addLayout(bv);
  root->addLayout(statusRow, 1);
  c.hint = new QLabel(Tr(IDS_HINT_F1));
  c.hint->setAlignment(Qt::AlignCenter);
  c.hint->setEnabled(false);
  root->addWidget(c.hint);

  content_->adjustSize();
  const QSize sz = content_->sizeHint().expandedTo(QSize(760, 640));
  content_->resize(sz);
  setFixedSize(sz);

  // Handlers.
  connect(c.type, QOverload<int>::of(&QComboBox::activated), this, [this] { OnTypeOrLayoutChanged(); });
  connect(c.passwordActive, &QCheckBox::clicked, this, [this] { OnTypeOrLayoutChanged(); });
  connect(c.authMode, &QCheckBox::clicked, this, [this] { OnTypeOrLayoutChanged(); });
  for (auto* r : {c.fmtNone, c.fmtDec, c.fmtHex}) connect(r, &QRadioButton::clicked, this, [this] { OnNumberFormat(); });
  for (auto* r : {c.dispBinary, c.dispAscii}) connect(r, &QRadioButton::clicked, this, [this] { OnSwitchDisplay(); });
  connect(c.leadingZeros, &QCheckBox::clicked, this, [this] { OnLeadingZeros(); });
  connect(c.allowExtraText, &QCheckBox::clicked, this, [this] { OnAllowExtraText(); });
  connect(c.autoIncrement, &QCheckBox::clicked, this, [this] { OnAutoIncrement(); });
  connect(c.importData, &QCheckBox::clicked, this, [this] { OnImportData(); });
  connect(c.importBrowse, &QPushButton::clicked, this, [this] { OnImportBrowse(); });
  connect(c.writeLogBrowse, &QPushButton::clicked, this, [this] { OnChooseLog(true); });
  connect(c.readLogBrowse, &QPushButton::clicked, this, [this] { OnChooseLog(false); });
  connect(c.writeSingle, &QPushButton::clicked, this, [this] { RunStep([this] { engine_->OnWriteSingle(); }); });
  connect(c.writeCyclic, &QPushButton::clicked, this, [this] { engine_->OnWriteCyclic(); });
  connect(c.readSingle, &QPushButton::clicked, this, [this] { RunStep([this] { engine_->OnReadSingle(); }); });
  connect(c.readCyclic, &QPushButton::clicked, this, [this] { engine_->OnReadCyclic(); });
  connect(c.resetStatus, &QPushButton::clicked, this, [this] { c.status->clear(); });
  connect(c.loadConfig, &QPushButton::clicked, this, [this] { OnLoadConfig(); });
  connect(c.saveConfig, &QPushButton::clicked, this, [this] { OnSaveConfig(); });
  connect(c.closeButton, &QPushButton::clicked, this, &QDialog::reject);
  c.byteCount->installEventFilter(this);
  c.value->installEventFilter(this);
}

void CTagwrightDlg::BuildMenu() {
  sysMenu_->clear();
  auto add = [this](int cmd, int textId) {
    QAction* a = sysMenu_->addAction(Tr(textId));
    a->setData(cmd);
    connect(a, &QAction::triggered, this, [this, cmd] { OnSysCommand(cmd); });
  };
  add(IDM_SETTINGS, 1001);
  add(IDM_CHOOSE_INTERFACE, 1000);
  sysMenu_->addSeparator();
  if (language_ != 0) add(IDM_GERMAN, 171);
  if (language_ != 1) add(IDM_ENGLISH, 172);
  sysMenu_->addSeparator();
  add(IDM_ABOUTBOX, IDS_ABOUTBOX);
}

// ---- initialisation and connection --------------------------------------------------------------

int CTagwrightDlg::exec() {
  if (!initialised_) Initialise();
  return QDialog::exec();
}

void CTagwrightDlg::setVisible(bool visible) {
  QDialog::setVisible(visible);
  // Showing a dialog hands its focus widget a tab focus, and a line edit selects all its text for
  // that: the first keystroke would replace the value instead of going after it.
  if (visible && c.value && focusWidget() == c.value) {
    c.value->deselect();
    c.value->setCursorPosition(c.value->text().size());
  }
}

void CTagwrightDlg::Initialise() {
  initialised_ = true;
  BuildMenu();
  ShowLogNames();
  titleBase_ = windowTitle();
  ConnectLoop(false);
  if (!sharedJob_.empty()) {
    AddStatusLine(StatusMessage{33303, {sharedJob_, sharedStore_}});
    if (!sharedError_.empty()) AddStatusLine(StatusMessage{33301, {sharedError_}});
  }
  ApplyTypeLayout(job_, *this);
  EnableJobControls(true);
  c.value->setFocus();
  c.value->deselect();
  c.value->setCursorPosition(c.value->text().size());
  if (job_.importData && !engine_->OpenImportFile(job_.importLinesUsed)) {
    job_.importFile.clear();
    ShowImportFields();
  }
}

void CTagwrightDlg::ConnectLoop(bool showFirst) {
  for (bool show = showFirst;; show = true) {
    std::string name;
    if (!Chooser()(this, store_, show, name)) return;
    const int baud = store_.GetProfileInt("Port", "Baudrate", 19200);
    const int timeout = store_.GetProfileInt("Port", "Timeout", 500);
    if (Connect(name, baud, timeout)) return;
  }
}

QString CTagwrightDlg::ProgramVersion() const {
  const QString v = QStringLiteral(TW_PRODUCT_VERSION);
  return !v.isEmpty() && v.size() < 20 ? v : QStringLiteral("1.xx");
}

void CTagwrightDlg::SetCaption(const QString& tail) {
  QString title = titleBase_ + " V" + ProgramVersion() + " <" + tail + ">";
  if (!sharedJob_.empty()) title += " - " + FromCp1252(FormatString(33303, sharedJob_.c_str(), sharedStore_.c_str()));
  setWindowTitle(title);
}

bool CTagwrightDlg::OpenSharedJob() {
  const std::string conninfo = store_.GetProfileString(settings::kSettings, settings::kJobStore, "");
  if (conninfo.empty()) return false;
  sharedJob_ = store_.GetProfileString(settings::kSettings, settings::kJobName, "");
  sharedStore_ = conninfo;
#ifdef TW_HAVE_TW_STORE
  char host[256] = {};
  const std::string station = gethostname(host, sizeof host - 1) == 0 && host[0] ? host : "station";
  auto shared = std::make_unique<store::CPgReservationStore>(conninfo, sharedJob_, station, "tagwright");
  std::string why;
  JobProgress progress;
  if (shared->Connect(why) && shared->ReadProgress(progress, why)) {
    sharedStore_ = shared->Describe();
    // The store's job, with this station's protocol files and timings; values come from the store.
    JobParams fields = shared->Job().params;
    KeepStationFields(fields, job_);
    fields.importData = 0;
    fields.importFile.clear();
    fields.importLinesUsed = 0;
    fields.autoIncrement = shared->Job().import ? 0 : 1;
    fields.valueText = progress.value;
    job_ = fields;
  } else {
    // No store, no write: every write asks the store first and stops with its message.
    sharedError_ = why;
  }
  reservations_ = std::move(shared);
#else
  sharedError_ = "this program was built without the shared job store";
#endif
  return true;
}

bool CTagwrightDlg::Connect(const std::string& interfaceName, int portSetting, int timeoutMs) {
  if (titleBase_.isEmpty()) titleBase_ = windowTitle();
  SetCaption(QString());
  int h = engine_->PortHandle();
  if (h != 0) {
    LF_ClosePort(h);
    engine_->SetPortHandle(0);
  }
  const int parity = portSetting % 100;
  h = LF_OpenPort(interfaceName.c_str(), portSetting - parity, parity, timeoutMs);
  engine_->SetPortHandle(h);
  if (h < 0) {
    // The SDK's reason (missing device, in use, permissions, ...) below the code's text.
    QString text = ErrorMessage(LF_GetLastError(h));
    char why[256] = {};
    if (LF_GetOpenError(why, sizeof why) > 0) text += "\n" + FromCp1252(why);
    MessageBox(text);
    return false;
  }
  unsigned char raw[4] = {};
  char model[31] = {};
  if (LF_GetVersion(h, raw, 4, model, 30) == -1) {
    LF_ClosePort(h);
    engine_->SetPortHandle(0);
    MessageBox(Tr(IDS_NO_READER));
    return false;
  }
  const std::string codeChars(reinterpret_cast<const char*>(raw), 3);
  char* end = nullptr;
  const long code = std::strtol(codeChars.c_str(), &end, 16);
  char fw[32];
  std::snprintf(fw, sizeof fw, LoadString(IDS_FIRMWARE).c_str(), 1, Base62Digit(raw[3]));
  bool usable = false;
  for (int d : kUsableDevices) usable = usable || (end == codeChars.c_str() + 3 && d == code);
  if (!usable || LF_CanWrite(h) == 0) {
    LF_ClosePort(h);
    engine_->SetPortHandle(0);
    const std::string shown = (model[0] ? std::string(model) : codeChars) + fw;
    MessageBox(FromCp1252(FormatString(IDS_DEVICE_UNSUITABLE, shown.c_str())));
    return false;
  }
  std::string iface = std::string(model) + " " + (LF_IsUsbDevice(h) == 1 ? "USB:" : "") + interfaceName;
  LF_SetOperatingMode(h, 0);
#ifdef TW_HAVE_TW_STORE
  if (auto* shared = dynamic_cast<store::CPgReservationStore*>(reservations_.get())) shared->SetReader(iface);
#endif
  SetCaption(FromCp1252(iface + fw));
  return true;
}

void CTagwrightDlg::OnSysCommand(int id) {
  switch (id) {
    case IDM_ABOUTBOX:
      if (AboutHandler()) AboutHandler()(this);
      break;
    case IDM_CHOOSE_INTERFACE: {
      const int h = engine_->PortHandle();
      if (h > 0 && LF_ClosePort(h) == -1) MessageBox(ErrorMessage(LF_GetLastError(h)));
      engine_->SetPortHandle(0);
      ConnectLoop(true);
      break;
    }
    case IDM_SETTINGS: {
      CBeepTimeDlg dlg(store_, this);
      if (dlg.exec() == QDialog::Accepted) {
        job_.beepTime = static_cast<int>(dlg.beepTime);
        job_.cycleTime = static_cast<int>(dlg.cycleTime);
      }
      break;
    }
    case IDM_GERMAN:
    case IDM_ENGLISH:
      store_.WriteProfileInt("Settings", "Sprache", id == IDM_GERMAN ? 0 : 1);
      done(kEndLanguage);
      break;
    default:
      break;
  }
}

void CTagwrightDlg::done(int r) {
  // Enter is the dialog's OK (end code 1), Escape and "Schliessen" its Cancel (end code 2).
  if (r == QDialog::Accepted) r = kEndRecreate;
  if (r == QDialog::Rejected) r = kEndProgram;
  Destroy();
  QDialog::done(r);
}

void CTagwrightDlg::keyPressEvent(QKeyEvent* ev) {
  if (ev->modifiers() == Qt::NoModifier && (ev->key() == Qt::Key_Return || ev->key() == Qt::Key_Enter)) {
    done(kEndRecreate);
    return;
  }
  QDialog::keyPressEvent(ev);
}

bool CTagwrightDlg::eventFilter(QObject* obj, QEvent* ev) {
  if (ev->type() == QEvent::FocusOut && !destroyed_) {
    if (obj == c.byteCount) OnByteCountKillFocus();
    if (obj == c.value) OnValueKillFocus();
  }
  return QDialog::eventFilter(obj, ev);
}

// ---- status box and lamps -----------------------------------------------------------------------

void CTagwrightDlg::AddStatusText(const QString& text) {
  if (StatusLineCount() > 1000) c.status->clear();
  QTextCursor cur = c.status->textCursor();
  cur.movePosition(QTextCursor::End);
  cur.insertText(text + "\n");
  c.status->setTextCursor(cur);
  c.status->ensureCursorVisible();
}

void CTagwrightDlg::AddStatusLine(const StatusMessage& msg) { AddStatusText(FromCp1252(FormatStatusMessage(msg))); }

void CTagwrightDlg::AddStatusMessage(int id) { engine_->Status().AddStatusMessage(id); }

int CTagwrightDlg::StatusLineCount() const {
  const int n = c.status->blockCount();
  return c.status->document()->lastBlock().text().isEmpty() ? n - 1 : n;
}

QString CTagwrightDlg::StatusText() const { return c.status->toPlainText(); }

void CTagwrightDlg::ShowLampPanel(bool on) {
  if (on) {
    if (normalWidth_ == 0) {
      normalWidth_ = width();
      normalHeight_ = height();
    }
    if (!lamps_[0]) {
      // A dark strip behind the lamps, like the housing of a signal column.
      lampBack_ = new QWidget(this);
      lampBack_->setAutoFillBackground(true);
      QPalette pal = lampBack_->palette();
      pal.setColor(QPalette::Window, QColor(0x2b, 0x2d, 0x31));
      lampBack_->setPalette(pal);
      lampBack_->setGeometry(normalWidth_ - 2, 0, 224, normalHeight_);
      lampBack_->show();
      for (int i = 0; i < 3; ++i) {
        lamps_[i] = new QLabel(this);
        lamps_[i]->setGeometry(normalWidth_, 10 + 200 * i, 200, 200);
      }
    }
    lampState_[0] = 'R';
    lampState_[1] = lampState_[2] = 'D';
    for (int i = 0; i < 3; ++i) {
      lamps_[i]->setPixmap(lampImages_[i == 0 ? 0 : 3]);
      lamps_[i]->show();
    }
    setFixedSize(normalWidth_ + 220, normalHeight_);
    lampPanelShown_ = true;
  } else if (normalWidth_ != 0) {
    setFixedSize(normalWidth_, normalHeight_);
    lampPanelShown_ = false;
  }
}

void CTagwrightDlg::SetLamps(LampState state) {
  const int lit = state == LampState::Red ? 0 : state == LampState::Yellow ? 1 : 2;
  const char letters[3] = {'R', 'Y', 'G'};
  for (int i = 0; i < 3; ++i) {
    lampState_[i] = i == lit ? letters[i] : 'D';
    if (lamps_[i]) lamps_[i]->setPixmap(lampImages_[i == lit ? i : 3]);
  }
}

std::string CTagwrightDlg::LampText() const { return std::string(lampState_, 3); }

void CTagwrightDlg::Beep(int freqHz, int ms) {
  if (ms <= 0) return;
  ++beepCount_;
  GlobalBeepPlayer().Beep(freqHz, ms);
}

// ---- enabling and layout ------------------------------------------------------------------------

void CTagwrightDlg::EnableJobControls(bool on) {
  if (on) ShowLampPanel(false);
  const bool number = job_.numberFormat != kFormatNone;
  for (QWidget* w : {static_cast<QWidget*>(c.autoIncrement), static_cast<QWidget*>(c.leadingZeros),
                     static_cast<QWidget*>(c.allowExtraText)})
    w->setEnabled(on && number);
  for (QWidget* w : std::initializer_list<QWidget*>{
           c.fmtNone, c.fmtDec, c.fmtHex, c.dispBinary, c.dispAscii, c.orientNormal, c.orientRotated,
           c.writeSingle, c.writeCyclic, c.readSingle, c.readCyclic, c.startBlock, c.byteCount,
           c.password, c.passwordLabel, c.tagPassword, c.tagPasswordLabel, c.modulationLabel,
           c.modulation, c.passwordActive, c.readWithPassword, c.lockUsedBlocks, c.logWrites,
           c.logReads, c.writeLogBrowse, c.readLogBrowse, c.loadConfig, c.saveConfig, c.importData})
    w->setEnabled(on);
  c.importData->show();
  const bool importing = job_.importData != 0;
  for (QWidget* w : {static_cast<QWidget*>(c.importBrowse), static_cast<QWidget*>(c.importFile),
                     static_cast<QWidget*>(c.importCounter)}) {
    w->setVisible(importing);
    w->setEnabled(on && importing);
  }
  // A type change enables the job controls while a cycle runs; the other cycle still must not
  // start beside it.
  if (on && engine_) {
    if (engine_->WriteCycleRunning()) c.readCyclic->setEnabled(false);
    if (engine_->ReadCycleRunning()) c.writeCyclic->setEnabled(false);
  }
}

void CTagwrightDlg::ShowTypeLayout(const TypeLayout& l) {
  c.passwordActive->setVisible(l.passwordActive);
  c.readWithPassword->setVisible(l.readWithPassword);
  c.passwordLabel->setVisible(l.password);
  c.password->setVisible(l.password);
  c.tagPasswordLabel->setVisible(l.tagPassword);
  c.tagPassword->setVisible(l.tagPassword);
  c.modulationLabel->setVisible(l.modulation);
  c.modulation->setVisible(l.modulation);
  c.authMode->setVisible(l.authMode);
  c.keyLabel->setVisible(l.authKey);
  c.authKey->setVisible(l.authKey);
  for (QLineEdit* e : c.ranges) e->setVisible(l.em4450Ranges);
  for (QWidget* w : c.rangeDecor) w->setVisible(l.em4450Ranges);
  c.readAfterWrite->setVisible(l.em4450Ranges);
  c.lockUsedBlocks->setVisible(l.lockUsedBlocks);
  c.passwordLabel->setText(Tr(l.passwordLabelId));
  c.tagPasswordLabel->setText(Tr(l.tagPasswordLabelId));
  // The limit restrains typing only: a value the program sets (an import line, a stored value) is
  // shown whole, so that the job check sees what would be written.
  valueLimit_->limit = l.valueCharLimit > 0 ? l.valueCharLimit : 32767;
  if (l.clearAllowExtraText) c.allowExtraText->setChecked(false);
}

void CTagwrightDlg::SetCycleButton(CycleButton b, bool checked) {
  (b == CycleButton::Write ? c.writeCyclic : c.readCyclic)->setChecked(checked);
}

void CTagwrightDlg::EnableCycleButton(CycleButton b, bool enabled) {
  (b == CycleButton::Write ? c.writeCyclic : c.readCyclic)->setEnabled(enabled);
}

void CTagwrightDlg::SetFocus(JobControl control) {
  QWidget* w = nullptr;
  switch (control) {
    case JobControl::TypeCombo: w = c.type; break;
    case JobControl::StartBlock: w = c.startBlock; break;
    case JobControl::ByteCount: w = c.byteCount; break;
    case JobControl::Value: w = c.value; break;
    case JobControl::Password: w = c.password; break;
    case JobControl::TagPassword: w = c.tagPassword; break;
    case JobControl::AuthKey: w = c.authKey; break;
    case JobControl::ReadProtectFirst: w = c.ranges[0]; break;
    case JobControl::ReadProtectLast: w = c.ranges[1]; break;
    case JobControl::WriteProtectFirst: w = c.ranges[2]; break;
    case JobControl::WriteProtectLast: w = c.ranges[3]; break;
    case JobControl::AutoreadFirst: w = c.ranges[4]; break;
    case JobControl::AutoreadLast: w = c.ranges[5]; break;
  }
  if (!w) return;
  w->setFocus();
  if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
}

void CTagwrightDlg::ShowValue(const std::string& text) { c.value->setText(FromCp1252(text)); }

// ---- data exchange ------------------------------------------------------------------------------

int CTagwrightDlg::DisplayFromButtons() const { return c.dispAscii->isChecked() ? kDisplayAscii : kDisplayBinary; }

bool CTagwrightDlg::LoadControls() {
  long long start = 0, bytes = 0, range[6] = {};
  if (!ReadInt(c.startBlock, INT32_MIN, INT32_MAX, start)) {
    MessageBox(Tr(61712));
    c.startBlock->setFocus();
    return false;
  }
  if (!ReadInt(c.byteCount, INT32_MIN, INT32_MAX, bytes)) {
    MessageBox(Tr(61712));
    c.byteCount->setFocus();
    return false;
  }
  for (int i = 0; i < 6; ++i) {
    if (!ReadInt(c.ranges[i], 0, UINT32_MAX, range[i])) {
      MessageBox(Tr(61719));
      c.ranges[i]->setFocus();
      return false;
    }
  }
  job_.transponderType = c.type->currentData().toInt();
  job_.startBlock = static_cast<int>(start);
  job_.byteCount = static_cast<int>(bytes);
  job_.numberFormat = c.fmtNone->isChecked() ? kFormatNone : c.fmtHex->isChecked() ? kFormatHex : kFormatDecimal;
  job_.display = DisplayFromButtons();
  job_.orientation = c.orientRotated->isChecked() ? kOrientationRotated : kOrientationNormal;
  job_.valueText = ToCp1252(c.value->text());
  job_.autoIncrement = c.autoIncrement->isChecked();
  job_.leadingZeros = c.leadingZeros->isChecked();
  job_.allowExtraText = c.allowExtraText->isChecked();
  job_.importData = c.importData->isChecked();
  job_.password = ToCp1252(c.password->text());
  job_.tagPassword = ToCp1252(c.tagPassword->text());
  job_.authKey = ToCp1252(c.authKey->text());
  job_.passwordActive = c.passwordActive->isChecked();
  job_.readWithPassword = c.readWithPassword->isChecked();
  job_.authMode = c.authMode->isChecked();
  job_.lockUsedBlocks = c.lockUsedBlocks->isChecked();
  job_.readAfterWrite = c.readAfterWrite->isChecked();
  job_.modulation = c.modulation->currentIndex() < 0 ? 0 : c.modulation->currentIndex();
  uint32_t* rf[6] = {&job_.readProtectFirst, &job_.readProtectLast, &job_.writeProtectFirst,
                     &job_.writeProtectLast, &job_.autoreadFirst, &job_.autoreadLast};
  for (int i = 0; i < 6; ++i) *rf[i] = static_cast<uint32_t>(range[i]);
  job_.logWrites = c.logWrites->isChecked();
  job_.logReads = c.logReads->isChecked();
  lastDisplay_ = job_.display;
  return true;
}

void CTagwrightDlg::ShowFields() {
  const int idx = c.type->findData(job_.transponderType);
  c.type->setCurrentIndex(idx < 0 ? c.type->findData(static_cast<int>(kTypeHitagS)) : idx);
  c.startBlock->setText(QString::number(job_.startBlock));
  c.byteCount->setText(QString::number(job_.byteCount));
  (job_.numberFormat == kFormatNone ? c.fmtNone : job_.numberFormat == kFormatHex ? c.fmtHex : c.fmtDec)->setChecked(true);
  (job_.display == kDisplayAscii ? c.dispAscii : c.dispBinary)->setChecked(true);
  (job_.orientation == kOrientationRotated ? c.orientRotated : c.orientNormal)->setChecked(true);
  c.value->setText(FromCp1252(job_.valueText));
  c.autoIncrement->setChecked(job_.autoIncrement);
  c.leadingZeros->setChecked(job_.leadingZeros);
  c.allowExtraText->setChecked(job_.allowExtraText);
  c.importData->setChecked(job_.importData);
  c.password->setText(FromCp1252(job_.password));
  c.tagPassword->setText(FromCp1252(job_.tagPassword));
  c.authKey->setText(FromCp1252(job_.authKey));
  c.passwordActive->setChecked(job_.passwordActive);
  c.readWithPassword->setChecked(job_.readWithPassword);
  c.authMode->setChecked(job_.authMode);
  c.lockUsedBlocks->setChecked(job_.lockUsedBlocks);
  c.readAfterWrite->setChecked(job_.readAfterWrite);
  c.modulation->setCurrentIndex(job_.modulation >= 0 && job_.modulation < kModulationCount ? job_.modulation : 0);
  const uint32_t rf[6] = {job_.readProtectFirst, job_.readProtectLast, job_.writeProtectFirst,
                          job_.writeProtectLast, job_.autoreadFirst, job_.autoreadLast};
  for (int i = 0; i < 6; ++i) c.ranges[i]->setText(QString::number(rf[i]));
  c.logWrites->setChecked(job_.logWrites);
  c.logReads->setChecked(job_.logReads);
  ShowImportFields();
  lastDisplay_ = job_.display;
}

void CTagwrightDlg::ShowImportFields() {
  c.importFile->setText(ShortenPathMiddle(QString::fromStdString(job_.importFile), kPathChars));
  c.importFile->setToolTip(QString::fromStdString(job_.importFile));
  c.importCounter->setText(FromCp1252(engine_->DataImport().counterText));
}

void CTagwrightDlg::ShowLogNames() {
  c.writeLogName->setText(ShortenPathMiddle(QString::fromStdString(job_.writeLogFile), kPathChars));
  c.readLogName->setText(ShortenPathMiddle(QString::fromStdString(job_.readLogFile), kPathChars));
  c.writeLogName->setToolTip(QString::fromStdString(job_.writeLogFile));
  c.readLogName->setToolTip(QString::fromStdString(job_.readLogFile));
}

// ---- handlers -----------------------------------------------------------------------------------

void CTagwrightDlg::OnTypeOrLayoutChanged() {
  LoadControls();
  ApplyTypeLayout(job_, *this);
}

void CTagwrightDlg::OnNumberFormat() {
  LoadControls();
  ApplyTypeLayout(job_, *this);
  AdvanceValue(job_, *this, 0);
}

void CTagwrightDlg::OnSwitchDisplay() {
  // The text is converted from the settings before the click to those after it.
  JobParams before = job_;
  before.display = lastDisplay_;
  const std::string text = ToCp1252(c.value->text());
  LoadControls();
  job_.valueText = SwitchDisplayText(text, before, job_, &engine_->Status());
  ShowValue(job_.valueText);
  ApplyTypeLayout(job_, *this);
  AdvanceValue(job_, *this, 0);
}

void CTagwrightDlg::OnLeadingZeros() {
  LoadControls();
  AdvanceValue(job_, *this, 0);
}

void CTagwrightDlg::OnAllowExtraText() {
  if (DisplayFromButtons() != kDisplayAscii) return;
  LoadControls();
  AdvanceValue(job_, *this, 0);
}

void CTagwrightDlg::OnAutoIncrement() {
  job_.autoIncrement = c.autoIncrement->isChecked();
  if (job_.autoIncrement) {
    job_.importData = 0;
    c.importData->setChecked(false);
  }
  LoadControls();
  EnableJobControls(true);
}

void CTagwrightDlg::OnImportData() {
  job_.importData = c.importData->isChecked();
  if (job_.importData) {
    job_.autoIncrement = 0;
    c.autoIncrement->setChecked(false);
    if (!engine_->OpenImportFile(0)) {
      job_.importFile.clear();
      ShowImportFields();
    }
  } else {
    engine_->DataImport().Close();
  }
  LoadControls();
  EnableJobControls(true);
}

void CTagwrightDlg::OnImportBrowse() {
  if (!job_.importData) return;
  engine_->DataImport().Close();
  const QString path = fileDialog(Tr(IDS_IMPORT_CHOOSE), QtFilterFromPipes(LoadString(IDS_IMPORT_FILTER)),
                                  QString(), QString::fromStdString(job_.importFile), false);
  if (!path.isEmpty() && KeepablePath(path)) {
    job_.importFile = path.toStdString();
    ShowImportFields();
    if (engine_->OpenImportFile(0)) return;
  }
  job_.importFile.clear();
  ShowImportFields();
}

bool CTagwrightDlg::KeepablePath(const QString& path) {
  if (Cp1252CanHold(path.toStdString())) return true;
  MessageBox(FromCp1252(FormatString(IDS_PATH_NOT_KEEPABLE, Utf8ToCp1252(path.toStdString()).c_str())));
  return false;
}

void CTagwrightDlg::OnChooseLog(bool write) {
  std::string& name = write ? job_.writeLogFile : job_.readLogFile;
  const QString path = fileDialog(Tr(write ? IDS_CHOOSE_WRITE_LOG : IDS_CHOOSE_READ_LOG),
                                  QtFilterFromPipes(kLogFileFilter), QString::fromLatin1(kLogFileDefaultExt),
                                  QString::fromStdString(name), true);
  if (path.isEmpty() || !KeepablePath(path)) return;
  name = path.toStdString();
  store_.WriteProfileString("Protokoll", write ? "LogFileNameSchreiben" : "LogFileNameLesen", Utf8ToCp1252(name));
  ShowLogNames();
}

void CTagwrightDlg::OnLoadConfig() {
  const QString path = fileDialog(QString(), QtFilterFromPipes(kSettingsFilter), QStringLiteral("QZLFDat"),
                                  QString(), false);
  if (path.isEmpty()) return;
  std::string why;
  if (!ImportSettingsFile(job_, *this, path.toStdString(), &why))
    MessageBox(FromCp1252(FormatString(IDS_SETTINGS_FILE_UNREADABLE, Utf8ToCp1252(path.toStdString()).c_str(),
                                       why.c_str())));
}

void CTagwrightDlg::OnSaveConfig() {
  if (!LoadControls()) return;
  const QString path = fileDialog(QString(), QtFilterFromPipes(kSettingsFilter), QStringLiteral("QZLFDat"),
                                  QString(), true);
  if (path.isEmpty()) return;
  // A settings file that could not be written (no permission, no such folder) must not pass for
  // an exported job.
  if (!ExportSettingsFile(job_, *this, path.toStdString()))
    MessageBox(FromCp1252(FormatString(IDS_EXPORT_FAILED, Utf8ToCp1252(path.toStdString()).c_str())));
}

void CTagwrightDlg::OnByteCountKillFocus() {
  bool ok = false;
  const int n = c.byteCount->text().trimmed().toInt(&ok);
  if (ok) job_.byteCount = n;
  LoadControls();
  ApplyTypeLayout(job_, *this);
  AdvanceValue(job_, *this, 0);
}

void CTagwrightDlg::OnValueKillFocus() {
  LoadControls();
  AdvanceValue(job_, *this, 0);
}

// ---- timers, messages, file dialogs -------------------------------------------------------------

int CTagwrightDlg::StartTimer(int id, int periodMs) {
  QTimer*& t = timers_[id];
  if (!t) {
    t = new QTimer(this);
    connect(t, &QTimer::timeout, this, [this, id] {
      const JobEngineState& state = engine_->State();
      // A tick that arrives while a step waits is dropped by the engine, and other timers run no step.
      if (engine_->InTimer() || (id != state.writeTimerId && id != state.readTimerId)) {
        engine_->OnTimer(id);
        return;
      }
      RunStep([this, id] { engine_->OnTimer(id); });
    });
  }
  t->start(periodMs);
  return id;
}

void CTagwrightDlg::RunStep(const std::function<void()>& step) {
  const uint32_t seenBefore = engine_->State().lastSeenTick;
  step();
  // Without this a cycle on a pulled cable goes on with a red lamp and no word why, and a single
  // step blames the tag.
  const uint32_t seen = engine_->State().lastSeenTick;
  const bool metTag = seen != 0 && seen != seenBefore;
  const int h = engine_->PortHandle();
  if (metTag || h <= 0 || !ReaderLost(h)) return;
  engine_->StopCycles();
  MessageBox(Tr(kMsgReaderGone));
}

void CTagwrightDlg::KillTimer(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end() && it->second) it->second->stop();
}

void CTagwrightDlg::MessageBox(const QString& text) {
  messages.push_back(text);
  if (!quietMessages) QMessageBox::warning(this, titleBase_.isEmpty() ? windowTitle() : titleBase_, text);
}

QString CTagwrightDlg::FileDialog(const QString& title, const QString& filter, const QString& defExt,
                                  const QString& initial, bool save) {
  QFileDialog dlg(this, title, initial, filter);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!defExt.isEmpty()) dlg.setDefaultSuffix(defExt);
  if (!initial.isEmpty()) dlg.selectFile(initial);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
  return dlg.selectedFiles().first();
}

}  // namespace tw
